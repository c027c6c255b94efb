#pragma once

#include <stdlib.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// Sets variables (or unsets them, for nullopt) for its lifetime, then puts back what was there
// before, unset included. Restores in reverse order, so a name given twice ends as it started.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<const char*, std::optional<std::string>>> values) {
        for (const auto& [name, value] : values) {
            const char* old = getenv(name);
            old_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            set(name, value);
        }
    }
    ~ScopedEnv() {
        for (auto it = old_.rbegin(); it != old_.rend(); ++it) {
            set(it->first.c_str(), it->second);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    static void set(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> old_;
};

}  // namespace test_support
