#pragma once

#include <cstdint>
#include <string>

namespace pelta::usage {

// User-profile properties. Every known key is bound to the one profile operation the collector
// expects for it (a first-visit date is only ever set once, a visit count only accumulates), so
// callers give key and value and the binding picks the operation. A value whose type cannot
// take the bound operation, or a key without binding, raises KoException and nothing is sent.
class NativeUserTracker {
public:
    enum class ProfileOperation { SetOnce, Increment, Set, Append };

    // The operation bound to the key, or false when the key has none.
    static bool bindingOf(const std::string& key, ProfileOperation& operation);

    static void ProfileUserPropertyString(const std::string& key, const std::string& value);
    static void ProfileUserPropertyNumber(const std::string& key, double value);
    // A value of kMillisecondsFrom or more counts milliseconds since 1970, a smaller one seconds:
    // callers pass either, and no second count of a plausible date reaches that size.
    static void ProfileUserPropertyDateTime(const std::string& key, std::int64_t value);

    static constexpr std::int64_t kMillisecondsFrom = 157789440000;
};

}  // namespace pelta::usage
