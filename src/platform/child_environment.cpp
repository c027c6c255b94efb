#include "platform/child_environment.h"

#include <stdlib.h>
#include <unistd.h>

#include <initializer_list>

namespace platform {

void hardenChildEnvironment() {
    if (geteuid() != 0) {
        // An ordinary user can only hurt themselves with these, and may need them.
        return;
    }
    for (const char* name : {"LD_PRELOAD", "LD_LIBRARY_PATH", "LD_AUDIT"}) {
        unsetenv(name);
    }
}

}  // namespace platform
