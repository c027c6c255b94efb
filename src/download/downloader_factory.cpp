#include "download/downloader_factory.h"

#include <utility>

#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/win_downloader.h"

namespace {

constexpr std::int32_t kDownloadTypeSystem = 2;
constexpr std::int32_t kDownloadTypeMultiPart = 3;

}  // namespace

std::unique_ptr<CDownloader> createDownloader(std::int32_t downloadType, PipelineCallback callback,
                                              const std::wstring& url,
                                              const std::wstring& packagePath) {
    switch (downloadType) {
        case kDownloadTypeSystem:
            return std::make_unique<CWinDownloader>(std::move(callback), url, packagePath);
        case kDownloadTypeMultiPart:
            return std::make_unique<CMTCurlDownloader>(std::move(callback), url, packagePath);
        default:
            return std::make_unique<CCurlDownloader>(std::move(callback), url, packagePath);
    }
}
