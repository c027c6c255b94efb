#include "utils/system_probes.h"

#include <errno.h>
#include <sys/stat.h>

#include <cwchar>

#include "platform/accounts.h"
#include "platform/disk_space.h"
#include "platform/environment.h"
#include "platform/guid.h"
#include "platform/path.h"
#include "platform/process_list.h"
#include "platform/text_encoding.h"
#include "utils/log.h"

namespace Utils {
namespace {

constexpr int kStatusShiftBits = 16;
constexpr std::uint32_t kStatusNoConnectivity = 1;
constexpr std::uint32_t kStatusNoInternet = 2;
constexpr std::size_t kMaxPathUnits = 260;
constexpr std::size_t kGuidTextChars = 50;
constexpr mode_t kNewDirectoryMode = 0777;  // narrowed by the umask, as for any new folder

bool isDirectory(const std::string& nativeFolder) {
    struct stat info {};
    return stat(nativeFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates one level; a folder that exists already (or appears meanwhile) is fine, anything else
// in the way is not.
bool ensureDirectory(std::wstring_view folder) {
    const std::string nativeFolder = platform::nativePath(folder);
    struct stat info {};
    if (stat(nativeFolder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    return mkdir(nativeFolder.c_str(), kNewDirectoryMode) == 0 ||
           (errno == EEXIST && isDirectory(nativeFolder));
}

}  // namespace

std::uint32_t CheckNetwork() {
    return CheckNetwork(platform::probeNetworkState);
}

std::uint32_t CheckNetwork(const NetworkProbe& probe) {
    const std::optional<platform::NetworkState> state = probe();
    if (!state) {
        return 0;
    }
    const std::uint32_t connectivity = state->connectivity;
    std::uint32_t status = 0;
    if (connectivity == platform::kConnectivityDisconnected) {
        Log({L"Utils::CheckNetwork"}, L"GetConnectivity %d", connectivity);
        status = kStatusNoConnectivity;
    } else if (!state->connectedToInternet) {
        Log({L"Utils::CheckNetwork"}, L"get_IsConnectedToInternet:%d", 0);
        status = kStatusNoInternet;
    }
    return (status << kStatusShiftBits) | connectivity;
}

bool HardDiskManager::CheckFreeSpace(const std::wstring& directory) {
    platform::DiskSpace space;
    int errorCode = 0;
    if (!platform::diskFreeSpace(directory, space, errorCode)) {
        Log({L"Utils::HardDiskManager::CheckFreeSpace"},
            L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n", errorCode);
        return false;
    }
    freeBytesToCaller_ = space.freeBytesToCaller;
    totalBytes_ = space.totalBytes;
    totalFreeBytes_ = space.totalFreeBytes;
    return true;
}

bool IsAdminGroupMember() {
    return platform::runsAsAdministrator();
}

bool IsAdminUser(const std::wstring& userName) {
    return platform::isAdministratorAccount(userName);
}

bool GetConsoleUserName(std::wstring& userName) {
    std::optional<std::wstring> name = platform::consoleUserName();
    if (!name) {
        return false;
    }
    userName = std::move(*name);
    return true;
}

std::uint32_t FindProcessId(const std::wstring& executableName) {
    return platform::findProcessByName(executableName);
}

std::wstring GetInstallerTempDir() {
    std::wstring folder = platform::privateTempFolder(kInstallerTempFolderName);
    if (folder.empty()) {
        return {};
    }
    folder += platform::kPathSeparator;
    return folder;
}

bool CreateDirectoryTree(const std::wstring& path) {
    if (platform::utf16Length(path) > kMaxPathUnits) {
        return false;
    }
    for (std::size_t separator = path.find(platform::kPathSeparator);
         separator != std::wstring::npos;
         separator = path.find(platform::kPathSeparator, separator + 1)) {
        if (!ensureDirectory(std::wstring_view(path).substr(0, separator + 1))) {
            return false;
        }
    }
    if (!path.empty() && path.back() != platform::kPathSeparator) {
        return ensureDirectory(path);
    }
    return true;
}

std::wstring NewGuidString() {
    platform::Guid guid;
    if (!platform::newGuid(guid)) {
        return {};
    }
    wchar_t text[kGuidTextChars] = {};
    const int written =
        std::swprintf(text, kGuidTextChars, L"%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X",
                      static_cast<unsigned>(guid.data1), static_cast<unsigned>(guid.data2),
                      static_cast<unsigned>(guid.data3), static_cast<unsigned>(guid.data4[0]),
                      static_cast<unsigned>(guid.data4[1]), static_cast<unsigned>(guid.data4[2]),
                      static_cast<unsigned>(guid.data4[3]), static_cast<unsigned>(guid.data4[4]),
                      static_cast<unsigned>(guid.data4[5]), static_cast<unsigned>(guid.data4[6]),
                      static_cast<unsigned>(guid.data4[7]));
    return written > 0 ? std::wstring(text, static_cast<std::size_t>(written)) : std::wstring();
}

}  // namespace Utils
