#pragma once

#include <cstdint>

// The name of a pipeline event code as the installer's sources spell it ("DL_CODE_START"), or
// "UNKNOWN" for a code no worker sends.
const char* eventName(std::int32_t code);
