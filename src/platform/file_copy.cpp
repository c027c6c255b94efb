#include "platform/file_copy.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/file_handles.h"
#include "platform/path.h"

namespace platform {

namespace {

constexpr std::string_view kTempSuffix = ".XXXXXX";
constexpr auto kProgramPermissions = std::filesystem::perms::owner_all;

}  // namespace

bool copyProgramFile(std::wstring_view source, std::wstring_view target) {
    const std::string targetPath = nativePath(target);
    std::remove(targetPath.c_str());
    if (target.empty()) {
        return false;
    }
    std::string tempPath = targetPath + std::string(kTempSuffix);
    const int fd = mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    close(fd);
    TempFileGuard guard(tempPath);
    namespace fs = std::filesystem;
    std::error_code error;
    fs::copy_file(nativePath(source), tempPath, fs::copy_options::overwrite_existing, error);
    if (!error) {
        fs::permissions(tempPath, kProgramPermissions, error);
    }
    if (error || std::rename(tempPath.c_str(), targetPath.c_str()) != 0) {
        return false;
    }
    guard.commit();
    return true;
}

}  // namespace platform
