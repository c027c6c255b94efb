#pragma once

#include <filesystem>
#include <string>

namespace test_support {

// A script of tests/fixtures/packages, as the runners are given a program: a full wide path.
inline std::wstring packageFixture(const std::string& name) {
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures" / "packages" /
            name)
        .wstring();
}

}  // namespace test_support
