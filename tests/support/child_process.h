#pragma once

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

struct ChildRun {
    int status = -1;     // as waitpid gives it
    std::string output;  // everything the child wrote to the descriptor it was given

    // The exit code of a child that exited, -1 for one that died of a signal.
    int exitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

// Forks; the child runs `body` with the write end of a pipe and ends with _exit(what it returns),
// so none of the parent's exit handlers or test teardown runs a second time in the copy. The
// parent reads the pipe to its end, then reaps the child. Both ends are close-on-exec: a body
// that execs passes the pipe on only where it dup2()s it (to stdout, say).
inline ChildRun runInChild(const std::function<int(int out)>& body) {
    // Closes each end once, on every path of the parent.
    struct Pipe {
        int fds[2] = {-1, -1};
        ~Pipe() {
            closeEnd(0);
            closeEnd(1);
        }
        void closeEnd(int end) {
            if (fds[end] >= 0) {
                close(fds[end]);
                fds[end] = -1;
            }
        }
    } ends;
    ChildRun run;
    if (pipe2(ends.fds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2: " << strerror(errno);
        return run;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ends.fds[0]);
        _exit(body(ends.fds[1]));
    }
    ends.closeEnd(1);
    if (child < 0) {
        ADD_FAILURE() << "fork: " << strerror(errno);
        return run;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(ends.fds[0], buffer, sizeof(buffer));
        if (got > 0) {
            run.output.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    pid_t reaped = -1;
    do {
        reaped = waitpid(child, &run.status, 0);
    } while (reaped < 0 && errno == EINTR);
    EXPECT_EQ(reaped, child) << "waitpid: " << strerror(errno);
    return run;
}

// Runs a program with its standard output and standard error on one pipe.
inline ChildRun runProgram(const std::string& program,
                           const std::vector<std::string>& arguments = {}) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return runInChild([&](int out) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execv(argv[0], argv.data());
        return 127;
    });
}

}  // namespace test_support
