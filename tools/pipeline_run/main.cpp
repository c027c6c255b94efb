// pipeline-run --dir=FOLDER [--uninstaller=PATH] [--dsc=true|false] [--ssc=true|false]
//              [installer options such as -downloadurl=URL -downloadtype=N]
// pipeline-run --print-settings [installer options]
//
// The installer's whole job without its window: settings as the installer builds them (defaults,
// PeltaInstallerConfig.ini beside this program, the installer's options), an older version's
// uninstaller when one is recorded, the download, the package run and the install records. Every
// event the window would receive is printed as one JSON line, in the order it arrived.
#include <curl/curl.h>

#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "download/download_codes.h"
#include "install/download_installer.h"
#include "install/install_codes.h"
#include "pipeline_run/event_names.h"
#include "platform/child_environment.h"
#include "platform/environment.h"
#include "platform/text_encoding.h"
#include "settings/installer_settings.h"
#include "utils/install_records.h"
#include "utils/system_probes.h"

namespace {

constexpr int kExitInstalled = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: pipeline-run --dir=FOLDER [--uninstaller=PATH] [--dsc=true|false] [--ssc=true|false]\n"
    "                    [installer options]\n"
    "       pipeline-run --print-settings [installer options]\n"
    "  --dir=FOLDER        install into FOLDER (required for a run)\n"
    "  --uninstaller=PATH  run this old uninstaller first (default: the recorded one; empty: "
    "none)\n"
    "  --dsc, --ssc        the desktop and quick-launch shortcut flags (default true)\n"
    "  --print-settings    print the effective settings as one JSON object and exit\n"
    "  --help              this text\n"
    "installer options: -downloadurl= -downloadtype= -downloadscale= -ischecknet=\n"
    "  -isenableappusage= -dlappnamesuffix= -dlappversion= -instcmd=\n"
    "exit code: 0 installed, 1 the job failed, 2 bad usage\n";

struct Arguments {
    std::wstring dir;
    std::optional<std::wstring> uninstaller;
    bool desktopShortcut = true;
    bool quickLaunch = true;
    bool printSettings = false;
    bool help = false;
};

std::optional<bool> flag(std::wstring_view value) {
    if (value == L"true") {
        return true;
    }
    if (value == L"false") {
        return false;
    }
    return std::nullopt;
}

// Our own options start with "--"; everything else is left to the installer's option reader.
std::optional<Arguments> parseArguments(const std::vector<std::wstring>& arguments) {
    Arguments parsed;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::wstring_view argument = arguments[index];
        if (!argument.starts_with(L"--")) {
            continue;
        }
        const std::size_t equals = argument.find(L'=');
        const std::wstring_view name = argument.substr(0, equals);
        const std::wstring_view value =
            equals == std::wstring_view::npos ? std::wstring_view() : argument.substr(equals + 1);
        const bool hasValue = equals != std::wstring_view::npos;
        if (name == L"--help" && !hasValue) {
            parsed.help = true;
        } else if (name == L"--print-settings" && !hasValue) {
            parsed.printSettings = true;
        } else if (name == L"--dir" && hasValue && !value.empty()) {
            parsed.dir = value;
        } else if (name == L"--uninstaller" && hasValue) {
            parsed.uninstaller = std::wstring(value);
        } else if ((name == L"--dsc" || name == L"--ssc") && flag(value)) {
            (name == L"--dsc" ? parsed.desktopShortcut : parsed.quickLaunch) = *flag(value);
        } else {
            return std::nullopt;
        }
    }
    if (!parsed.help && !parsed.printSettings && parsed.dir.empty()) {
        return std::nullopt;
    }
    return parsed;
}

std::string utf8(const std::wstring& text) {
    return platform::utf8FromWide(text);
}

void printSettings(const InstallerSettings& settings) {
    nlohmann::ordered_json json;
    json["AppId"] = utf8(settings.AppId);
    json["AppVersion"] = utf8(settings.AppVersion);
    json["ExeName"] = utf8(settings.ExeName);
    json["DlAppNameSuffix"] = utf8(settings.DlAppNameSuffix);
    json["DlAppVersion"] = utf8(settings.DlAppVersion);
    json["InstCmd"] = utf8(settings.InstCmd);
    json["DownloadUrl"] = utf8(settings.DownloadUrl);
    json["DownloadType"] = settings.DownloadType;
    json["IsCheckNet"] = settings.IsCheckNet;
    json["IsEnableAppUsage"] = settings.IsEnableAppUsage;
    // JSON has no not-a-number, and an option that is not a number gives one.
    if (std::isnan(settings.DownloadScale)) {
        json["DownloadScale"] = "nan";
    } else {
        json["DownloadScale"] = settings.DownloadScale;
    }
    json["IsCurlReady"] = settings.IsCurlReady;
    json["AbValue"] = utf8(settings.AbValue);
    std::cout << json.dump() << std::endl;
}

struct Event {
    std::int32_t code;
    double value;
    std::wstring text;
};

// Events travel from the workers to the main thread, as they would to the window's thread, so
// that the install records are written where the window writes them.
class EventQueue {
public:
    void post(std::int32_t code, double value, const wchar_t* text) {
        {
            const std::lock_guard lock(mutex_);
            events_.push_back({code, value, text});
        }
        posted_.notify_one();
    }
    Event take() {
        std::unique_lock lock(mutex_);
        posted_.wait(lock, [this] { return !events_.empty(); });
        Event event = std::move(events_.front());
        events_.pop_front();
        return event;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Event> events_;
};

bool endsTheJob(std::int32_t code) {
    return code == INSTALL_SUCCESS || code == IST_CODE_FAIL || code == DL_CODE_FAIL ||
           code == UNIST_CODE_FAIL || code == UNIST_CODE_ERROR;
}

void printEvent(const Event& event) {
    nlohmann::ordered_json json;
    json["code"] = event.code;
    json["name"] = eventName(event.code);
    json["value"] = event.value;
    json["text"] = utf8(event.text);
    std::cout << json.dump() << std::endl;
}

class CurlGlobal {
public:
    CurlGlobal() : ready_(curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK) {}
    ~CurlGlobal() {
        if (ready_) {
            curl_global_cleanup();
        }
    }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
    bool ready() const { return ready_; }

private:
    bool ready_;
};

int runJob(const Arguments& arguments) {
    Utils::InstallRecordPaths records;
    Utils::ReadInstallRecords(records);
    records.installDir = arguments.dir;
    std::wstring oldUninstaller = records.recordedUninstallPath;
    if (arguments.uninstaller) {
        oldUninstaller = *arguments.uninstaller;
    } else if (Utils::IsOverrideDisabled(arguments.dir, records)) {
        oldUninstaller.clear();
    }
    std::wstring consoleUser;
    Utils::GetConsoleUserName(consoleUser);

    EventQueue queue;
    CDownloadInstaller pipeline([&queue](std::int32_t code, double value,
                                         const wchar_t* text) { queue.post(code, value, text); },
                                L"", L"", L"", true, true, true);
    pipeline.SetParams(g_settings.DownloadUrl, oldUninstaller, arguments.dir,
                       arguments.desktopShortcut, arguments.quickLaunch,
                       Utils::IsAdminUser(consoleUser), Utils::IsAdminGroupMember());
    pipeline.Start();
    for (;;) {
        const Event event = queue.take();
        printEvent(event);
        switch (event.code) {
            case IST_CODE_START:
                Utils::WriteInstallInfo(records);
                break;
            case IST_CODE_UNINST_EP:
                records.uninstallerPath = event.text;
                break;
            case INSTALL_SUCCESS:
                Utils::WriteInstallRecords(records);
                Utils::WriteInstallInfo(records);
                break;
            default:
                break;
        }
        if (endsTheJob(event.code)) {
            return event.code == INSTALL_SUCCESS ? kExitInstalled : kExitFailed;
        }
    }
}

}  // namespace

int main() {
    const std::vector<std::wstring> commandLine = platform::commandLineArguments();
    const std::optional<Arguments> arguments = parseArguments(commandLine);
    if (!arguments) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    if (arguments->help) {
        std::cout << kUsage;
        return kExitInstalled;
    }
    platform::hardenChildEnvironment();
    const CurlGlobal curl;
    g_settings.IsCurlReady = curl.ready();
    g_settings.ApplyCommandLine(commandLine);
    if (arguments->printSettings) {
        printSettings(g_settings);
        return kExitInstalled;
    }
    return runJob(*arguments);
}
