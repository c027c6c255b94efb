#include "platform/shell_open.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/text_encoding.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/wait.h"

namespace {

using platform::ShellOpenRequest;
using test_support::ScopedEnv;
using test_support::TempFolder;
using test_support::waitUntil;

constexpr auto kWaitLimit = std::chrono::seconds(10);

// The started program runs on after shellOpen returns; its files are the only sign of it.
// A zombie keeps its /proc entry until its parent reaps it; a reaped child has none.
bool processGone(const std::string& pid) {
    return !std::filesystem::exists("/proc/" + pid);
}

// Reports, once it is done, where it ran, its session, its stdio and every file it holds open.
std::string reportingScript(const std::string& marker) {
    return "#!/bin/sh\n"
           "in=$(readlink /proc/$$/fd/0) out=$(readlink /proc/$$/fd/1) err=$(readlink "
           "/proc/$$/fd/2)\n"
           "{\n"
           "  echo \"pid=$$\"\n"
           "  echo \"cwd=$(pwd)\"\n"
           "  echo \"sid=$(cut -d' ' -f6 /proc/$$/stat)\"\n"
           "  echo \"stdio=$in $out $err\"\n"
           "  for fd in /proc/$$/fd/*; do echo \"open=$(readlink $fd)\"; done\n"
           "} > " +
           marker + ".part\n" + "mv " + marker + ".part " + marker + "\n";
}

std::string valueOf(const std::string& report, const std::string& key) {
    const std::size_t at = report.find(key + "=");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + key.size() + 1;
    return report.substr(start, report.find('\n', start) - start);
}

struct ProgramCase {
    const char* name;
    const char* fileName;
    mode_t mode;
    bool relativeTarget;  // the target named relative to the working folder
};

TEST(ShellOpen, StartsProgramDetachedInWorkingFolderAndReapsIt) {
    const ProgramCase cases[] = {
        {"AbsolutePath", "program.sh", 0755, false},
        {"RelativeToWorkingFolder", "program.sh", 0755, true},
        // The product's own files are named like Windows programs and may come without exec bits.
        // Not the product's own name: the window tests refuse to install while that one runs.
        {"WindowsProgramNameWithoutExecBits", "PhotoViewer.exe", 0644, false},
    };
    for (const ProgramCase& row : cases) {
        TempFolder folder;
        const std::string work = folder.file("work dir");
        std::filesystem::create_directory(work);
        // Without O_CLOEXEC on purpose: it stands for the installer's own descriptors.
        const int leaked = open(folder.write("leak-probe", "").c_str(), O_RDONLY);
        ASSERT_GE(leaked, 0);
        const std::string marker = folder.file("marker");
        const std::string program = folder.write(row.fileName, reportingScript(marker));
        chmod(program.c_str(), row.mode);
        ShellOpenRequest request;
        request.verb = L"open";
        request.target = row.relativeTarget
                             ? std::wstring(L"../") + platform::wideFromUtf8(row.fileName)
                             : platform::wideFromUtf8(program);
        request.workingFolder = platform::wideFromUtf8(work);

        const bool opened = platform::shellOpen(request);
        close(leaked);
        ASSERT_TRUE(opened) << row.name;
        ASSERT_TRUE(waitUntil(kWaitLimit, [&] { return std::filesystem::exists(marker); }))
            << row.name;
        const std::string report = folder.read("marker");
        const std::string pid = valueOf(report, "pid");
        EXPECT_EQ(valueOf(report, "cwd"), work) << row.name;
        EXPECT_EQ(valueOf(report, "sid"), pid) << row.name << ": not in a session of its own";
        EXPECT_EQ(valueOf(report, "stdio"), "/dev/null /dev/null /dev/null") << row.name;
        EXPECT_EQ(report.find("leak-probe"), std::string::npos) << row.name << "\n" << report;
        EXPECT_TRUE(waitUntil(kWaitLimit, [&] { return processGone(pid); }))
            << row.name << ": left a zombie";
    }
}

TEST(ShellOpen, WebPagesGoToTheLogInsteadOfABrowser) {
    TempFolder folder;
    const std::string log = folder.write("shell-open.log", "open http://127.0.0.1/earlier\n");
    const ScopedEnv env{{"BRIVANO_SHELL_OPEN_LOG", log}};
    const std::wstring urls[] = {
        L"http://127.0.0.1:8080/converter",
        L"HTTPS://127.0.0.1/licence?lang=zh&x=1",
        L"https://127.0.0.1/软件/许可",
    };
    for (const std::wstring& url : urls) {
        EXPECT_TRUE(platform::shellOpen({L"open", url, L"", platform::ShowCommand::Normal}));
    }
    EXPECT_EQ(folder.read("shell-open.log"),
              "open http://127.0.0.1/earlier\n"
              "open http://127.0.0.1:8080/converter\n"
              "open HTTPS://127.0.0.1/licence?lang=zh&x=1\n"
              "open https://127.0.0.1/软件/许可\n");
}

TEST(ShellOpen, RefusesWhatCannotBeOpened) {
    TempFolder folder;
    const std::string log = folder.file("shell-open.log");
    const ScopedEnv env{{"BRIVANO_SHELL_OPEN_LOG", log}};
    struct RefusedCase {
        const char* name;
        std::wstring verb;
        std::wstring target;
    };
    const RefusedCase cases[] = {
        {"EmptyTarget", L"open", L""},
        {"MissingFile", L"open", folder.wideFile("missing.exe")},
        {"MissingRelativeFile", L"open", L"no-such-file-here.exe"},
        {"OtherVerb", L"print", L"http://127.0.0.1/"},
    };
    for (const RefusedCase& row : cases) {
        EXPECT_FALSE(
            platform::shellOpen({row.verb, row.target, L"", platform::ShowCommand::Normal}))
            << row.name;
    }
    EXPECT_FALSE(std::filesystem::exists(log));
}

// A document goes to the handler the desktop names for its type. The test makes its own desktop:
// data and configuration folders with one application, the default for the document's type, that
// writes a marker. GIO reads those folders once per process, so the opening runs in a fresh copy
// of this program with the folders set.
TEST(ShellOpen, DocumentGoesToTheDesktopsDefaultHandler) {
    TempFolder folder;
    std::filesystem::create_directories(folder.path() / "data" / "applications");
    std::filesystem::create_directories(folder.path() / "config");
    const std::string handler = folder.write(
        "handler.sh", "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf '%s' \"$1\" > " +
                          folder.file("opened.part") + "\nmv " + folder.file("opened.part") + " " +
                          folder.file("opened") + "\n");
    chmod(handler.c_str(), 0755);
    folder.write("data/applications/brivano-test-viewer.desktop",
                 "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + handler +
                     " %f\nMimeType=text/plain;application/octet-stream;\n");
    const std::string defaults =
        "[Default Applications]\ntext/plain=brivano-test-viewer.desktop\n"
        "application/octet-stream=brivano-test-viewer.desktop\n";
    folder.write("config/mimeapps.list", defaults);
    folder.write("data/applications/mimeapps.list", defaults);
    const std::string document = folder.write("licence.txt", "licence text\n");
    // The fallback opener is kept out of reach, so that a miss fails instead of opening a real
    // program.
    const ScopedEnv env{{"XDG_DATA_HOME", folder.file("data")},
                        {"XDG_DATA_DIRS", folder.file("data")},
                        {"XDG_CONFIG_HOME", folder.file("config")},
                        {"XDG_CONFIG_DIRS", folder.file("config")},
                        {"XDG_CURRENT_DESKTOP", std::nullopt},
                        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder.file("no-bus")},
                        {"PATH", "/nonexistent"},
                        {"BRIVANO_SHELL_OPEN_DOCUMENT", document}};

    const test_support::ChildRun run = test_support::runProgram(
        "/proc/self/exe", {"--gtest_filter=ShellOpenChild.OpensTheDocumentNamedByTheTest"});
    ASSERT_EQ(run.exitCode(), 0) << run.output;
    ASSERT_TRUE(
        waitUntil(kWaitLimit, [&] { return std::filesystem::exists(folder.file("opened")); }));
    EXPECT_EQ(folder.read("opened"), document);
}

TEST(ShellOpenChild, OpensTheDocumentNamedByTheTest) {
    const char* document = getenv("BRIVANO_SHELL_OPEN_DOCUMENT");
    if (document == nullptr) {
        GTEST_SKIP() << "run by DocumentGoesToTheDesktopsDefaultHandler";
    }
    EXPECT_TRUE(platform::shellOpen(
        {L"open", platform::wideFromUtf8(document), L"", platform::ShowCommand::Normal}));
}

}  // namespace
