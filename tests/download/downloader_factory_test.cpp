#include "download/downloader_factory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/win_downloader.h"
#include "platform/debug_output.h"

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
        const platform::DebugOutputCapture capture;
        const auto downloader = createDownloader(
            c.type, [](std::int32_t, double, const wchar_t*) {}, L"http://127.0.0.1:9/software/327",
            L"/nonexistent-folder/pkg.bin");
        ASSERT_NE(downloader, nullptr);
        EXPECT_TRUE(c.isExpected(downloader.get()));
        const auto lines = capture.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.front().find(L"(CDownloadInstaller::Start)"), std::wstring::npos);
        EXPECT_TRUE(lines.front().ends_with(L": DL_TYPE=" + std::to_wstring(c.type) + L"\r\n"));
    }
}

}  // namespace
