#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/network_state.h"

// Small questions other parts ask of the machine before they act. None throws: a failing system
// call gives the neutral answer (0, false, an empty text).
namespace Utils {

// The installer's own temporary folder (the old uninstaller is copied there and run); also where
// the single-instance lock goes when there is no private runtime folder.
inline constexpr wchar_t kInstallerTempFolderName[] = L"~PeltaTemp.92482B06FB471E17";

// Answers what the network looks like; empty when it cannot tell. Tests hand in their own.
using NetworkProbe = std::function<std::optional<platform::NetworkState>()>;

// Connectivity bits in the low 16 bits; in the high 16 bits 0 when connected to the internet (or
// the network could not be asked: the result is then 0), 1 without any connectivity, 2 when
// connected without internet access.
std::uint32_t CheckNetwork();
std::uint32_t CheckNetwork(const NetworkProbe& probe);

class HardDiskManager {
public:
    virtual ~HardDiskManager() = default;

    // Fills the three counts from the file system of the directory; on failure logs the system
    // error, keeps the counts and returns false.
    bool CheckFreeSpace(const std::wstring& directory);

    std::uint64_t freeBytesToCaller() const { return freeBytesToCaller_; }
    std::uint64_t totalBytes() const { return totalBytes_; }
    std::uint64_t totalFreeBytes() const { return totalFreeBytes_; }

private:
    std::uint64_t freeBytesToCaller_ = 0;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t totalFreeBytes_ = 0;
};

bool IsAdminGroupMember();
bool IsAdminUser(const std::wstring& userName);
// Leaves userName as it was when no name can be found.
bool GetConsoleUserName(std::wstring& userName);
// 0 when no process runs from a file of exactly this name.
std::uint32_t FindProcessId(const std::wstring& executableName);
// The folder with a trailing separator, so a file name can follow directly; empty on failure.
std::wstring GetInstallerTempDir();
// True when every directory of the path exists afterwards; paths over 260 UTF-16 units are
// refused without touching the disk.
bool CreateDirectoryTree(const std::wstring& path);
// 32 hex characters, upper case except the third group; empty when no random bytes were given.
std::wstring NewGuidString();

}  // namespace Utils
