#include "platform/process_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_handles.h"
#include "platform/path.h"

namespace platform {
namespace {

// The kernel keeps at most this many bytes of a process's short name (TASK_COMM_LEN - 1).
constexpr std::size_t kCommBytes = 15;
constexpr std::string_view kDeletedSuffix = " (deleted)";

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string baseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Plain reads rather than a stream: a process that ends while we read its files makes the read
// fail with ESRCH, which a file stream reports by throwing.
bool readWhole(const std::string& file, std::string& bytes) {
    const UniqueFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    bytes.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd.get(), chunk, sizeof chunk);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

std::string imageBaseName(const std::string& procFolder) {
    std::string target(4096, '\0');
    const ssize_t got = readlink((procFolder + "/exe").c_str(), target.data(), target.size());
    if (got <= 0) {
        return {};
    }
    target.resize(static_cast<std::size_t>(got));
    // The kernel marks an image whose file was replaced or removed; the name is still the one the
    // process was started from.
    if (target.size() > kDeletedSuffix.size() && target.ends_with(kDeletedSuffix)) {
        target.resize(target.size() - kDeletedSuffix.size());
    }
    return baseName(target);
}

std::vector<std::string> arguments(const std::string& procFolder) {
    std::string bytes;
    std::vector<std::string> result;
    if (!readWhole(procFolder + "/cmdline", bytes)) {
        return result;
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        result.emplace_back(bytes, start, end - start);
        start = end + 1;
    }
    return result;
}

bool processMatches(const std::string& procFolder, const std::string& name) {
    if (imageBaseName(procFolder) == name) {
        return true;
    }
    const std::vector<std::string> argv = arguments(procFolder);
    if (argv.empty()) {
        // A kernel thread, a zombie, or a process we may not look into.
        return false;
    }
    if (baseName(argv[0]) == name) {
        return true;
    }
    if (argv.size() < 2) {
        return false;
    }
    std::string comm;
    if (!readWhole(procFolder + "/comm", comm)) {
        return false;
    }
    if (!comm.empty() && comm.back() == '\n') {
        comm.pop_back();
    }
    return comm == name.substr(0, kCommBytes) && baseName(argv[1]) == name;
}

}  // namespace

std::uint32_t findProcessByName(std::wstring_view executableName) {
    const std::string name = nativePath(executableName);
    if (name.empty()) {
        return 0;
    }
    DirHandle proc(opendir("/proc"));
    if (!proc) {
        return 0;
    }
    std::uint32_t lowest = 0;
    while (const dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (pid == 0 || end == entry->d_name || *end != '\0') {
            continue;
        }
        const auto id = static_cast<std::uint32_t>(pid);
        if ((lowest == 0 || id < lowest) &&
            processMatches(std::string("/proc/") + entry->d_name, name)) {
            lowest = id;
        }
    }
    return lowest;
}

}  // namespace platform
