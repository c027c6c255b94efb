#pragma once

namespace collector {

class CollectorServer {};

}  // namespace collector
