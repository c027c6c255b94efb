#pragma once

#include <string_view>

namespace platform {

// Copies a program to be run from the target path: written under a temporary name beside the
// target, made 0700 and renamed into place, so that the target is either the complete copy or,
// after any failure, absent (a stale copy of an earlier run is removed too). Renaming also works
// while an earlier copy is still running.
bool copyProgramFile(std::wstring_view source, std::wstring_view target);

}  // namespace platform
