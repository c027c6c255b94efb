#pragma once

#include <signal.h>
#include <spawn.h>

// Owners of what posix_spawn takes, and the signal set-up every program we start gets: the
// package runners and the shell-open service start their programs the same way.
namespace platform {

struct SpawnFileActions {
    posix_spawn_file_actions_t actions;
    SpawnFileActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

// Dispositions a child must not inherit: an ignored SIGPIPE would turn a closed pipe into endless
// write errors, an ignored SIGCHLD would make the child's own children vanish unwaited, and our
// own handlers for termination are no business of the child's.
inline constexpr int kSignalsToDefault[] = {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGHUP, SIGTERM};

// Resets those signals to their defaults and blocks none in the child, plus the extra flags (for
// example POSIX_SPAWN_SETSID). False when the C library refuses.
inline bool setChildSignals(SpawnAttributes& spawn, short extraFlags = 0) {
    sigset_t toDefault;
    sigemptyset(&toDefault);
    for (const int signal : kSignalsToDefault) {
        sigaddset(&toDefault, signal);
    }
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    return posix_spawnattr_setsigdefault(&spawn.attributes, &toDefault) == 0 &&
           posix_spawnattr_setsigmask(&spawn.attributes, &noneBlocked) == 0 &&
           posix_spawnattr_setflags(&spawn.attributes,
                                    static_cast<short>(POSIX_SPAWN_SETSIGDEF |
                                                       POSIX_SPAWN_SETSIGMASK | extraFlags)) == 0;
}

}  // namespace platform
