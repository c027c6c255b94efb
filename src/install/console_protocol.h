#pragma once

#include <cstdint>
#include <string>

#include "download/downloader.h"

struct ConsoleParseState {
    std::uint32_t codePage = 0;
    std::int32_t installVersion[3] = {0, 0, 0};
};

enum class ConsoleDialect { Install, Uninstall };

std::int32_t parseConsoleChunk(ConsoleDialect dialect, const std::wstring& chunk,
                               ConsoleParseState& state, const PipelineCallback& callback);
