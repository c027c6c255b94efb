#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/file_handles.h"
#include "platform/path.h"
#include "platform/text_encoding.h"

namespace platform {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16leBom = "\xFF\xFE";
constexpr std::string_view kLf = "\n";
constexpr std::string_view kCrLf = "\r\n";
constexpr std::wstring_view kBlanks = L" \t";
constexpr wchar_t kCommentStart = L';';
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kFallbackUmask = 022;
constexpr mode_t kPermissionBits = 07777;
constexpr std::size_t kReadChunkBytes = 8192;
constexpr std::uint64_t kMaxUint32 = std::numeric_limits<std::uint32_t>::max();

struct CFree {
    void operator()(char* text) const { std::free(text); }
};

struct IniLine {
    std::string bytes;   // as stored, without the line end
    std::string ending;  // "\r\n", "\n", or empty for a last line without one
    std::wstring text;
};

struct IniDocument {
    std::string bom;  // kept in front when the file is written back
    std::vector<IniLine> lines;
    std::string newLine = std::string(kLf);  // for the lines we add
};

struct KeyValue {
    std::wstring_view key;
    std::wstring_view value;
};

struct SectionRange {
    std::size_t header;
    std::size_t end;  // the next section's header, or the end of the file
};

struct FileContent {
    int error = 0;  // errno of the failed step; ENOENT for a missing file
    std::string bytes;
    struct stat info {};
};

std::wstring_view trimBlanks(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::wstring_view trimTrailingBlanks(std::wstring_view text) {
    const std::size_t last = text.find_last_not_of(kBlanks);
    return last == std::wstring_view::npos ? std::wstring_view() : text.substr(0, last + 1);
}

std::wstring_view withoutQuotes(std::wstring_view value) {
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// "[name]" with blanks around and inside; text after the last "]" does not count. A line
// without "]" is no header.
std::optional<std::wstring_view> sectionNameOf(std::wstring_view line) {
    const std::wstring_view trimmed = trimBlanks(line);
    if (trimmed.empty() || trimmed.front() != L'[') {
        return std::nullopt;
    }
    const std::size_t close = trimmed.find_last_of(L']');
    if (close == std::wstring_view::npos) {
        return std::nullopt;
    }
    return trimBlanks(trimmed.substr(1, close - 1));
}

std::optional<KeyValue> keyValueOf(std::wstring_view line) {
    const std::wstring_view trimmed = trimBlanks(line);
    if (trimmed.empty() || trimmed.front() == kCommentStart) {
        return std::nullopt;
    }
    const std::size_t equals = trimmed.find(L'=');
    if (equals == std::wstring_view::npos) {
        return std::nullopt;
    }
    return KeyValue{trimBlanks(trimmed.substr(0, equals)), trimBlanks(trimmed.substr(equals + 1))};
}

// Calls add(line, ending) for each line; the ending is what followed it in the text.
template <typename Char, typename Add>
void splitLines(std::basic_string_view<Char> text, Add add) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find(Char('\n'), start);
        if (lf == std::basic_string_view<Char>::npos) {
            add(text.substr(start), std::string_view());
            return;
        }
        const bool crlf = lf > start && text[lf - 1] == Char('\r');
        add(text.substr(start, lf - start - (crlf ? 1 : 0)), crlf ? kCrLf : kLf);
        start = lf + 1;
    }
}

// UTF-16LE files are known by their BOM; everything else is read as UTF-8. Lines of a UTF-16LE
// file keep their text but are stored back as UTF-8.
IniDocument parseIni(std::string_view bytes) {
    IniDocument document;
    if (bytes.starts_with(kUtf16leBom)) {
        const std::wstring text = wideFromUtf16le(bytes.substr(kUtf16leBom.size()));
        splitLines(std::wstring_view(text), [&](std::wstring_view line, std::string_view ending) {
            document.lines.push_back({utf8FromWide(line), std::string(ending), std::wstring(line)});
        });
    } else {
        if (bytes.starts_with(kUtf8Bom)) {
            document.bom = kUtf8Bom;
            bytes.remove_prefix(kUtf8Bom.size());
        }
        splitLines(bytes, [&](std::string_view line, std::string_view ending) {
            document.lines.push_back({std::string(line), std::string(ending), wideFromUtf8(line)});
        });
    }
    if (!document.lines.empty() && document.lines.front().ending == kCrLf) {
        document.newLine = kCrLf;
    }
    return document;
}

FileContent readFile(const std::string& path) {
    FileContent content;
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd || fstat(fd.get(), &content.info) != 0) {
        content.error = errno;
        return content;
    }
    std::array<char, kReadChunkBytes> buffer;
    while (true) {
        const ssize_t got = read(fd.get(), buffer.data(), buffer.size());
        if (got == 0) {
            return content;
        }
        if (got < 0 && errno != EINTR) {
            content.error = errno;
            return content;
        }
        if (got > 0) {
            content.bytes.append(buffer.data(), static_cast<std::size_t>(got));
        }
    }
}

// The first section of that name. A later section of the same name is not merged into it: its
// keys are invisible to readers and writers alike, as with the Windows functions.
std::optional<SectionRange> findSection(const IniDocument& document, std::wstring_view section) {
    std::optional<SectionRange> range;
    for (std::size_t i = 0; i < document.lines.size(); ++i) {
        const std::optional<std::wstring_view> name = sectionNameOf(document.lines[i].text);
        if (!name) {
            continue;
        }
        if (range) {
            range->end = i;
            return range;
        }
        if (equalsNoCase(*name, section)) {
            range = SectionRange{i, document.lines.size()};
        }
    }
    return range;
}

std::optional<std::size_t> findKey(const IniDocument& document, SectionRange range,
                                   std::wstring_view key) {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const std::optional<KeyValue> entry = keyValueOf(document.lines[i].text);
        if (entry && equalsNoCase(entry->key, key)) {
            return i;
        }
    }
    return std::nullopt;
}

IniLine makeLine(std::wstring text, const std::string& ending) {
    return IniLine{utf8FromWide(text), ending, std::move(text)};
}

// Replaces the key's line, or adds it after the last non-blank line of its section, or adds the
// section at the end of the file. Every other line stays as it was.
void setValue(IniDocument& document, std::wstring_view section, std::wstring_view key,
              std::wstring_view value) {
    std::vector<IniLine>& lines = document.lines;
    const std::optional<SectionRange> range = findSection(document, section);
    if (!range) {
        if (!lines.empty() && lines.back().ending.empty()) {
            lines.back().ending = document.newLine;
        }
        lines.push_back(makeLine(L"[" + std::wstring(section) + L"]", document.newLine));
        lines.push_back(makeLine(std::wstring(key) + L"=" + std::wstring(value), document.newLine));
        return;
    }
    if (const std::optional<std::size_t> index = findKey(document, *range, key)) {
        // The line is rewritten with the key as the file spells it.
        IniLine& line = lines[*index];
        const std::wstring storedKey(keyValueOf(line.text)->key);
        line = makeLine(storedKey + L"=" + std::wstring(value), line.ending);
        return;
    }
    std::size_t last = range->header;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        if (!trimBlanks(lines[i].text).empty()) {
            last = i;
        }
    }
    if (lines[last].ending.empty()) {
        lines[last].ending = document.newLine;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last) + 1,
                 makeLine(std::wstring(key) + L"=" + std::wstring(value), document.newLine));
}

std::string serialize(const IniDocument& document) {
    std::string out = document.bom;
    for (const IniLine& line : document.lines) {
        out += line.bytes;
        out += line.ending;
    }
    return out;
}

// umask() can only be read by changing it, which races with other threads creating files; the
// kernel reports it in /proc instead.
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:")) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return kFallbackUmask;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A reader sees the old file or the new one, never a part: the new content goes to a temporary
// file in the same folder (same file system, so rename is atomic) and is synced before the
// rename. On failure the temporary file is removed and the old file is untouched.
bool replaceFile(const std::string& path, std::string_view content, const FileContent& old) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string tempPath = path.substr(0, nameStart) + "." + path.substr(nameStart) + ".XXXXXX";
    UniqueFd fd(mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd) {
        return false;
    }
    TempFileGuard guard(tempPath);
    const bool existed = old.error == 0;
    const mode_t mode =
        existed ? (old.info.st_mode & kPermissionBits) : (kNewFileMode & ~currentUmask());
    // The file keeps its mode, and its owner when root rewrites a user's file; a file that
    // cannot keep them is not replaced.
    if (fchmod(fd.get(), mode) != 0 ||
        (existed && geteuid() == 0 && fchown(fd.get(), old.info.st_uid, old.info.st_gid) != 0)) {
        return false;
    }
    if (!writeAll(fd.get(), content) || fsync(fd.get()) != 0 || !fd.reset()) {
        return false;
    }
    if (rename(tempPath.c_str(), path.c_str()) != 0) {
        return false;
    }
    guard.commit();
    return true;
}

bool containsLineBreak(std::wstring_view text) {
    return text.find_first_of(L"\r\n") != std::wstring_view::npos;
}

// The file a path names, through a symbolic link, so that replacing it keeps the link.
std::string resolveTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    const std::unique_ptr<char, CFree> resolved(realpath(path.c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : path;
}

// Windows' integer reader: wraps modulo 2^32 like it, but a value that does not fit in 32 bits
// at all is clamped instead of wrapped.
int parseWindowsInt(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] >= 0 && text[i] <= L' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == L'0') {
        const wchar_t prefix = text[i + 1];
        base = prefix == L'x' || prefix == L'X' ? 16 : prefix == L'o' ? 8 : prefix == L'b' ? 2 : 10;
        if (base != 10) {
            i += 2;
        }
    }
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        unsigned digit = base;
        if (c >= L'0' && c <= L'9') {
            digit = static_cast<unsigned>(c - L'0');
        } else if (c >= L'a' && c <= L'z') {
            digit = static_cast<unsigned>(c - L'a') + 10;
        } else if (c >= L'A' && c <= L'Z') {
            digit = static_cast<unsigned>(c - L'A') + 10;
        }
        if (digit >= base) {
            break;
        }
        magnitude = std::min(magnitude * base + digit, kMaxUint32 + 1);
    }
    if (magnitude > kMaxUint32) {
        return negative ? INT_MIN : INT_MAX;
    }
    const auto bits = static_cast<std::uint32_t>(negative ? 0 - magnitude : magnitude);
    return static_cast<int>(bits);
}

}  // namespace

std::wstring readIniString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                           std::wstring_view defaultValue, std::size_t bufferUnits) {
    if (bufferUnits == 0) {
        return {};
    }
    // Windows strips trailing blanks from the default as well.
    std::wstring value(trimTrailingBlanks(defaultValue));
    const FileContent file = readFile(nativePath(path));
    if (file.error == 0) {
        const IniDocument document = parseIni(file.bytes);
        if (const std::optional<SectionRange> range = findSection(document, trimBlanks(section))) {
            if (const std::optional<std::size_t> index =
                    findKey(document, *range, trimBlanks(key))) {
                value = withoutQuotes(keyValueOf(document.lines[*index].text)->value);
            }
        }
    }
    return std::wstring(utf16Prefix(value, bufferUnits - 1));
}

int readIniInt(std::wstring_view path, std::wstring_view section, std::wstring_view key,
               int defaultValue) {
    const std::wstring value =
        readIniString(path, section, key, L"", std::numeric_limits<std::size_t>::max());
    return value.empty() ? defaultValue : parseWindowsInt(value);
}

bool writeIniString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value) {
    // Windows writes a line break as it is, which lets a value add lines (even sections) of its
    // own to the file; such a write is refused instead.
    if (containsLineBreak(section) || containsLineBreak(key) || containsLineBreak(value)) {
        return false;
    }
    const std::string target = resolveTarget(nativePath(path));
    const FileContent old = readFile(target);
    if (old.error != 0 && old.error != ENOENT) {
        return false;
    }
    IniDocument document = old.error == 0 ? parseIni(old.bytes) : IniDocument{};
    setValue(document, trimBlanks(section), trimBlanks(key), value);
    return replaceFile(target, serialize(document), old);
}

}  // namespace platform
