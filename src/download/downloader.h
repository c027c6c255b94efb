#pragma once

#include <cstdint>
#include <functional>

// How downloaders, package runners and the pipeline report: (code, value, text). The text is valid
// only during the call. Calls arrive on the reporter's own threads, never on the thread that
// started the work.
using PipelineCallback = std::function<void(std::int32_t code, double value, const wchar_t* text)>;

// A way of fetching the package to its path. StartDownload returns at once; the run works on the
// downloader's own threads and reports through the callback given at construction.
class CDownloader {
public:
    virtual ~CDownloader() = default;
    virtual void StartDownload() = 0;
};
