#pragma once

#include <string>
#include <string_view>

// Paths are wide texts, as everywhere in the installer; nativePath() gives the bytes the kernel
// sees. Every place that composes or splits a file path goes through here so that the separator
// is this system's.
namespace platform {

inline constexpr wchar_t kPathSeparator = L'/';

// Windows spellings ("C:\A\b.ini", "\__Package_X.exe") turned into this system's separators.
std::wstring toPlatformSeparators(std::wstring_view path);

// folder + separator + name, with exactly one separator between them.
std::wstring joinPath(std::wstring_view folder, std::wstring_view name);

// The path without its last component (and without the separator before it); empty when the
// path has no separator. "/a/b" gives "/a", "/a" gives "/".
std::wstring parentFolder(std::wstring_view path);

// The last component: "/a/b.ini" gives "b.ini".
std::wstring fileNameOf(std::wstring_view path);

// Bytes of a path for system calls, in the ANSI charset; and back.
std::string nativePath(std::wstring_view path);
std::wstring widePath(std::string_view nativeBytes);

// Full path of the running executable, from /proc/self/exe, without the " (deleted)" the kernel
// appends once the file was replaced. Empty when it cannot be read.
std::wstring modulePath();

// The entry of the folder whose name equals the given one without regard to case (first in
// directory order when several do), as a full path; the exact-case path when none matches, so
// that a caller creating the file gets the spelling it asked for.
std::wstring findFileNoCase(std::wstring_view folder, std::wstring_view name);

bool fileExists(std::wstring_view path);

}  // namespace platform
