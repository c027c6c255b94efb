#include "download/downloader_factory.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/win_downloader.h"

namespace {

template <typename T>
bool is(const CDownloader* downloader) {
    return dynamic_cast<const T*>(downloader) != nullptr;
}

// Building a downloader opens nothing and sends nothing; the URL is never contacted.
TEST(DownloaderFactory, PicksTheDownloaderByType) {
    const struct {
        std::int32_t type;
        bool (*isExpected)(const CDownloader*);
    } cases[] = {
        {0, &is<CCurlDownloader>},   {1, &is<CCurlDownloader>}, {2, &is<CWinDownloader>},
        {3, &is<CMTCurlDownloader>}, {4, &is<CCurlDownloader>}, {-1, &is<CCurlDownloader>},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const auto downloader = createDownloader(
            c.type, [](std::int32_t, double, const wchar_t*) {}, L"http://127.0.0.1:9/software/327",
            L"/nonexistent-folder/pkg.bin");
        ASSERT_NE(downloader, nullptr);
        EXPECT_TRUE(c.isExpected(downloader.get()));
    }
}

}  // namespace
