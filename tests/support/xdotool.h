#pragma once

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace test_support {

// Starts xdotool without waiting for it, so the window's loop keeps running while it acts; the
// destructor reaps it.
class Xdotool {
public:
    explicit Xdotool(const std::vector<std::string>& arguments) {
        std::vector<char*> argv{const_cast<char*>("xdotool")};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "xdotool", nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    ~Xdotool() {
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    Xdotool(const Xdotool&) = delete;
    Xdotool& operator=(const Xdotool&) = delete;

private:
    pid_t pid_ = -1;
};

}  // namespace test_support
