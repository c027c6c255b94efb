#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace test_support {

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder() {
        const char* base = getenv("TMPDIR");
        std::string pattern =
            std::string(base && base[0] == '/' ? base : "/tmp") + "/brivano-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of an entry (file or folder) directly inside this folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::wstring wideFile(const std::string& name) const { return (path_ / name).wstring(); }

    // Writes the bytes as they are (no line-end translation) and returns the file's path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
        return file(name);
    }
    // The file's bytes as they are; empty when it cannot be read.
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

}  // namespace test_support
