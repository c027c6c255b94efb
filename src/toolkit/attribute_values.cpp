#include "toolkit/attribute_values.h"

#include <charconv>
#include <vector>

namespace SkinUI {

namespace {

std::optional<std::string> asciiOf(std::wstring_view text) {
    std::string ascii;
    ascii.reserve(text.size());
    for (const wchar_t c : text) {
        if (c < 0 || c > 0x7F) {
            return std::nullopt;
        }
        ascii.push_back(static_cast<char>(c));
    }
    return ascii;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int> intOf(std::string_view text) {
    text = trimmed(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<int>> intList(std::wstring_view text, std::size_t count) {
    const auto ascii = asciiOf(text);
    if (!ascii) {
        return std::nullopt;
    }
    std::vector<int> values;
    std::string_view rest = *ascii;
    while (!rest.empty() && values.size() < count) {
        const std::size_t comma = rest.find(',');
        const auto value = intOf(rest.substr(0, comma));
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (values.empty()) {
        return std::nullopt;
    }
    values.resize(count, 0);
    return values;
}

}  // namespace

std::optional<int> parseInt(std::wstring_view text) {
    const auto ascii = asciiOf(text);
    return ascii ? intOf(*ascii) : std::nullopt;
}

std::optional<Rect> parseRect(std::wstring_view text) {
    const auto values = intList(text, 4);
    if (!values) {
        return std::nullopt;
    }
    return Rect{(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

std::optional<Size> parseSize(std::wstring_view text) {
    const auto values = intList(text, 2);
    if (!values) {
        return std::nullopt;
    }
    return Size{(*values)[0], (*values)[1]};
}

std::optional<Color> parseColor(std::wstring_view text) {
    auto ascii = asciiOf(text);
    if (!ascii) {
        return std::nullopt;
    }
    std::string_view digits = trimmed(*ascii);
    if (digits.starts_with('#')) {
        digits.remove_prefix(1);
    } else if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    Color value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

bool parseBool(std::wstring_view text) {
    return equalsAsciiNoCase(text, L"true");
}

bool equalsAsciiNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace SkinUI
