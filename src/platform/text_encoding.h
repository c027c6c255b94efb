#pragma once

#include <string>
#include <string_view>

// Text in the installer is wide (std::wstring holding Unicode code points); bytes on disk, on the
// wire and in child-process output come in Windows code pages. This is the one place that knows
// how those code pages map to the charsets of this system.
namespace platform {

inline constexpr unsigned kCodePageAnsi = 0;
inline constexpr unsigned kCodePageUtf8 = 65001;

// The charset of the "ANSI" code page: the one named by LC_ALL, LC_CTYPE or LANG, fixed on first
// use. The C/POSIX locale, or a locale this system does not have, means UTF-8.
const std::string& ansiCharset();

// The two halves of ansiCharset(), evaluated on every call: the locale name the environment
// selects for character types now (empty values count as unset), and the charset of a locale
// name by the rule above.
std::string ansiLocaleName();
std::string charsetForLocaleName(const std::string& localeName);

// The iconv name of a Windows code page; kCodePageAnsi gives ansiCharset(). Empty for a number
// the table does not know.
std::string charsetForCodePage(unsigned codePage);

// Both directions replace what cannot be converted instead of failing: decoding turns every
// invalid or cut-off sequence into U+FFFD and goes on, encoding writes '?' for a character the
// charset lacks. An unknown code page gives empty text.
std::wstring decodeText(std::string_view bytes, unsigned codePage);
std::string encodeText(std::wstring_view text, unsigned codePage);

std::wstring wideFromUtf8(std::string_view bytes);
std::string utf8FromWide(std::wstring_view text);
std::wstring wideFromUtf16le(std::string_view bytes);
std::string utf16leFromWide(std::wstring_view text);

// How many UTF-16 units the text takes: the unit every Windows character limit counts in.
std::size_t utf16Length(std::wstring_view text);

// The longest prefix of the text that fits in the given number of UTF-16 units without splitting
// a surrogate pair.
std::wstring_view utf16Prefix(std::wstring_view text, std::size_t units);

// Equality without regard to case, for file and INI names. Folds all of Unicode whatever the
// process locale is (the C locale folds ASCII only).
bool equalsNoCase(std::wstring_view a, std::wstring_view b);

}  // namespace platform
