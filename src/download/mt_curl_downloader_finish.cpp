// The finish waiter: merge, checksum, and the run's one final report.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "download/curl_handles.h"
#include "download/download_codes.h"
#include "download/mt_curl_downloader.h"
#include "platform/text_encoding.h"
#include "utils/checksum.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

constexpr std::size_t kMergeBlockBytes = 1024;
// The copy loop moves 1024 bytes at a time; large stream buffers keep that from becoming one
// system call per kilobyte, which made the merge of a big package take longer than its transfer.
constexpr std::size_t kMergeStreamBufferBytes = 1 << 20;
constexpr std::size_t kMd5Chars = 32;

constexpr wchar_t kMd5MismatchReason[] = L"mtcurl文件md5校验失败";
constexpr wchar_t kMd5MissingReason[] = L"mtcurl获取url-md5失败";

// Appends the whole file at `path` to `target`; false when it cannot be opened, read or written.
bool appendFile(const std::string& path, std::FILE* target) {
    std::vector<char> streamBuffer(kMergeStreamBufferBytes);
    const FileHandle source(std::fopen(path.c_str(), "rb"));
    if (!source) {
        return false;
    }
    std::setvbuf(source.get(), streamBuffer.data(), _IOFBF, streamBuffer.size());
    std::array<char, kMergeBlockBytes> block{};
    while (true) {
        const std::size_t read = std::fread(block.data(), 1, block.size(), source.get());
        if (read > 0 && std::fwrite(block.data(), 1, read, target) != read) {
            return false;
        }
        if (read < block.size()) {
            return std::ferror(source.get()) == 0;
        }
    }
}

}  // namespace

void CMTCurlDownloader::waitForFinishThreadFun(void* owner) {
    auto* self = static_cast<CMTCurlDownloader*>(owner);
    {
        std::unique_lock lock(self->runMutex_);
        self->runChanged_.wait(lock, [self] { return self->runningParts_.load() == 0; });
    }
    // Nothing of a part thread may still run while its node is merged and released.
    for (const auto& thread : self->partThreads_) {
        thread->Join();
    }
    if (self->cancelled()) {
        self->ReleaseParts();
        return;
    }

    const std::string ansiSavePath = Utils::ToNarrow(self->savePath_, platform::kCodePageAnsi);
    std::int32_t firstError = kPartComplete;
    for (const auto& node : self->parts_) {
        if (node->status != kPartComplete) {
            firstError = node->status;
            break;
        }
    }
    if (firstError == kPartComplete && !self->mergeParts(ansiSavePath)) {
        // Without this the run would report success with a missing or truncated package.
        firstError = kPartFileFailed;
    }
    if (firstError == kPartComplete) {
        self->finishVerified(ansiSavePath, firstError);
    } else {
        self->finishFailed(ansiSavePath, firstError);
    }
}

bool CMTCurlDownloader::mergeParts(const std::string& ansiSavePath) {
    {
        std::lock_guard lock(lock_);
        lastPercent_ = 0.0;
    }
    const std::string firstPartPath = GetPartFilePath(ansiSavePath, 0);
    std::vector<char> streamBuffer(kMergeStreamBufferBytes);
    FileHandle merged(std::fopen(firstPartPath.c_str(), "ab+"));
    bool merging = merged != nullptr;
    if (merging) {
        std::setvbuf(merged.get(), streamBuffer.data(), _IOFBF, streamBuffer.size());
    }
    for (std::size_t index = 1; merging && index < parts_.size(); ++index) {
        merging = appendFile(parts_[index]->partPath, merged.get());
        Utils::Log({L"CMTCurlDownloader::waitForFinishThreadFun"}, L"partPath::%s\r\n",
                   Utils::ToWide(parts_[index]->partPath, platform::kCodePageAnsi));
    }
    if (merged && std::fclose(merged.release()) != 0) {
        merging = false;
    }
    if (merging && std::rename(firstPartPath.c_str(), ansiSavePath.c_str()) != 0) {
        merging = false;
    }
    // A half-merged part 0 holds more than its range and must never be resumed.
    DeletePartFiles(ansiSavePath);
    return merging;
}

void CMTCurlDownloader::finishVerified(const std::string& ansiSavePath, std::int32_t firstError) {
    if (expectedMd5_.size() == kMd5Chars) {
        // An unreadable file gives an empty checksum: a file we cannot read is not verified.
        if (Utils::GetFileMd5(ansiSavePath) != expectedMd5_) {
            report(DL_CODE_REPORT, firstError, kMd5MismatchReason);
            std::remove(ansiSavePath.c_str());
            ReleaseParts();
            if (retried_) {
                Utils::Log({L"CMTCurlDownloader::waitForFinishThreadFun"},
                           L"finish recv, md5 chaek failed and retry failed.\r\n");
                report(DL_CODE_FAIL, 0.0, kMechanism);
            } else {
                retried_ = true;
                Utils::Log({L"CMTCurlDownloader::waitForFinishThreadFun"},
                           L"finish recv, md5 chaek failed retry once.\r\n");
                report(DL_CODE_RETRY, 0.0, kMechanism);
            }
            return;
        }
    } else {
        report(DL_CODE_REPORT, firstError, kMd5MissingReason);
    }
    Utils::Log({L"CMTCurlDownloader::waitForFinishThreadFun"}, L"finish recv\r\n");
    ReleaseParts();
    report(DL_CODE_SUCCESS, 0.0, kMechanism);
}

void CMTCurlDownloader::finishFailed(const std::string& ansiSavePath, std::int32_t firstError) {
    ReleaseParts();
    bool cleanStart = false;
    {
        std::lock_guard lock(lock_);
        cleanStart = lastPercent_ == 0.0;
    }
    // Part files that made progress stay for the restart to resume.
    if (cleanStart) {
        DeletePartFiles(ansiSavePath);
    }
    if (retried_) {
        {
            std::lock_guard lock(lock_);
            lastPercent_ = 0.0;
        }
        report(DL_CODE_FAIL, firstError, kMechanism);
    } else {
        retried_ = true;
        report(DL_CODE_RETRY, firstError, kMechanism);
    }
}
