#pragma once

#include <functional>
#include <string>

// Hands a web page, a document or a program to the desktop, as a user's double-click would.
namespace platform {

enum class ShowCommand { Normal, Maximized };

struct ShellOpenRequest {
    std::wstring verb;  // "open"
    std::wstring target;
    std::wstring workingFolder;  // empty: the caller's
    ShowCommand show = ShowCommand::Normal;
};

// Who carries a request out: shellOpen below, or a test's stand-in that records requests.
using ShellOpener = std::function<bool(const ShellOpenRequest&)>;

// A URL or a document goes to the desktop's default handler; an executable file (or one named
// "*.exe", as the product's files are) is started detached from us, in workingFolder when one is
// given, and reaped when it ends. A relative target is taken from workingFolder. The show command
// is left to the desktop. With BRIVANO_SHELL_OPEN_LOG set to a file, web pages (http and https)
// are appended there as a line "open <url>" each instead of being opened: how the demo and the
// tests run without a browser. False for a verb other than "open" (or empty), a missing file, or
// when nothing could be started.
bool shellOpen(const ShellOpenRequest& request);

}  // namespace platform
