#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/child_process.h"

// A package or uninstaller started hidden, its standard output read by the runner that owns it.
// How a flag travels on a package's or uninstaller's command line: "true" or "false".
inline const wchar_t* commandLineFlag(bool value) {
    return value ? L"true" : L"false";
}

class ChildProcess {
public:
    // Command lines are held in a buffer of this many UTF-16 units, the terminator included.
    static constexpr std::size_t kCommandLineUnits = 1024;
    // How much one read takes from the child's output.
    static constexpr std::size_t kReadBytes = 1024;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program the command line names. Throws Utils::Exception with an empty message
    // when the pipes cannot be created, the program cannot be started, or the command line does
    // not fit the buffer (a cut command line would run the package with the wrong folder).
    void Launch(const std::wstring& commandLine);

    // Hands every chunk of standard output to onOutput until the output ends or the child does,
    // then waits for the child without time limit. Output already in the pipe when the child ends
    // is still handed on; once the output is closed nothing more is read, so a grandchild that
    // keeps the pipe open never holds the run up.
    void FollowOutput(const std::function<void(std::string_view bytes)>& onOutput);

private:
    std::optional<platform::SpawnedChild> child_;
};
