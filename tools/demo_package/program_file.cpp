#include "demo_package/program_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/file_handles.h"

namespace demo_package {
namespace {

using platform::TempFileGuard;
using platform::UniqueFd;

// The last bytes of every file we write; a file that does not end with them is not one of ours.
constexpr std::string_view kMagic = "BrvDemo1";
constexpr std::size_t kImageBytesAt = 0;
constexpr std::size_t kRoleAt = 8;
constexpr std::size_t kMagicAt = 16;
constexpr std::size_t kWriteBlockBytes = 1 << 20;
constexpr std::uint64_t kFillerSeed = 0x62726976616e6f31;
constexpr mode_t kProgramMode = 0755;
constexpr char kOwnExecutable[] = "/proc/self/exe";

struct Trailer {
    std::uint64_t imageBytes;
    Role role;
};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

void putLittleEndian(std::uint64_t value, char* out) {
    for (std::size_t i = 0; i < 8; ++i) {
        out[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
}

std::uint64_t getLittleEndian(const char* in) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    }
    return value;
}

std::string trailerFor(Role role, std::uint64_t imageBytes) {
    std::string trailer(kTrailerBytes, '\0');
    putLittleEndian(imageBytes, trailer.data() + kImageBytesAt);
    putLittleEndian(static_cast<std::uint64_t>(role), trailer.data() + kRoleAt);
    trailer.replace(kMagicAt, kMagic.size(), kMagic);
    return trailer;
}

bool readAt(int fd, char* out, std::size_t bytes, off_t offset) {
    while (bytes > 0) {
        const ssize_t got = pread(fd, out, bytes, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        bytes -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

bool writeAll(int fd, const char* data, std::size_t bytes) {
    while (bytes > 0) {
        const ssize_t put = write(fd, data, bytes);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        data += put;
        bytes -= static_cast<std::size_t>(put);
    }
    return true;
}

std::optional<Trailer> readTrailer(int fd, std::uint64_t fileBytes) {
    std::array<char, kTrailerBytes> raw{};
    if (fileBytes < kTrailerBytes ||
        !readAt(fd, raw.data(), raw.size(), static_cast<off_t>(fileBytes - kTrailerBytes)) ||
        std::string_view(raw.data() + kMagicAt, kMagic.size()) != kMagic) {
        return std::nullopt;
    }
    const Trailer trailer{getLittleEndian(raw.data() + kImageBytesAt),
                          static_cast<Role>(getLittleEndian(raw.data() + kRoleAt))};
    if (trailer.imageBytes > fileBytes - kTrailerBytes || trailer.role > Role::Uninstaller) {
        return std::nullopt;
    }
    return trailer;
}

std::optional<std::uint64_t> regularFileBytes(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

// A fixed pseudo-random stream (splitmix64): every package of one build carries the same filler,
// and no stretch of it repeats another, so a download that puts a part in the wrong place cannot
// pass for the file.
class Filler {
public:
    void fill(std::string& block) {
        for (std::size_t at = 0; at < block.size(); at += 8) {
            char word[8];
            putLittleEndian(next(), word);
            std::memcpy(block.data() + at, word, std::min<std::size_t>(8, block.size() - at));
        }
    }

private:
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }

    std::uint64_t state_ = kFillerSeed;
};

}  // namespace

std::optional<OwnImage> readOwnImage() {
    const UniqueFd file(open(kOwnExecutable, O_RDONLY | O_CLOEXEC));
    const std::optional<std::uint64_t> fileBytes =
        file.get() >= 0 ? regularFileBytes(file.get()) : std::nullopt;
    if (!fileBytes) {
        return std::nullopt;
    }
    const std::optional<Trailer> trailer = readTrailer(file.get(), *fileBytes);
    OwnImage image;
    image.role = trailer ? trailer->role : Role::Tool;
    image.bytes.resize(trailer ? trailer->imageBytes : *fileBytes);
    if (!readAt(file.get(), image.bytes.data(), image.bytes.size(), 0)) {
        return std::nullopt;
    }
    return image;
}

Role ownRole() {
    const UniqueFd file(open(kOwnExecutable, O_RDONLY | O_CLOEXEC));
    const std::optional<std::uint64_t> fileBytes =
        file.get() >= 0 ? regularFileBytes(file.get()) : std::nullopt;
    const std::optional<Trailer> trailer =
        fileBytes ? readTrailer(file.get(), *fileBytes) : std::nullopt;
    return trailer ? trailer->role : Role::Tool;
}

std::optional<Role> roleOfFile(const std::string& path) {
    // O_NONBLOCK: a FIFO planted under the product's name must not hold the uninstaller up.
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    const std::optional<std::uint64_t> fileBytes =
        file.get() >= 0 ? regularFileBytes(file.get()) : std::nullopt;
    const std::optional<Trailer> trailer =
        fileBytes ? readTrailer(file.get(), *fileBytes) : std::nullopt;
    if (!trailer) {
        return std::nullopt;
    }
    return trailer->role;
}

std::error_code writeProgramFile(const std::string& path, std::string_view image, Role role,
                                 std::uint64_t fillerBytes) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return lastError();
    }
    TempFileGuard guard(temp);
    UniqueFd file(fd);
    if (!writeAll(file.get(), image.data(), image.size())) {
        return lastError();
    }
    Filler filler;
    std::string block;
    for (std::uint64_t left = fillerBytes; left > 0; left -= block.size()) {
        block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(left, kWriteBlockBytes)));
        filler.fill(block);
        if (!writeAll(file.get(), block.data(), block.size())) {
            return lastError();
        }
    }
    const std::string trailer = trailerFor(role, image.size());
    if (!writeAll(file.get(), trailer.data(), trailer.size()) ||
        fchmod(file.get(), kProgramMode) != 0 || !file.reset() ||
        rename(temp.c_str(), path.c_str()) != 0) {
        return lastError();
    }
    guard.commit();
    return {};
}

}  // namespace demo_package
