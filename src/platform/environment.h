#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Environment variables and the folders Windows calls special, mapped to this system's per-user
// and system-wide places. Paths are wide texts (see path.h).
namespace platform {

std::optional<std::wstring> getEnv(std::string_view name);

// The arguments the process was started with, the program path first, from /proc/self/cmdline
// (each decoded from the ANSI charset): what Windows would split out of the command line.
std::vector<std::wstring> commandLineArguments();

// $HOME when it is owned by the effective user, else the effective user's home from the password
// database (so that "sudo -E" does not write root-owned files into another user's home). Empty
// when neither is there.
std::wstring homeFolder();

// $XDG_CONFIG_HOME / $XDG_DATA_HOME when absolute, else ~/.config and ~/.local/share; without a
// home, empty rather than a path below the current folder.
std::wstring configHomeFolder();
std::wstring dataHomeFolder();

// Where programs are installed: /opt for root, ~/.local/opt for everybody else (empty without a
// home).
std::wstring programFilesFolder();

// $TMPDIR when absolute, else /tmp.
std::wstring tempFolder();

// A folder below tempFolder() that only the effective user can use: "<name>-<uid>" when it is a
// real directory (not a link) owned by us with mode 0700, created so when missing; otherwise a
// fresh mkdtemp folder. Empty when neither could be had.
std::wstring privateTempFolder(std::wstring_view name);

// $XDG_RUNTIME_DIR when it is absolute, owned by us and 0700; else privateTempFolder(fallbackName).
std::wstring runtimeFolder(std::wstring_view fallbackName);

}  // namespace platform
