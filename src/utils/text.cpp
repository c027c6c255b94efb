#include "utils/text.h"

#include <string_view>

#include "platform/text_encoding.h"

namespace Utils {

namespace {

// The standard white-space set, fixed so that the locale cannot widen it.
bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

}  // namespace

std::wstring ToWide(const std::string& text, unsigned codePage) {
    return platform::decodeText(std::string_view(text.c_str()), codePage);
}

std::string ToNarrow(const std::wstring& text, unsigned codePage) {
    return platform::encodeText(std::wstring_view(text.c_str()), codePage);
}

std::wstring TrimLeft(const std::wstring& text) {
    std::size_t begin = 0;
    while (begin < text.size() && isBlank(text[begin])) {
        ++begin;
    }
    return text.substr(begin);
}

std::wstring TrimRight(const std::wstring& text) {
    std::size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

std::wstring Trim(const std::wstring& text) {
    return TrimLeft(TrimRight(text));
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& searched,
                        const std::wstring& replacement) {
    // An empty searched text would be found at the start for ever.
    if (searched.empty()) {
        return text;
    }
    for (std::size_t at = text.find(searched); at != std::wstring::npos; at = text.find(searched)) {
        text.replace(at, searched.size(), replacement);
    }
    return text;
}

std::string UrlEncode(const std::string& bytes) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 33 && byte <= 126) {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0x0F];
        }
    }
    return out;
}

std::wstring UrlEncodeW(const std::wstring& url) {
    return ToWide(UrlEncode(ToNarrow(url, platform::kCodePageUtf8)), platform::kCodePageUtf8);
}

std::wstring UIntToWString(std::uint32_t value) {
    return std::to_wstring(value);
}

}  // namespace Utils
