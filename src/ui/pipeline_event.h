#pragma once

#include <cstdint>
#include <string>

#include "toolkit/notification.h"

// Posted by the pipeline's workers; the record travels as the message's payload, so it is freed
// after the window handled it, and also when the window is gone before its turn.
inline constexpr std::uint32_t WM_PIPELINE_EVENT = 0x7E8;
// Reports "下载器启动" once; nothing in this program posts it.
inline constexpr std::uint32_t WM_DOWNLOADER_STARTED = 0x4C8;

struct PipelineEventRecord : SkinUI::MessagePayload {
    PipelineEventRecord(std::int32_t eventCode, double eventValue, std::wstring eventText)
        : code(eventCode), value(eventValue), text(std::move(eventText)) {}

    std::int32_t code;
    double value;
    std::wstring text;
};
