#include "usage/collector_url.h"

#include <cstdlib>

namespace usage_analytics {

std::string collectorUrl() {
    const char* configured = std::getenv("BRIVANO_COLLECTOR_URL");
    if (configured != nullptr && configured[0] != '\0') {
        return configured;
    }
    return "https://" BRIVANO_COLLECTOR_HOST "/sa?project=pc";
}

}  // namespace usage_analytics
