#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// INI files with the semantics of the Windows private-profile functions, which the installer's
// settings and records were written against:
// - section and key names are compared without case and trimmed; the first match wins;
// - values are trimmed of surrounding blanks and lose one matching pair of surrounding quotes;
// - a missing file, section or key gives the default;
// - a value longer than the buffer is cut to bufferUnits - 1 UTF-16 units;
// - writing keeps the rest of the file, creates the file (never its folder) and replaces it
//   atomically, so a reader never sees half a file.
// Files are read as UTF-8 (a BOM is skipped) or as UTF-16LE with a BOM, and written as UTF-8.
namespace platform {

std::wstring readIniString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                           std::wstring_view defaultValue, std::size_t bufferUnits);

// The value read as a string, then parsed the way the Windows integer reader does: leading blanks,
// an optional sign, an optional 0x/0o/0b prefix, digits up to the first other character. Text
// without digits gives 0; a missing or empty value gives the default; a value beyond 32 bits is
// clamped to the int range.
int readIniInt(std::wstring_view path, std::wstring_view section, std::wstring_view key,
               int defaultValue);

// Sets section/key to value. False when the file could not be written (for example its folder
// does not exist); the old file is then untouched.
bool writeIniString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value);

}  // namespace platform
