#include "collector/collector_server.h"
