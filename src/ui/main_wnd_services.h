#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/network_state.h"
#include "platform/shell_open.h"
#include "utils/system_probes.h"

// Bytes free to us on the folder's file system, as the disk probe tells it; nothing when that
// cannot be told.
std::optional<std::uint64_t> freeBytesOnDisk(const std::wstring& folder);

// What the main window asks of the machine beyond files and processes. The defaults are the real
// services; tests put in their own so that no browser opens, and to choose what the network and
// the disk look like.
struct MainWndServices {
    platform::ShellOpener shellOpen = platform::shellOpen;
    Utils::NetworkProbe networkProbe = platform::probeNetworkState;
    std::function<std::optional<std::uint64_t>(const std::wstring& folder)> freeBytes =
        freeBytesOnDisk;
};
