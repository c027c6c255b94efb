#pragma once

#include <string>

#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace test_support {

// A home of the test's own: HOME, the XDG folders, the temporary folder and the debug log point
// into a temporary folder while the object lives, so that registry store, install folders and
// analytics files land there and the user's own are never touched.
class ScratchHome {
public:
    const TempFolder& temp() const { return temp_; }

private:
    TempFolder temp_;
    ScopedEnv env_{{"HOME", temp_.file("home")},
                   {"XDG_CONFIG_HOME", temp_.file("home/.config")},
                   {"XDG_DATA_HOME", temp_.file("home/.local/share")},
                   {"TMPDIR", temp_.file("tmp")},
                   {"BRIVANO_DEBUG_LOG", temp_.file("debug.log")}};
};

}  // namespace test_support
