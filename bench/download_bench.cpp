// download_bench TYPE URL PATH
// Downloads URL to PATH with the downloader the installer selects for download type TYPE (1 the
// single stream, 3 the two-part one), checksum included, and prints the seconds it took.
#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "download/download_codes.h"
#include "download/downloader_factory.h"
#include "platform/text_encoding.h"

namespace {

// The one outcome of a run, handed from the downloader's thread to main.
class Outcome {
public:
    void set(std::int32_t code, double value) {
        std::lock_guard lock(mutex_);
        code_ = code;
        value_ = value;
        done_.notify_all();
    }
    std::pair<std::int32_t, double> wait() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return code_.has_value(); });
        return {*code_, value_};
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::optional<std::int32_t> code_;
    double value_ = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: download_bench TYPE URL PATH\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    Outcome outcome;
    const auto started = std::chrono::steady_clock::now();
    {
        const std::unique_ptr<CDownloader> downloader = createDownloader(
            std::atoi(argv[1]),
            [&outcome](std::int32_t code, double value, const wchar_t*) {
                if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL || code == DL_CODE_RETRY) {
                    outcome.set(code, value);
                }
            },
            platform::wideFromUtf8(argv[2]), platform::wideFromUtf8(argv[3]));
        downloader->StartDownload();
        const auto [code, value] = outcome.wait();
        if (code != DL_CODE_SUCCESS) {
            std::fprintf(stderr, "download_bench: the download ended with %d (%g)\n", code, value);
            return 1;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    std::printf("%.3f\n", elapsed.count());
    curl_global_cleanup();
    return 0;
}
