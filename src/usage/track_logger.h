#pragma once

#include <string>
#include <vector>

namespace pelta::usage {

// The tracker's local event log. The tracker only opens and closes it; its presence decides
// whether failed track calls are announced on standard output.
class TrackLogger {
public:
    virtual ~TrackLogger() = default;
    virtual std::vector<std::string> readRecords() = 0;
    virtual void clear() = 0;
};

}  // namespace pelta::usage
