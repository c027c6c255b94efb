#include "demo_server/package_server.h"
