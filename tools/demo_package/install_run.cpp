#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "demo_package/console_output.h"
#include "demo_package/runs.h"

namespace demo_package {

int runInstall(const std::string& folder) {
    sayEncoding();
    if (folder.empty()) {
        return reportFailure("没有指定安装目录");
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return reportFailure("无法创建安装目录", folder, error);
    }
    sayProgress("0.1");
    const std::optional<OwnImage> image = readOwnImage();
    if (!image) {
        return reportFailure("无法读取安装包");
    }
    const std::string productPath = (std::filesystem::path(folder) / kProductFileName).string();
    const std::string uninstallerPath =
        (std::filesystem::path(folder) / kUninstallerFileName).string();
    struct Step {
        const std::string& path;
        Role role;
        const char* progressAfter;
    };
    for (const Step& step : {Step{productPath, Role::Product, "0.4"},
                             Step{uninstallerPath, Role::Uninstaller, "0.7"}}) {
        error = writeProgramFile(step.path, image->bytes, step.role, 0);
        if (error) {
            return reportFailure("无法写入文件", step.path, error);
        }
        sayProgress(step.progressAfter);
    }
    sayProgress("1.0");
    // Only once the files are in place: the installer records these paths as the installation.
    sayLine("InstPath=" + folder);
    sayLine("ExePath=" + productPath);
    sayLine("UninstEp=" + uninstallerPath);
    if (const char* startUrl = getenv(kStartUrlVariable);
        startUrl != nullptr && *startUrl != '\0') {
        sayLine(std::string("StartUrl=") + startUrl);
    }
    sayLine("StartupStyle=UserStartup");
    sayLine("State=Success");
    return 0;
}

}  // namespace demo_package
