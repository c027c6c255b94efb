#include "platform/environment.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/path.h"
#include "platform/text_encoding.h"

namespace platform {

namespace {

constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kPermissionBits = 07777;
constexpr std::size_t kPasswordBufferBytes = 16 * 1024;
constexpr std::size_t kMaxPasswordBufferBytes = 1024 * 1024;

std::optional<std::string> nativeEnv(const char* name) {
    const char* value = getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::string> absoluteEnv(const char* name) {
    std::optional<std::string> value = nativeEnv(name);
    if (!value || value->empty() || value->front() != '/') {
        return std::nullopt;
    }
    return value;
}

bool isOwnedByUs(const struct stat& info) {
    return info.st_uid == geteuid();
}

// A real directory (a link does not count: whoever may replace the link may redirect us) that
// only the effective user can enter.
bool isPrivateFolder(const std::string& nativeFolder) {
    struct stat info {};
    return lstat(nativeFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && isOwnedByUs(info) &&
           (info.st_mode & kPermissionBits) == kPrivateFolderMode;
}

std::string passwordHome() {
    std::size_t bufferBytes = kPasswordBufferBytes;
    while (bufferBytes <= kMaxPasswordBufferBytes) {
        auto buffer = std::make_unique<char[]>(bufferBytes);
        passwd entry{};
        passwd* found = nullptr;
        const int error = getpwuid_r(geteuid(), &entry, buffer.get(), bufferBytes, &found);
        if (error == ERANGE) {
            bufferBytes *= 2;
            continue;
        }
        if (error != 0 || found == nullptr || found->pw_dir == nullptr) {
            return {};
        }
        return found->pw_dir;
    }
    return {};
}

std::string nativeHome() {
    if (std::optional<std::string> home = nativeEnv("HOME"); home && !home->empty()) {
        struct stat info {};
        if (stat(home->c_str(), &info) == 0 && S_ISDIR(info.st_mode) && isOwnedByUs(info)) {
            return *home;
        }
    }
    return passwordHome();
}

// Empty without a home: a relative path would put the user's files below whatever the current
// folder happens to be.
std::wstring belowHomeFolder(std::wstring_view belowHome) {
    const std::wstring home = homeFolder();
    return home.empty() ? std::wstring() : joinPath(home, belowHome);
}

std::wstring xdgFolder(const char* variable, std::wstring_view belowHome) {
    if (std::optional<std::string> folder = absoluteEnv(variable)) {
        return widePath(*folder);
    }
    return belowHomeFolder(belowHome);
}

}  // namespace

std::optional<std::wstring> getEnv(std::string_view name) {
    std::optional<std::string> value = nativeEnv(std::string(name).c_str());
    if (!value) {
        return std::nullopt;
    }
    return decodeText(*value, kCodePageAnsi);
}

std::vector<std::wstring> commandLineArguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::wstring> arguments;
    // Every argument ends with a NUL, the last one included.
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        arguments.push_back(
            decodeText(std::string_view(bytes).substr(start, end - start), kCodePageAnsi));
        start = end + 1;
    }
    return arguments;
}

std::wstring homeFolder() {
    return widePath(nativeHome());
}

std::wstring configHomeFolder() {
    return xdgFolder("XDG_CONFIG_HOME", L".config");
}

std::wstring dataHomeFolder() {
    return xdgFolder("XDG_DATA_HOME", L".local/share");
}

std::wstring programFilesFolder() {
    if (geteuid() == 0) {
        return L"/opt";
    }
    return belowHomeFolder(L".local/opt");
}

std::wstring tempFolder() {
    if (std::optional<std::string> folder = absoluteEnv("TMPDIR")) {
        return widePath(*folder);
    }
    return L"/tmp";
}

std::wstring privateTempFolder(std::wstring_view name) {
    const std::wstring base = tempFolder();
    const std::wstring folder =
        joinPath(base, std::wstring(name) + L"-" + std::to_wstring(geteuid()));
    const std::string nativeFolder = nativePath(folder);
    if (mkdir(nativeFolder.c_str(), kPrivateFolderMode) == 0) {
        // The umask may have taken bits away; what we just made is ours to correct.
        chmod(nativeFolder.c_str(), kPrivateFolderMode);
    }
    if (isPrivateFolder(nativeFolder)) {
        return folder;
    }
    // Somebody else's, or tampered with: a folder nobody can have prepared.
    std::string pattern = nativePath(joinPath(base, std::wstring(name) + L"-XXXXXX"));
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return widePath(pattern);
}

std::wstring runtimeFolder(std::wstring_view fallbackName) {
    if (std::optional<std::string> folder = absoluteEnv("XDG_RUNTIME_DIR");
        folder && isPrivateFolder(*folder)) {
        return widePath(*folder);
    }
    return privateTempFolder(fallbackName);
}

}  // namespace platform
