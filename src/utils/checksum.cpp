#include "utils/checksum.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <memory>

namespace Utils {

namespace {

constexpr std::size_t kReadBlockBytes = 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::string GetUrlMd5(const std::string& url) {
    const std::size_t last = url.rfind('/');
    if (last == std::string::npos || last == 0) {
        return {};
    }
    const std::size_t previous = url.rfind('/', last - 1);
    if (previous == std::string::npos) {
        return {};
    }
    return url.substr(previous + 1, last - previous - 1);
}

std::string GetFileMd5(const std::string& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return {};
    }
    const std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) {
        return {};
    }
    std::array<unsigned char, kReadBlockBytes> block;
    std::size_t read = 0;
    while ((read = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        if (EVP_DigestUpdate(context.get(), block.data(), read) != 1) {
            return {};
        }
    }
    // fread gives 0 both at the end and on an error (a directory reads as EISDIR).
    if (std::ferror(file.get())) {
        return {};
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
    unsigned int digestBytes = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &digestBytes) != 1) {
        return {};
    }
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digestBytes * 2);
    for (unsigned int i = 0; i < digestBytes; ++i) {
        hex += kHexDigits[digest[i] >> 4];
        hex += kHexDigits[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace Utils
