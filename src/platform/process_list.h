#pragma once

#include <cstdint>
#include <string_view>

// Which running process carries a given executable file name.
namespace platform {

// The id of a running process (the lowest, in /proc order) whose executable file name equals the
// given one exactly, case included; 0 when there is none. A process matches by the file its
// image was loaded from, else by the name it was started under (argv[0]), else, for a script
// started through its #! line, by the script's name (argv[1] of the interpreter, when the
// kernel's short name of the process is the name's first 15 bytes). Processes whose details we
// may not read are passed over.
std::uint32_t findProcessByName(std::wstring_view executableName);

}  // namespace platform
