#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "demo_package/runs.h"
#include "platform/file_handles.h"

namespace demo_package {

namespace {

// One write with O_APPEND, so that lines of products started side by side never interleave.
void appendLaunchLine(const char* logPath) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string line = "launched " + (error ? std::string(kProductFileName) : self.string()) +
                             " pid " + std::to_string(getpid()) + " in " +
                             std::filesystem::current_path(error).string() + "\n";
    const platform::UniqueFd log(open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!log || write(log.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        std::cerr << "BrivanoPhotoEditor: cannot write " << logPath << "\n";
    }
}

}  // namespace

int runProduct() {
    if (const char* logPath = getenv(kLaunchLogVariable); logPath != nullptr && *logPath != '\0') {
        appendLaunchLine(logPath);
    }
    std::cout << "Brivano 照片编辑器 (BrivanoPhotoEditor) 1.0.0 演示版\n"
                 "Brivano Photo Editor 1.0.0, demo build: installed and running.\n";
    return 0;
}

}  // namespace demo_package
