#include "usage/utf8_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(Utf8Check, AcceptsExactlyTheAllowedBytesAndSequences) {
    struct Case {
        const char* name;
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"printable ASCII ends", " ~", true},
        {"tab, line feed, carriage return", "a\tb\nc\rd", true},
        {"zero byte", "a\0b"s, false},
        {"other control byte", "\x01", false},
        {"vertical tab", "\v", false},
        {"escape", "\x1b", false},
        {"delete", "\x7f", false},
        {"two bytes, lowest lead", "\xc2\x80", true},
        {"two bytes, highest lead", "\xdf\xbf", true},
        {"overlong two bytes C0", "\xc0\x80", false},
        {"overlong two bytes C1", "\xc1\xbf", false},
        {"lone continuation byte", "\x80", false},
        {"second byte not a continuation", "\xc3\x41", false},
        {"E0 needs A0..BF", "\xe0\xa0\x80", true},
        {"E0 overlong", "\xe0\x9f\xbf", false},
        {"E1..EC", "\xe4\xb8\xad", true},
        {"ED below the surrogates", "\xed\x9f\xbf", true},
        {"ED surrogate", "\xed\xa0\x80", false},
        {"EE..EF", "\xef\xbf\xbf", true},
        {"three bytes, bad third byte", "\xe4\xb8\x41", false},
        {"F0 needs 90..BF", "\xf0\x90\x80\x80", true},
        {"F0 overlong", "\xf0\x8f\xbf\xbf", false},
        {"F1..F3", "\xf3\xbf\xbf\xbf", true},
        {"F4 up to U+10FFFF", "\xf4\x8f\xbf\xbf", true},
        {"F4 above U+10FFFF", "\xf4\x90\x80\x80", false},
        {"F5 lead", "\xf5\x80\x80\x80", false},
        {"FF byte", "\xff", false},
        {"four bytes, bad fourth byte", "\xf0\x9f\x98\x41", false},
        {"two-byte sequence cut off", "a\xc3", false},
        {"three-byte sequence cut off", "\xe4\xb8", false},
        {"four-byte sequence cut off", "\xf0\x9f\x98", false},
        {"mixed text", "Brivano \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80\r\n", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(usage_analytics::isValidUtf8(c.text), c.valid) << c.name;
    }
}

}  // namespace
