#include "platform/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/path.h"
#include "platform/text_encoding.h"

namespace platform {

namespace {

constexpr std::wstring_view kStoreFileName = L"brivano-registry";
constexpr std::string_view kLockSuffix = ".lock";
constexpr std::string_view kTempSuffix = ".XXXXXX";
// The first line names the format and its version; a later format gets a new number, and an older
// reader then sees an empty store rather than misreading it.
constexpr std::string_view kHeader = "brivano-registry 1";
constexpr std::string_view kTrailer = "end ";
constexpr char kFieldSeparator = ' ';
constexpr char kLineEnd = '\n';
constexpr std::size_t kFieldCount = 4;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;
constexpr std::string_view kHexDigits = "0123456789abcdef";
constexpr unsigned kNibbleBits = 4;
constexpr unsigned kNibbleMask = 0xF;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

struct StoredValue {
    std::wstring key;
    std::wstring name;
    RegistryValue value;
};

using Store = std::vector<StoredValue>;

std::string toHex(std::string_view bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto bits = static_cast<unsigned char>(byte);
        hex += kHexDigits[bits >> kNibbleBits];
        hex += kHexDigits[bits & kNibbleMask];
    }
    return hex;
}

int hexDigitValue(char digit) {
    const std::size_t at = kHexDigits.find(digit);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::optional<std::string> fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigitValue(hex[i]);
        const int low = hexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>((high << kNibbleBits) | low);
    }
    return bytes;
}

template <typename Number>
std::optional<Number> parseDecimal(std::string_view text) {
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return number;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t at = line.find(kFieldSeparator);
        fields.push_back(line.substr(0, at));
        if (at == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(at + 1);
    }
}

std::optional<StoredValue> parseEntry(std::string_view line) {
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() != kFieldCount) {
        return std::nullopt;
    }
    const auto key = fromHex(fields[0]);
    const auto name = fromHex(fields[1]);
    const auto type = parseDecimal<std::uint32_t>(fields[2]);
    auto data = fromHex(fields[3]);
    if (!key || !name || !type || !data) {
        return std::nullopt;
    }
    return StoredValue{wideFromUtf8(*key), wideFromUtf8(*name), {*type, std::move(*data)}};
}

// Every line must parse and the trailer must count them: a file cut short or edited by hand is
// rejected as a whole rather than half believed.
Store parseStore(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find(kLineEnd);
        if (end == std::string_view::npos) {
            return {};
        }
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    if (lines.size() < 2 || lines.front() != kHeader || !lines.back().starts_with(kTrailer)) {
        return {};
    }
    const auto count = parseDecimal<std::size_t>(lines.back().substr(kTrailer.size()));
    if (!count || *count != lines.size() - 2) {
        return {};
    }
    Store store;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        auto entry = parseEntry(lines[i]);
        if (!entry) {
            return {};
        }
        store.push_back(std::move(*entry));
    }
    return store;
}

std::string serialiseStore(const Store& store) {
    std::string text(kHeader);
    text += kLineEnd;
    for (const StoredValue& entry : store) {
        text += toHex(utf8FromWide(entry.key));
        text += kFieldSeparator;
        text += toHex(utf8FromWide(entry.name));
        text += kFieldSeparator;
        text += std::to_string(entry.value.type);
        text += kFieldSeparator;
        text += toHex(entry.value.bytes);
        text += kLineEnd;
    }
    text += kTrailer;
    text += std::to_string(store.size());
    text += kLineEnd;
    return text;
}

Store loadStore(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.bad() ? Store{} : parseStore(text);
}

// The configuration folder may not exist yet on a fresh account; Windows always has the hive.
bool ensureFolder(const std::string& folder) {
    for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        const std::string prefix = folder.substr(0, at);
        if (mkdir(prefix.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
            return false;
        }
        if (at == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Written beside the store (same file system, so the rename is atomic) and synced first, so a
// reader or a crash sees either the old store or the new one. A failure removes the temporary file
// and leaves the old store as it was.
bool replaceStore(const std::string& path, const Store& store) {
    std::string tempPath = path + std::string(kTempSuffix);
    const int fd = mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::string text = serialiseStore(store);
    bool written = false;
    if (UniqueFile file{fdopen(fd, "w")}) {
        written = fchmod(fd, kPrivateFileMode) == 0 &&
                  std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                  std::fflush(file.get()) == 0 && fsync(fd) == 0 &&
                  std::fclose(file.release()) == 0;
    } else {
        close(fd);
    }
    if (!written || rename(tempPath.c_str(), path.c_str()) != 0) {
        unlink(tempPath.c_str());
        return false;
    }
    return true;
}

StoredValue* findValue(Store& store, std::wstring_view key, std::wstring_view name) {
    for (StoredValue& entry : store) {
        if (equalsNoCase(entry.key, key) && equalsNoCase(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

std::wstring registryStorePath() {
    const std::wstring folder = configHomeFolder();
    return folder.empty() ? std::wstring() : joinPath(folder, kStoreFileName);
}

std::optional<RegistryValue> readRegistryValue(std::wstring_view key, std::wstring_view name) {
    const std::wstring path = registryStorePath();
    if (path.empty()) {
        return std::nullopt;
    }
    Store store = loadStore(nativePath(path));
    const StoredValue* entry = findValue(store, key, name);
    return entry ? std::optional<RegistryValue>(entry->value) : std::nullopt;
}

bool writeRegistryValue(std::wstring_view key, std::wstring_view name, std::uint32_t type,
                        std::string_view bytes) {
    const std::wstring path = registryStorePath();
    if (path.empty() || !ensureFolder(nativePath(parentFolder(path)))) {
        return false;
    }
    const std::string storePath = nativePath(path);
    const std::string lockPath = storePath + std::string(kLockSuffix);
    // Close-on-exec: a program we launch while holding the lock must not keep it. Private: any
    // process that can open the file can take the lock and hold our writers up.
    const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kPrivateFileMode);
    const UniqueFile lock(lockFd < 0 ? nullptr : fdopen(lockFd, "r+"));
    if (!lock) {
        if (lockFd >= 0) {
            close(lockFd);
        }
        return false;
    }
    int locked = -1;
    do {
        locked = flock(fileno(lock.get()), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        return false;
    }
    // Read again under the lock: another process may have written since any earlier read.
    Store store = loadStore(storePath);
    if (StoredValue* entry = findValue(store, key, name)) {
        entry->value = RegistryValue{type, std::string(bytes)};
    } else {
        store.push_back({std::wstring(key), std::wstring(name), {type, std::string(bytes)}});
    }
    return replaceStore(storePath, store);
}

}  // namespace platform
