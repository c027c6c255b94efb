#pragma once

#include <string>

namespace usage_analytics {

// Where analytics records are posted: BRIVANO_COLLECTOR_URL when set and not empty, else the
// maker's collection server chosen at build time ("https://<host>/sa?project=pc").
std::string collectorUrl();

}  // namespace usage_analytics
