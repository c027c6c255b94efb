#include "platform/accounts.h"

#include <errno.h>
#include <grp.h>
#include <pwd.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/environment.h"
#include "platform/path.h"

namespace platform {
namespace {

constexpr std::size_t kEntryBufferBytes = 1024;
constexpr std::size_t kMaxEntryBufferBytes = 1 << 20;
constexpr int kInitialGroupCount = 64;
constexpr std::array<const char*, 3> kAdministratorGroups = {"sudo", "wheel", "admin"};
constexpr const char* kConsoleSeat = "seat0";

struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
};

// Calls one of the *_r lookups with a growing buffer; fills the account when an entry is found.
template <typename Lookup>
std::optional<Account> lookUpAccount(Lookup lookup) {
    for (std::size_t bufferBytes = kEntryBufferBytes; bufferBytes <= kMaxEntryBufferBytes;
         bufferBytes *= 2) {
        auto buffer = std::make_unique<char[]>(bufferBytes);
        passwd entry{};
        passwd* found = nullptr;
        const int error = lookup(&entry, buffer.get(), bufferBytes, &found);
        if (error == ERANGE) {
            continue;
        }
        if (error != 0 || found == nullptr || found->pw_name == nullptr) {
            return std::nullopt;
        }
        return Account{found->pw_uid, found->pw_gid, found->pw_name};
    }
    return std::nullopt;
}

std::optional<Account> accountByName(const std::string& name) {
    return lookUpAccount([&name](passwd* entry, char* buffer, std::size_t bytes, passwd** found) {
        return getpwnam_r(name.c_str(), entry, buffer, bytes, found);
    });
}

std::optional<Account> accountById(uid_t uid) {
    return lookUpAccount([uid](passwd* entry, char* buffer, std::size_t bytes, passwd** found) {
        return getpwuid_r(uid, entry, buffer, bytes, found);
    });
}

std::optional<gid_t> groupId(const char* name) {
    for (std::size_t bufferBytes = kEntryBufferBytes; bufferBytes <= kMaxEntryBufferBytes;
         bufferBytes *= 2) {
        auto buffer = std::make_unique<char[]>(bufferBytes);
        group entry{};
        group* found = nullptr;
        const int error = getgrnam_r(name, &entry, buffer.get(), bufferBytes, &found);
        if (error == ERANGE) {
            continue;
        }
        if (error != 0 || found == nullptr) {
            return std::nullopt;
        }
        return found->gr_gid;
    }
    return std::nullopt;
}

std::vector<gid_t> groupsOf(const Account& account) {
    int count = kInitialGroupCount;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    // getgrouplist reports the size it needs when the list is too short.
    while (getgrouplist(account.name.c_str(), account.gid, groups.data(), &count) < 0) {
        if (count <= static_cast<int>(groups.size())) {
            return {};
        }
        groups.resize(static_cast<std::size_t>(count));
    }
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

std::optional<std::wstring> nameOf(uid_t uid) {
    std::optional<Account> account = accountById(uid);
    if (!account) {
        return std::nullopt;
    }
    return widePath(account->name);
}

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};
using SdString = std::unique_ptr<char, FreeDeleter>;

// The user of the session in front of the local console, as logind tells it. Nothing on a machine
// without logind, without a console seat or with nobody logged in there (containers, CI, ssh-only
// servers), so the caller can go on guessing.
std::optional<std::wstring> loginManagerConsoleUser() {
    char* rawSession = nullptr;
    uid_t uid = 0;
    const int result = sd_seat_get_active(kConsoleSeat, &rawSession, &uid);
    const SdString session(rawSession);
    if (result < 0 || !session) {
        return std::nullopt;
    }
    return nameOf(uid);
}

}  // namespace

bool runsAsAdministrator() {
    return geteuid() == 0;
}

bool isAdministratorAccount(std::wstring_view userName) {
    if (userName.empty()) {
        return false;
    }
    const std::optional<Account> account = accountByName(nativePath(userName));
    if (!account) {
        return false;
    }
    if (account->uid == 0) {
        return true;
    }
    const std::vector<gid_t> groups = groupsOf(*account);
    return std::any_of(
        kAdministratorGroups.begin(), kAdministratorGroups.end(), [&groups](const char* name) {
            const std::optional<gid_t> id = groupId(name);
            return id && std::find(groups.begin(), groups.end(), *id) != groups.end();
        });
}

std::optional<std::wstring> consoleUserName() {
    if (std::optional<std::wstring> seatUser = loginManagerConsoleUser()) {
        return seatUser;
    }
    if (std::optional<std::wstring> sudoUser = getEnv("SUDO_USER");
        sudoUser && !sudoUser->empty()) {
        return sudoUser;
    }
    if (std::optional<std::wstring> pkexecUid = getEnv("PKEXEC_UID"); pkexecUid) {
        const std::string digits = nativePath(*pkexecUid);
        char* end = nullptr;
        errno = 0;
        const unsigned long uid = std::strtoul(digits.c_str(), &end, 10);
        if (!digits.empty() && *end == '\0' && errno == 0) {
            if (std::optional<std::wstring> name = nameOf(static_cast<uid_t>(uid))) {
                return name;
            }
        }
    }
    return nameOf(getuid());
}

}  // namespace platform
