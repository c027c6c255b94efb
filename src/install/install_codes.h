#pragma once

#include <cstdint>

// The pipeline hands its owner the downloader's codes as well as these; the owner sees both lists
// through this header.
#include "download/download_codes.h"

// Codes the package runner, the uninstaller runner and the console-protocol parser report through
// their PipelineCallback. Append only: the numbers are what the pipeline and the window act on.
inline constexpr std::int32_t IST_CODE_START = 2001;
inline constexpr std::int32_t IST_CODE_PROGRESS = 2002;
inline constexpr std::int32_t INSTALL_SUCCESS = 2003;  // 1.0: ended without a final state
inline constexpr std::int32_t IST_CODE_FAIL = 2004;  // 2.0 not started, 1000.0 "Error=", 0.0 "Fail"

inline constexpr std::int32_t IST_CODE_INST_PATH = 3000;
inline constexpr std::int32_t IST_CODE_EXE_PATH = 3001;
inline constexpr std::int32_t IST_CODE_UNINST_EXE = 3002;
inline constexpr std::int32_t IST_CODE_UNINST_EP = 3003;
inline constexpr std::int32_t IST_CODE_START_URL = 3004;
inline constexpr std::int32_t IST_CODE_STARTUP_STYLE = 3005;  // 0 NonStartup, 1 Auto, 2 User
inline constexpr std::int32_t IST_CODE_TOP_SHOW_DETENTION = 3007;
inline constexpr std::int32_t IST_CODE_FINISH_CLOSE_DETENTION = 3008;
inline constexpr std::int32_t IST_CODE_MESSAGE = 3009;

inline constexpr std::int32_t UNIST_CODE_PROGRESS = 5002;
inline constexpr std::int32_t UNIST_CODE_SUCCESS = 5003;  // 1.0: ended without a final state
inline constexpr std::int32_t UNIST_CODE_FAIL = 5004;  // 1.0 no uninstaller copy, 2.0 not started
inline constexpr std::int32_t UNIST_CODE_ERROR = 5005;

// What parsing a chunk of output returns.
inline constexpr std::int32_t kParseNoFinalState = 0;
inline constexpr std::int32_t kParseSucceeded = 1;
inline constexpr std::int32_t kParseFailed = 1000;
