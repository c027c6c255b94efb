#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "demo_server/package_server.h"
#include "platform/text_encoding.h"
#include "support/temp_folder.h"

namespace test_support {

// A generated package on a running loopback package server (also behind "/software/327") and an
// empty folder to download it into.
class ServedPackage : public testing::Test {
protected:
    ServedPackage(std::int64_t fileBytes, std::uint32_t seed)
        : fileBytes_(fileBytes), seed_(seed) {}

    void SetUp() override {
        ASSERT_TRUE(server_.start());
        filePath_ = server_.addGeneratedFile("package.exe", fileBytes_, seed_);
        server_.setPackage(filePath_);
        bytes_ = demo_server::generatedBytes(seed_, 0, fileBytes_);
    }

    // Names of what the download folder holds: temporary and part files must be gone.
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    static std::wstring wide(const std::string& text) { return platform::wideFromUtf8(text); }

    const std::int64_t fileBytes_;
    const std::uint32_t seed_;
    demo_server::PackageServer server_;
    TempFolder folder_;
    std::string filePath_;
    std::string bytes_;
};

}  // namespace test_support
