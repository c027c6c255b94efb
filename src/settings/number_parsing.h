#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Numbers read from the start of a setting's text: leading blanks skipped, trailing text ignored.
// Both ignore the process locale (the toolkit switches it, and a decimal comma must not change
// what "0.5" means), and clamp a value beyond their type instead of failing: a setting can never
// end the process.
namespace settings {

// Decimal with an optional sign; nothing when the text does not start with a number.
std::optional<std::int32_t> parseLeadingInt32(std::wstring_view text);

// Decimal floating point (also "inf" and "nan" as the C library reads them); nothing when the
// text does not start with a number. Beyond the double range gives the largest finite double of
// that sign.
std::optional<double> parseLeadingDouble(std::wstring_view text);

}  // namespace settings
