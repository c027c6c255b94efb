#pragma once

#include <optional>
#include <string>
#include <string_view>

// Who the installer runs as, and whether an account may administer the machine.
namespace platform {

// The process acts with administrator rights: its effective user is root.
bool runsAsAdministrator();

// The account is root or belongs to one of the groups that may administer the machine (sudo,
// wheel, admin). False for an unknown account.
bool isAdministratorAccount(std::wstring_view userName);

// The person at the machine: the user of the active session on the console seat as the login
// manager (logind) reports it; where it reports none, the user who called sudo, else the user
// who called pkexec, else the real user. Empty when no name can be found.
std::optional<std::wstring> consoleUserName();

}  // namespace platform
