#include "settings/number_parsing.h"

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <string>

namespace settings {

namespace {

// The blanks the C library's number readers skip.
bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// Numbers are ASCII; anything else ends a number, so it becomes a byte no reader accepts.
std::string asciiOf(std::wstring_view text) {
    std::string ascii;
    ascii.reserve(text.size());
    for (wchar_t c : text) {
        ascii.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '\x7f');
    }
    return ascii;
}

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

std::optional<std::int32_t> parseLeadingInt32(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    if (i == text.size() || text[i] < L'0' || text[i] > L'9') {
        return std::nullopt;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        // Past 2^31 the value only clamps; stop growing so the accumulator cannot overflow.
        if (magnitude <= kMax + 1) {
            magnitude = magnitude * 10 + (text[i] - L'0');
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > kMax) {
        return static_cast<std::int32_t>(kMax);
    }
    if (value < kMin) {
        return static_cast<std::int32_t>(kMin);
    }
    return static_cast<std::int32_t>(value);
}

std::optional<double> parseLeadingDouble(std::wstring_view text) {
    const std::string ascii = asciiOf(text);
    const char* begin = ascii.c_str();
    char* end = nullptr;
    errno = 0;
    double value = strtod_l(begin, &end, cLocale());
    if (end == begin) {
        return std::nullopt;
    }
    if (errno == ERANGE && std::isinf(value)) {
        value = std::copysign(std::numeric_limits<double>::max(), value);
    }
    return value;
}

}  // namespace settings
