#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "download/downloader.h"

// The downloader for a download type of the settings: 2 the system URL download, 3 the
// multi-part one, anything else the single-stream one. The type is read once per pipeline; the
// chosen downloader is restarted, never swapped for another.
std::unique_ptr<CDownloader> createDownloader(std::int32_t downloadType, PipelineCallback callback,
                                              const std::wstring& url,
                                              const std::wstring& packagePath);
