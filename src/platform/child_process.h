#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Child programs started from a Windows-style command line, with standard output on a pipe the
// parent reads, standard input on a pipe nobody writes and standard error discarded.
namespace platform {

struct CommandLineParts {
    std::wstring program;                 // passed to the spawn as it stands, never re-split
    std::vector<std::wstring> arguments;  // after the program, in order
};

// The program is the first token: up to the closing double quote when it starts with one, else
// up to the first blank or tab. The rest is split with the Windows argument rules (blanks and tabs
// separate, double quotes group, backslashes escape only before a double quote, "" inside quotes
// is a literal quote), except that an argument beginning, unquoted, with "/D=" or "_?=" takes the
// rest of the line as it stands: installers read their target folder that way, blanks included.
CommandLineParts splitCommandLine(std::wstring_view commandLine);

// A started child and the parent's ends of its pipes. Destruction closes the pipe ends and reaps
// the child when it has already ended; it never kills it.
class SpawnedChild {
public:
    // Starts the program of the command line. Nothing when a pipe cannot be created or the
    // program cannot be started (missing, not executable, not a program).
    static std::optional<SpawnedChild> spawn(std::wstring_view commandLine);

    SpawnedChild(SpawnedChild&& other) noexcept;
    SpawnedChild& operator=(SpawnedChild&& other) noexcept;
    SpawnedChild(const SpawnedChild&) = delete;
    SpawnedChild& operator=(const SpawnedChild&) = delete;
    ~SpawnedChild();

    enum class Output { Data, Nothing, Ended };

    // Waits at most timeoutMs for standard output and reads what is there, at most maxBytes, into
    // `bytes` (replacing its content). Ended once the output is closed or cannot be read; the
    // read end is then closed, so later calls answer Ended at once without touching the pipe.
    Output readOutput(std::string& bytes, std::size_t maxBytes, int timeoutMs);

    // True once the child has ended (reaped now or before). A child that is not ours to wait for
    // (ECHILD, say because SIGCHLD was ignored and the system reaped it) counts as ended.
    bool hasEnded();

    // Waits for the child to end, without time limit.
    void waitForEnd();

    pid_t pid() const { return pid_; }

private:
    SpawnedChild(pid_t pid, int outputFd, int inputFd)
        : pid_(pid), outputFd_(outputFd), inputFd_(inputFd) {}
    void release();
    void closeOutput();

    pid_t pid_ = -1;  // -1 once reaped
    int outputFd_ = -1;
    int inputFd_ = -1;
};

}  // namespace platform
