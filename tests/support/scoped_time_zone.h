#pragma once

#include <time.h>

#include "support/scoped_env.h"

namespace test_support {

// Sets TZ for one test and puts the old value back. localtime_r reads TZ only at tzset(), so
// that runs after setting it and after putting it back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : env_{{"TZ", zone}} { tzset(); }

private:
    // Declared before the variable so that it is destroyed after it: tzset() sees the old TZ.
    struct TzsetWhenGone {
        ~TzsetWhenGone() { tzset(); }
    } tzsetWhenGone_;
    ScopedEnv env_;
};

}  // namespace test_support
