#pragma once

#include <optional>
#include <string>

#include "platform/named_mutex.h"

// Keeps a second installer from running while one is at work: two would download into and run
// the same package file.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(std::wstring baseName) : baseName_(std::move(baseName)) {}

    // True when this process now holds the lock (also when it already did).
    bool Acquire();
    void Release();

    bool held() const { return mutex_.has_value(); }

private:
    std::wstring baseName_;
    std::optional<platform::NamedMutex> mutex_;
};

inline constexpr wchar_t kInstallerLockBaseName[] = L"Installer_BrivanoPhotoEditor";
