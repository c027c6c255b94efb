#pragma once

#include <string>

namespace Utils {

// The name of the folder that holds the file a URL points at: the download server names that
// folder by the file's lower-case MD5. Empty when the URL has fewer than two slashes.
std::string GetUrlMd5(const std::string& url);

// MD5 of a file as 32 lower-case hex digits; empty when the file cannot be opened or read.
// The path is in the ANSI charset.
std::string GetFileMd5(const std::string& path);

}  // namespace Utils
