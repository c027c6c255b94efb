#pragma once

#include <cstddef>
#include <cstdint>

namespace pelta::usage {

// The tracker's event kinds. Context properties are registered per kind by these numbers, so
// they are fixed: append only, never renumber. Note that Update (12) comes before Crash (13)
// here, while the tracker's operations list trackCrash first.
enum class KoEventType : std::int32_t {
    Activity = 0,
    Launch = 1,
    Login = 2,
    Click = 3,
    View = 4,
    Cashier = 5,
    Share = 6,
    Task = 7,
    File = 8,
    Order = 9,
    Payment = 10,
    Uninstall = 11,
    Update = 12,
    Crash = 13,
    AppOpenNotification = 14,
};

inline constexpr std::size_t kKoEventTypeCount = 15;

}  // namespace pelta::usage
