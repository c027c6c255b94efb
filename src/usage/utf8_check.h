#pragma once

#include <string_view>

namespace usage_analytics {

// True when the text reads from start to end as tab, line feed, carriage return, printable
// ASCII (0x20..0x7E) and well-formed UTF-8 sequences of two to four bytes (no overlong forms,
// no surrogates, nothing above U+10FFFF). Other control bytes, DEL and a sequence cut off at
// the end make it invalid; the empty text is valid.
bool isValidUtf8(std::string_view text);

}  // namespace usage_analytics
