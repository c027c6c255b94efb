#pragma once

#include <cstdint>
#include <string>

namespace Utils {

// Conversions between wide text and a Windows code page (0 = ANSI, 65001 = UTF-8). The text ends
// at its first zero character; what cannot be converted gives empty text, never an exception.
std::wstring ToWide(const std::string& text, unsigned codePage);
std::string ToNarrow(const std::wstring& text, unsigned codePage);

// Remove space, tab, line feed, vertical tab, form feed and carriage return.
std::wstring TrimLeft(const std::wstring& text);
std::wstring TrimRight(const std::wstring& text);
std::wstring Trim(const std::wstring& text);

// Replaces the first occurrence, searching from the start again, until none is left. The
// replacement must not contain the searched text, and an empty searched text changes nothing.
std::wstring ReplaceAll(std::wstring text, const std::wstring& searched,
                        const std::wstring& replacement);

// Bytes 33..126 pass unchanged, a space becomes "+", every other byte "%XX" (upper-case hex).
std::string UrlEncode(const std::string& bytes);
// The URL as UTF-8, encoded as above, widened again.
std::wstring UrlEncodeW(const std::wstring& url);

std::wstring UIntToWString(std::uint32_t value);

}  // namespace Utils
