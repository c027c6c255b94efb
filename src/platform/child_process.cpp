#include "platform/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

#include "platform/path.h"
#include "platform/spawn_handles.h"
#include "platform/text_encoding.h"

extern char** environ;

namespace platform {

namespace {

constexpr std::wstring_view kBlanks = L" \t";
constexpr std::wstring_view kRestOfLinePrefixes[] = {L"/D=", L"_?="};
constexpr mode_t kAnyExecBits = S_IXUSR | S_IXGRP | S_IXOTH;

bool isBlank(wchar_t c) {
    return kBlanks.find(c) != std::wstring_view::npos;
}

// Closes the ends that were not handed over, on every path out of the spawn.
struct Pipe {
    int ends[2] = {-1, -1};

    ~Pipe() {
        for (const int fd : ends) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    bool open() { return pipe2(ends, O_CLOEXEC) == 0; }
    int readEnd() const { return ends[0]; }
    int writeEnd() const { return ends[1]; }
    int takeReadEnd() { return std::exchange(ends[0], -1); }
    int takeWriteEnd() { return std::exchange(ends[1], -1); }
};

// A package that came over the network has no exec bits; it is ours to run all the same.
void makeRunnable(const std::string& program) {
    struct stat info {};
    if (stat(program.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & kAnyExecBits) == 0) {
        chmod(program.c_str(), (info.st_mode & 07777) | S_IXUSR);
    }
}

// With SIGCHLD ignored the kernel reaps our children itself and waitpid can never see them end.
void restoreChildSignal() {
    struct sigaction current {};
    if (sigaction(SIGCHLD, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);
        sigaction(SIGCHLD, &byDefault, nullptr);
    }
}

}  // namespace

CommandLineParts splitCommandLine(std::wstring_view line) {
    CommandLineParts parts;
    std::size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        const std::size_t close = line.find(L'"', 1);
        parts.program = line.substr(1, close == std::wstring_view::npos ? line.npos : close - 1);
        at = close == std::wstring_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && !isBlank(line[at])) {
            ++at;
        }
        parts.program = line.substr(0, at);
    }

    while (true) {
        while (at < line.size() && isBlank(line[at])) {
            ++at;
        }
        if (at >= line.size()) {
            break;
        }
        const std::wstring_view rest = line.substr(at);
        bool restOfLine = false;
        for (const std::wstring_view prefix : kRestOfLinePrefixes) {
            restOfLine = restOfLine || rest.starts_with(prefix);
        }
        if (restOfLine) {
            parts.arguments.emplace_back(rest);
            break;
        }

        std::wstring argument;
        bool quoted = false;
        while (at < line.size() && (quoted || !isBlank(line[at]))) {
            if (line[at] == L'\\') {
                std::size_t backslashes = 0;
                while (at < line.size() && line[at] == L'\\') {
                    ++backslashes;
                    ++at;
                }
                if (at < line.size() && line[at] == L'"') {
                    argument.append(backslashes / 2, L'\\');
                    if (backslashes % 2 == 1) {
                        argument.push_back(L'"');
                        ++at;
                    }
                } else {
                    argument.append(backslashes, L'\\');
                }
            } else if (line[at] == L'"') {
                if (quoted && at + 1 < line.size() && line[at + 1] == L'"') {
                    argument.push_back(L'"');
                    at += 2;
                } else {
                    quoted = !quoted;
                    ++at;
                }
            } else {
                argument.push_back(line[at]);
                ++at;
            }
        }
        parts.arguments.push_back(std::move(argument));
    }
    return parts;
}

std::optional<SpawnedChild> SpawnedChild::spawn(std::wstring_view commandLine) {
    const CommandLineParts parts = splitCommandLine(commandLine);
    if (parts.program.empty()) {
        return std::nullopt;
    }
    const std::string program = nativePath(parts.program);
    std::vector<std::string> arguments{program};
    for (const std::wstring& argument : parts.arguments) {
        arguments.push_back(encodeText(argument, kCodePageAnsi));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    Pipe output;
    Pipe input;
    if (!output.open() || !input.open()) {
        return std::nullopt;
    }

    SpawnFileActions files;
    // dup2 clears close-on-exec on the copies; every other descriptor of ours stays behind, the
    // named mutex and the other run's pipes included.
    if (posix_spawn_file_actions_adddup2(&files.actions, input.readEnd(), STDIN_FILENO) != 0 ||
        posix_spawn_file_actions_adddup2(&files.actions, output.writeEnd(), STDOUT_FILENO) != 0 ||
        posix_spawn_file_actions_addopen(&files.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) !=
            0 ||
        posix_spawn_file_actions_addclosefrom_np(&files.actions, STDERR_FILENO + 1) != 0) {
        return std::nullopt;
    }

    SpawnAttributes attributes;
    if (!setChildSignals(attributes)) {
        return std::nullopt;
    }

    restoreChildSignal();
    makeRunnable(program);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &files.actions, &attributes.attributes, argv.data(),
                    environ) != 0) {
        return std::nullopt;
    }
    return SpawnedChild(pid, output.takeReadEnd(), input.takeWriteEnd());
}

SpawnedChild::SpawnedChild(SpawnedChild&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      outputFd_(std::exchange(other.outputFd_, -1)),
      inputFd_(std::exchange(other.inputFd_, -1)) {}

SpawnedChild& SpawnedChild::operator=(SpawnedChild&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = std::exchange(other.pid_, -1);
        outputFd_ = std::exchange(other.outputFd_, -1);
        inputFd_ = std::exchange(other.inputFd_, -1);
    }
    return *this;
}

SpawnedChild::~SpawnedChild() {
    release();
}

void SpawnedChild::release() {
    closeOutput();
    if (inputFd_ >= 0) {
        close(inputFd_);
        inputFd_ = -1;
    }
    hasEnded();
}

void SpawnedChild::closeOutput() {
    if (outputFd_ >= 0) {
        close(outputFd_);
        outputFd_ = -1;
    }
}

SpawnedChild::Output SpawnedChild::readOutput(std::string& bytes, std::size_t maxBytes,
                                              int timeoutMs) {
    bytes.clear();
    if (outputFd_ < 0) {
        return Output::Ended;
    }
    pollfd request{outputFd_, POLLIN, 0};
    const int ready = poll(&request, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
        return Output::Nothing;
    }
    if (ready < 0) {
        closeOutput();
        return Output::Ended;
    }
    bytes.resize(maxBytes);
    ssize_t got = -1;
    do {
        got = read(outputFd_, bytes.data(), maxBytes);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        bytes.clear();
        closeOutput();
        return Output::Ended;
    }
    bytes.resize(static_cast<std::size_t>(got));
    return Output::Data;
}

bool SpawnedChild::hasEnded() {
    if (pid_ < 0) {
        return true;
    }
    int status = 0;
    pid_t reaped = -1;
    do {
        reaped = waitpid(pid_, &status, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0) {
        return false;
    }
    pid_ = -1;
    return true;
}

void SpawnedChild::waitForEnd() {
    if (pid_ < 0) {
        return;
    }
    int status = 0;
    pid_t reaped = -1;
    do {
        reaped = waitpid(pid_, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    pid_ = -1;
}

}  // namespace platform
