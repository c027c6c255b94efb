#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "demo_package/console_output.h"
#include "demo_package/runs.h"

namespace demo_package {

int runUninstall(const std::string& folder) {
    sayEncoding();
    if (folder.empty()) {
        return reportFailure("没有指定卸载目录");
    }
    // Only files that carry our trailer go: a file of the same name that is not ours, and
    // everything else in the folder, stays.
    std::vector<std::string> ours;
    for (const InstalledFile& file : kInstalledFiles) {
        const std::string path = (std::filesystem::path(folder) / file.name).string();
        if (roleOfFile(path) == file.role) {
            ours.push_back(path);
        }
    }
    if (ours.empty()) {
        return reportFailure("该目录中没有安装 Brivano 照片编辑器", folder);
    }
    sayProgress("0.1");
    for (const std::string& path : ours) {
        if (unlink(path.c_str()) != 0) {
            return reportFailure("无法删除文件", path, {errno, std::generic_category()});
        }
    }
    sayProgress("0.6");
    // The installer's own set.ini may still be there; the folder goes only when it is empty.
    rmdir(folder.c_str());
    sayProgress("1.0");
    sayLine("State=Success");
    return 0;
}

}  // namespace demo_package
