#pragma once

#include <curl/curl.h>

#include <cstdio>
#include <memory>

// Owners of the C handles the transfers use, so that every return path releases them.

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlHeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaderList = std::unique_ptr<curl_slist, CurlHeaderListDeleter>;

// Closing drops the result of fclose: where buffered bytes must reach the disk, release the
// stream and check fclose's result instead.
struct FileCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;
