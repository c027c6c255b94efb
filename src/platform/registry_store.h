#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The current user's registry hive: values under key paths, each keeping its Windows type number
// and its data bytes exactly as written, in one file below configHomeFolder(). Key paths and value
// names are compared without case, as Windows does; a value keeps the spelling of its first write.
// Readers never lock (every write replaces the file atomically); writers of all processes take
// turns on a lock file beside it, so concurrent writes of different values all survive. A store
// that cannot be parsed counts as empty, and the next write starts it afresh.
namespace platform {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
    std::uint32_t type = 0;
    std::string bytes;  // REG_SZ text is UTF-16LE (see utf16leFromWide), without a terminating zero
};

// Nothing when the store, the key or the value does not exist or the store cannot be read.
std::optional<RegistryValue> readRegistryValue(std::wstring_view key, std::wstring_view name);

// Creates the key as needed. False when the store could not be written; it then keeps its old
// content.
bool writeRegistryValue(std::wstring_view key, std::wstring_view name, std::uint32_t type,
                        std::string_view bytes);

// The store file itself (its lock file is this path with ".lock" appended); empty without a
// configuration folder.
std::wstring registryStorePath();

}  // namespace platform
