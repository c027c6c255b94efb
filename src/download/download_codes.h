#pragma once

#include <cstdint>

// Codes a downloader reports through its PipelineCallback. Append only: the numbers are part of
// what the pipeline and the window act on.
inline constexpr std::int32_t DL_CODE_START = 1001;     // value 1.0: a run has begun
inline constexpr std::int32_t DL_CODE_PROGRESS = 1002;  // value: fraction done, 0..1
inline constexpr std::int32_t DL_CODE_SUCCESS = 1003;   // text: the mechanism
inline constexpr std::int32_t DL_CODE_FAIL = 1004;      // value: the last failure code
inline constexpr std::int32_t DL_CODE_RETRY = 1005;     // failed once; restart the same one
inline constexpr std::int32_t DL_CODE_REPORT = 1006;    // a failure reason for analytics only
