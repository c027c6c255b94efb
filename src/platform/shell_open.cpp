#include "platform/shell_open.h"

#include <errno.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/environment.h"
#include "platform/file_handles.h"
#include "platform/path.h"
#include "platform/spawn_handles.h"
#include "platform/text_encoding.h"

extern char** environ;

namespace platform {

namespace {

constexpr char kLogVariable[] = "BRIVANO_SHELL_OPEN_LOG";
constexpr char kFallbackOpener[] = "xdg-open";
constexpr std::string_view kProgramSuffix = ".exe";
constexpr std::string_view kWebSchemes[] = {"http", "https"};
constexpr mode_t kAnyExecBits = S_IXUSR | S_IXGRP | S_IXOTH;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
    void operator()(char* text) const { g_free(text); }
};

// Waits for the programs we started detached, so that none stays a zombie while the installer
// runs on (the product is usually started while the window still shows its last page). One thread
// for all of them, started with the first; it watches a pidfd per child and an eventfd that wakes
// it for a new child or for shutdown. Children still running at exit are left to init. The
// pending list is touched by the opening threads and the reaper thread, under the mutex.
class ChildReaper {
public:
    ChildReaper() = default;
    ChildReaper(const ChildReaper&) = delete;
    ChildReaper& operator=(const ChildReaper&) = delete;
    ~ChildReaper() {
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                stopping_ = true;
            }
            wake();
            thread_.join();
        }
    }

    void watch(pid_t pid) {
        auto pidFd = std::make_unique<UniqueFd>(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
        if (!*pidFd) {
            // Already reaped elsewhere (SIGCHLD ignored), or no pidfds: nothing to wait for.
            waitpid(pid, nullptr, WNOHANG);
            return;
        }
        std::lock_guard lock(mutex_);
        pending_.push_back({pid, std::move(pidFd)});
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { run(); });
        }
        wake();
    }

private:
    struct Child {
        pid_t pid;
        std::unique_ptr<UniqueFd> pidFd;
    };

    void wake() {
        const std::uint64_t one = 1;
        if (write(wakeFd_.get(), &one, sizeof one) < 0) {
            // The counter cannot overflow with our few writes; nothing else can fail here.
        }
    }

    void run() {
        std::vector<Child> children;
        while (true) {
            {
                std::lock_guard lock(mutex_);
                if (stopping_) {
                    return;
                }
                std::move(pending_.begin(), pending_.end(), std::back_inserter(children));
                pending_.clear();
            }
            std::vector<pollfd> watched{{wakeFd_.get(), POLLIN, 0}};
            for (const Child& child : children) {
                watched.push_back({child.pidFd->get(), POLLIN, 0});
            }
            if (poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) {
                return;
            }
            if ((watched[0].revents & POLLIN) != 0) {
                std::uint64_t count = 0;
                if (read(wakeFd_.get(), &count, sizeof count) < 0) {
                    // Woken all the same; the list is read again above.
                }
            }
            // watched[i + 1] is children[i]; erased from the back so the pairing holds.
            for (std::size_t i = children.size(); i-- > 0;) {
                if (watched[i + 1].revents != 0) {
                    waitpid(children[i].pid, nullptr, WNOHANG);
                    children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
        }
    }

    std::mutex mutex_;
    std::vector<Child> pending_;
    bool stopping_ = false;
    UniqueFd wakeFd_{eventfd(0, EFD_CLOEXEC)};
    std::thread thread_;
};

ChildReaper& childReaper() {
    static ChildReaper reaper;
    return reaper;
}

// The scheme of "scheme:rest" in lower case; empty for a path. One letter is not a scheme: it is
// a drive letter in the Windows spelling of a path.
std::string schemeOf(std::string_view target) {
    const std::size_t colon = target.find(':');
    if (colon == std::string_view::npos || colon < 2 ||
        !std::isalpha(static_cast<unsigned char>(target[0]))) {
        return {};
    }
    std::string scheme;
    for (const char c : target.substr(0, colon)) {
        const auto byte = static_cast<unsigned char>(c);
        if (!std::isalnum(byte) && c != '+' && c != '-' && c != '.') {
            return {};
        }
        scheme.push_back(static_cast<char>(std::tolower(byte)));
    }
    return scheme;
}

bool isWebScheme(const std::string& scheme) {
    return std::find(std::begin(kWebSchemes), std::end(kWebSchemes), scheme) !=
           std::end(kWebSchemes);
}

bool appendToLog(const std::string& logPath, const std::string& url) {
    const UniqueFd file(open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!file) {
        return false;
    }
    // One write per line, so that lines from several processes sharing the log never interleave.
    const std::string line = "open " + url + "\n";
    return write(file.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

// Started in a session of its own, with /dev/null for stdio and none of our descriptors (the
// single-instance lock above all), so that it outlives us and holds nothing of ours.
bool spawnDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingFolder, bool searchPath) {
    std::vector<std::string> argumentCopies{program};
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentCopies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    SpawnFileActions files;
    if (posix_spawn_file_actions_addopen(&files.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
            0 ||
        posix_spawn_file_actions_addopen(&files.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) !=
            0 ||
        posix_spawn_file_actions_addopen(&files.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) !=
            0 ||
        posix_spawn_file_actions_addclosefrom_np(&files.actions, STDERR_FILENO + 1) != 0) {
        return false;
    }
    if (!workingFolder.empty() &&
        posix_spawn_file_actions_addchdir_np(&files.actions, workingFolder.c_str()) != 0) {
        return false;
    }

    SpawnAttributes attributes;
    if (!setChildSignals(attributes, POSIX_SPAWN_SETSID)) {
        return false;
    }

    pid_t pid = -1;
    const int failed = searchPath ? posix_spawnp(&pid, program.c_str(), &files.actions,
                                                 &attributes.attributes, argv.data(), environ)
                                  : posix_spawn(&pid, program.c_str(), &files.actions,
                                                &attributes.attributes, argv.data(), environ);
    if (failed != 0) {
        return false;
    }
    childReaper().watch(pid);
    return true;
}

bool openWithDesktop(const std::string& uri) {
    GError* rawError = nullptr;
    if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &rawError)) {
        return true;
    }
    const std::unique_ptr<GError, GErrorFree> error(rawError);
    // Without a desktop session GIO may know no handler where the desktop's own opener does.
    return spawnDetached(kFallbackOpener, {uri}, {}, true);
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// A file with exec bits, or one named like a Windows program (the product's files keep their
// ".exe" names; one copied without its bits is ours to run all the same).
bool isProgram(const std::string& path, const struct stat& info) {
    if ((info.st_mode & kAnyExecBits) != 0) {
        return true;
    }
    if (!endsWithNoCase(path, kProgramSuffix)) {
        return false;
    }
    return chmod(path.c_str(), (info.st_mode & 07777) | S_IXUSR) == 0;
}

}  // namespace

bool shellOpen(const ShellOpenRequest& request) {
    if (!request.verb.empty() && request.verb != L"open") {
        return false;
    }
    const std::string target = utf8FromWide(request.target);
    if (target.empty()) {
        return false;
    }
    const std::string scheme = schemeOf(target);
    if (!scheme.empty()) {
        if (isWebScheme(scheme)) {
            if (const auto logPath = getEnv(kLogVariable); logPath && !logPath->empty()) {
                return appendToLog(nativePath(*logPath), target);
            }
        }
        return openWithDesktop(target);
    }

    const std::wstring folder = toPlatformSeparators(request.workingFolder);
    std::wstring widePathText = toPlatformSeparators(request.target);
    if (widePathText.front() != kPathSeparator && !folder.empty()) {
        widePathText = joinPath(folder, widePathText);
    }
    const std::string path = nativePath(widePathText);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    if (S_ISREG(info.st_mode) && isProgram(path, info)) {
        return spawnDetached(path, {}, nativePath(folder), false);
    }
    // Documents and folders go to their default handler, as a double-click would send them.
    const std::unique_ptr<char, GFree> uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    return uri && openWithDesktop(uri.get());
}

}  // namespace platform
