#include "platform/text_encoding.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <memory>
#include <type_traits>

namespace platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char32_t), "wide text must hold whole code points");

constexpr char32_t kReplacementChar = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kFirstLowSurrogate = 0xDC00;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr std::string_view kUtf8Charset = "UTF-8";
constexpr std::string_view kUtf16leCharset = "UTF-16LE";
constexpr std::string_view kUtf16beCharset = "UTF-16BE";
// iconv's side of wide text: one 32-bit code point per wchar_t in this machine's byte order.
constexpr const char* kWideCharset =
    std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
constexpr std::size_t kIconvChunkBytes = 4096;

struct CodePageCharset {
    unsigned codePage;
    const char* charset;
};

// Only names glibc's iconv knows. 932 and 950 use Microsoft's variants rather than plain
// SHIFT_JIS/BIG5: glibc's SHIFT_JIS turns byte 0x5C into a yen sign, which would break every
// backslash in Japanese text.
constexpr std::array<CodePageCharset, 21> kCodePageCharsets = {{
    {65001, "UTF-8"},       {936, "GBK"},           {54936, "GB18030"},     {950, "CP950"},
    {932, "CP932"},         {949, "CP949"},         {1200, "UTF-16LE"},     {1201, "UTF-16BE"},
    {1250, "WINDOWS-1250"}, {1251, "WINDOWS-1251"}, {1252, "WINDOWS-1252"}, {1253, "WINDOWS-1253"},
    {1254, "WINDOWS-1254"}, {1255, "WINDOWS-1255"}, {1256, "WINDOWS-1256"}, {1257, "WINDOWS-1257"},
    {1258, "WINDOWS-1258"}, {20127, "ASCII"},       {28591, "ISO-8859-1"},  {437, "CP437"},
    {866, "CP866"},
}};

struct LocaleFree {
    void operator()(std::remove_pointer_t<locale_t>* locale) const { freelocale(locale); }
};
using LocaleHandle = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleFree>;

// iconv_open signals failure with (iconv_t)-1, not null, so unique_ptr does not fit.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) {
            iconv_close(cd_);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of the input. A sequence iconv rejects becomes `replacement` and `skipBytes`
    // of input are passed over; a sequence cut off by the end of the input becomes one
    // replacement.
    std::string convert(std::string_view input, std::string_view replacement,
                        std::size_t skipBytes) {
        std::string out;
        std::array<char, kIconvChunkBytes> buffer;
        char* in = const_cast<char*>(input.data());  // iconv's signature; it does not write
        std::size_t inLeft = input.size();
        while (inLeft > 0) {
            char* outPtr = buffer.data();
            std::size_t outLeft = buffer.size();
            const std::size_t result = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            out.append(buffer.data(), outPtr);
            if (result != static_cast<std::size_t>(-1) || error == E2BIG) {
                continue;
            }
            out.append(replacement);
            if (error != EILSEQ) {
                break;
            }
            const std::size_t skip = std::min(skipBytes, inLeft);
            in += skip;
            inLeft -= skip;
        }
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.data(), outPtr);
        return out;
    }

private:
    iconv_t cd_;
};

bool isValidScalar(char32_t c) {
    return c <= kMaxCodePoint && (c < kFirstSurrogate || c > kLastSurrogate);
}

char32_t scalarOrReplacement(wchar_t c) {
    const auto value = static_cast<char32_t>(c);
    return isValidScalar(value) ? value : kReplacementChar;
}

void appendUtf16Unit(std::string& out, char32_t unit, bool bigEndian) {
    const auto low = static_cast<char>(unit & 0xFF);
    const auto high = static_cast<char>((unit >> 8) & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

std::string utf16FromWide(std::wstring_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    for (wchar_t c : text) {
        const char32_t value = scalarOrReplacement(c);
        if (value >= kFirstSupplementary) {
            const char32_t offset = value - kFirstSupplementary;
            appendUtf16Unit(out, kFirstSurrogate + (offset >> 10), bigEndian);
            appendUtf16Unit(out, kFirstLowSurrogate + (offset & 0x3FF), bigEndian);
        } else {
            appendUtf16Unit(out, value, bigEndian);
        }
    }
    return out;
}

std::wstring wideFromUtf16(std::string_view bytes, bool bigEndian) {
    auto unitAt = [&](std::size_t i) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    std::wstring out;
    out.reserve(bytes.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        if (unit < kFirstSurrogate || unit > kLastSurrogate) {
            out.push_back(static_cast<wchar_t>(unit));
            continue;
        }
        // A low surrogate first, or a high one not followed by a low one, stands alone; the
        // unit after it is decoded on its own.
        if (unit < kFirstLowSurrogate && i + 3 < bytes.size()) {
            const char32_t next = unitAt(i + 2);
            if (next >= kFirstLowSurrogate && next <= kLastSurrogate) {
                out.push_back(static_cast<wchar_t>(kFirstSupplementary +
                                                   ((unit - kFirstSurrogate) << 10) +
                                                   (next - kFirstLowSurrogate)));
                i += 2;
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(kReplacementChar));
    }
    if (i < bytes.size()) {
        out.push_back(static_cast<wchar_t>(kReplacementChar));
    }
    return out;
}

std::wstring wideFromIconv(std::string_view bytes, const std::string& charset) {
    IconvHandle converter(kWideCharset, charset.c_str());
    if (!converter.valid()) {
        return {};
    }
    const char32_t replacement = kReplacementChar;
    const std::string raw = converter.convert(
        bytes, std::string_view(reinterpret_cast<const char*>(&replacement), sizeof replacement),
        1);
    std::wstring out(raw.size() / sizeof(wchar_t), L'\0');
    std::memcpy(out.data(), raw.data(), out.size() * sizeof(wchar_t));
    return out;
}

std::string iconvFromWide(std::wstring_view text, const std::string& charset) {
    IconvHandle converter(charset.c_str(), kWideCharset);
    if (!converter.valid()) {
        return {};
    }
    return converter.convert(
        std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)),
        "?", sizeof(wchar_t));
}

locale_t caseFoldingLocale() {
    static const LocaleHandle locale(newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr));
    return locale.get();
}

wint_t foldCase(wchar_t c, locale_t locale) {
    return locale != nullptr ? towlower_l(static_cast<wint_t>(c), locale)
                             : towlower(static_cast<wint_t>(c));
}

}  // namespace

std::string ansiLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

std::string charsetForLocaleName(const std::string& localeName) {
    // The C locale's own charset is ASCII, but text on this system is UTF-8 whenever nobody
    // chose otherwise.
    if (localeName.empty() || localeName == "C" || localeName == "POSIX") {
        return std::string(kUtf8Charset);
    }
    const LocaleHandle locale(newlocale(LC_CTYPE_MASK, localeName.c_str(), nullptr));
    if (!locale) {
        return std::string(kUtf8Charset);
    }
    const char* codeset = nl_langinfo_l(CODESET, locale.get());
    return codeset != nullptr && *codeset != '\0' ? std::string(codeset)
                                                  : std::string(kUtf8Charset);
}

const std::string& ansiCharset() {
    static const std::string charset = charsetForLocaleName(ansiLocaleName());
    return charset;
}

std::string charsetForCodePage(unsigned codePage) {
    if (codePage == kCodePageAnsi) {
        return ansiCharset();
    }
    for (const CodePageCharset& entry : kCodePageCharsets) {
        if (entry.codePage == codePage) {
            return entry.charset;
        }
    }
    return {};
}

std::wstring decodeText(std::string_view bytes, unsigned codePage) {
    const std::string charset = charsetForCodePage(codePage);
    if (charset.empty()) {
        return {};
    }
    if (charset == kUtf8Charset) {
        return wideFromUtf8(bytes);
    }
    if (charset == kUtf16leCharset) {
        return wideFromUtf16(bytes, false);
    }
    if (charset == kUtf16beCharset) {
        return wideFromUtf16(bytes, true);
    }
    return wideFromIconv(bytes, charset);
}

std::string encodeText(std::wstring_view text, unsigned codePage) {
    const std::string charset = charsetForCodePage(codePage);
    if (charset.empty()) {
        return {};
    }
    if (charset == kUtf8Charset) {
        return utf8FromWide(text);
    }
    if (charset == kUtf16leCharset) {
        return utf16FromWide(text, false);
    }
    if (charset == kUtf16beCharset) {
        return utf16FromWide(text, true);
    }
    return iconvFromWide(text, charset);
}

std::wstring wideFromUtf8(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i++]);
        if (lead < 0x80) {
            out.push_back(static_cast<wchar_t>(lead));
            continue;
        }
        // The allowed range of the second byte excludes overlong forms, surrogates and values
        // past U+10FFFF, so that each maximal invalid subpart becomes exactly one U+FFFD.
        std::size_t trailCount = 0;
        char32_t value = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailCount = 1;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trailCount = 2;
            value = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trailCount = 3;
            value = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            out.push_back(static_cast<wchar_t>(kReplacementChar));
            continue;
        }
        bool complete = true;
        for (std::size_t k = 0; k < trailCount; ++k) {
            if (i >= bytes.size()) {
                complete = false;
                break;
            }
            const auto trail = static_cast<unsigned char>(bytes[i]);
            if (trail < low || trail > high) {
                complete = false;
                break;
            }
            value = (value << 6) | (trail & 0x3F);
            ++i;
            low = 0x80;
            high = 0xBF;
        }
        out.push_back(static_cast<wchar_t>(complete ? value : kReplacementChar));
    }
    return out;
}

std::string utf8FromWide(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const char32_t value = scalarOrReplacement(c);
        if (value < 0x80) {
            out.push_back(static_cast<char>(value));
        } else if (value < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (value >> 6)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else if (value < kFirstSupplementary) {
            out.push_back(static_cast<char>(0xE0 | (value >> 12)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (value >> 18)));
            out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        }
    }
    return out;
}

std::wstring wideFromUtf16le(std::string_view bytes) {
    return wideFromUtf16(bytes, false);
}

std::string utf16leFromWide(std::wstring_view text) {
    return utf16FromWide(text, false);
}

std::size_t utf16Length(std::wstring_view text) {
    std::size_t units = 0;
    for (wchar_t c : text) {
        units += scalarOrReplacement(c) >= kFirstSupplementary ? 2 : 1;
    }
    return units;
}

std::wstring_view utf16Prefix(std::wstring_view text, std::size_t units) {
    std::size_t used = 0;
    std::size_t count = 0;
    for (wchar_t c : text) {
        const std::size_t width = scalarOrReplacement(c) >= kFirstSupplementary ? 2 : 1;
        if (used + width > units) {
            break;
        }
        used += width;
        ++count;
    }
    return text.substr(0, count);
}

bool equalsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    const locale_t locale = caseFoldingLocale();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && foldCase(a[i], locale) != foldCase(b[i], locale)) {
            return false;
        }
    }
    return true;
}

}  // namespace platform
