#include "platform/path.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "platform/text_encoding.h"

namespace platform {

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";
constexpr std::size_t kInitialLinkBytes = 256;

struct DirClose {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirClose>;

}  // namespace

std::wstring toPlatformSeparators(std::wstring_view path) {
    std::wstring out(path);
    std::replace(out.begin(), out.end(), L'\\', kPathSeparator);
    return out;
}

std::wstring joinPath(std::wstring_view folder, std::wstring_view name) {
    if (folder.empty()) {
        return std::wstring(name);
    }
    const std::size_t folderEnd = folder.find_last_not_of(kPathSeparator);
    const std::size_t nameStart = std::min(name.find_first_not_of(kPathSeparator), name.size());
    std::wstring out(folder.substr(0, folderEnd == std::wstring_view::npos ? 0 : folderEnd + 1));
    out += kPathSeparator;
    out += name.substr(nameStart);
    return out;
}

std::wstring parentFolder(std::wstring_view path) {
    const std::size_t end = path.find_last_not_of(kPathSeparator);
    if (end == std::wstring_view::npos) {
        return path.empty() ? std::wstring() : std::wstring(1, kPathSeparator);
    }
    const std::size_t separator = path.find_last_of(kPathSeparator, end);
    if (separator == std::wstring_view::npos) {
        return {};
    }
    const std::size_t parentEnd = path.find_last_not_of(kPathSeparator, separator);
    if (parentEnd == std::wstring_view::npos) {
        return std::wstring(1, kPathSeparator);
    }
    return std::wstring(path.substr(0, parentEnd + 1));
}

std::wstring fileNameOf(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(kPathSeparator);
    return std::wstring(separator == std::wstring_view::npos ? path : path.substr(separator + 1));
}

std::string nativePath(std::wstring_view path) {
    return encodeText(path, kCodePageAnsi);
}

std::wstring widePath(std::string_view nativeBytes) {
    return decodeText(nativeBytes, kCodePageAnsi);
}

std::wstring modulePath() {
    // readlink does not say whether it truncated, so grow until the answer leaves room.
    std::string target(kInitialLinkBytes, '\0');
    while (true) {
        const ssize_t length = readlink("/proc/self/exe", target.data(), target.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (target.ends_with(kDeletedSuffix)) {
        target.resize(target.size() - kDeletedSuffix.size());
    }
    return widePath(target);
}

std::wstring findFileNoCase(std::wstring_view folder, std::wstring_view name) {
    const DirHandle dir(opendir(nativePath(folder).c_str()));
    if (dir) {
        while (const dirent* entry = readdir(dir.get())) {
            const std::wstring entryName = widePath(entry->d_name);
            if (equalsNoCase(entryName, name)) {
                return joinPath(folder, entryName);
            }
        }
    }
    return joinPath(folder, name);
}

bool fileExists(std::wstring_view path) {
    // Like the Windows attribute check it stands for: a folder exists as well.
    struct stat info {};
    return stat(nativePath(path).c_str(), &info) == 0;
}

}  // namespace platform
