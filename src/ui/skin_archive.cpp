#include "ui/skin_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>

#include "platform/embedded_resources.h"
#include "ui/skin_resources.h"

namespace ui {

namespace {

struct ArchiveReaderDeleter {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveReaderDeleter>;

// libarchive converts the UTF-16 names of a 7z archive through the character type of the
// calling thread and gives no name at all for non-ASCII ones under the C locale, which GTK's
// start-up may leave in place. A UTF-8 character type for this thread only keeps the process
// locale untouched for everyone else.
class Utf8NamesForThisThread {
public:
    Utf8NamesForThisThread() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {
        if (locale_ != locale_t{}) {
            previous_ = uselocale(locale_);
        }
    }
    ~Utf8NamesForThisThread() {
        if (locale_ != locale_t{}) {
            uselocale(previous_);
            freelocale(locale_);
        }
    }
    Utf8NamesForThisThread(const Utf8NamesForThisThread&) = delete;
    Utf8NamesForThisThread& operator=(const Utf8NamesForThisThread&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

// Case folding for names, the same whatever locale the process runs in. Skin names are ASCII,
// so that path stays cheap for the animation's lookup on every frame.
wint_t foldCase(wchar_t c) {
    if (c < 0x80) {
        return (c >= L'A' && c <= L'Z') ? static_cast<wint_t>(c - L'A' + L'a')
                                        : static_cast<wint_t>(c);
    }
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return utf8 != locale_t{} ? towlower_l(static_cast<wint_t>(c), utf8) : static_cast<wint_t>(c);
}

bool equalIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return foldCase(x) == foldCase(y); });
}

// Name lengths are counted as the archive stores names: in UTF-16 units.
std::uint32_t utf16Length(std::wstring_view text) {
    std::uint32_t units = 0;
    for (const wchar_t c : text) {
        units += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
    }
    return units;
}

// The current entry's content; nothing when it cannot be extracted completely.
std::optional<std::vector<std::uint8_t>> extractEntry(archive* reader, archive_entry* entry) {
    constexpr std::size_t kChunkBytes = 64 * 1024;
    std::vector<std::uint8_t> data;
    if (archive_entry_size_is_set(entry) != 0 && archive_entry_size(entry) > 0) {
        data.reserve(static_cast<std::size_t>(archive_entry_size(entry)));
    }
    std::array<std::uint8_t, kChunkBytes> chunk;
    for (;;) {
        const la_ssize_t got = archive_read_data(reader, chunk.data(), chunk.size());
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        data.insert(data.end(), chunk.begin(), chunk.begin() + got);
    }
    if (archive_entry_size_is_set(entry) != 0 &&
        static_cast<std::uint64_t>(archive_entry_size(entry)) != data.size()) {
        return std::nullopt;
    }
    return data;
}

std::vector<SkinEntry> decodeEntries(std::span<const std::uint8_t> bytes) {
    std::vector<SkinEntry> entries;
    const Utf8NamesForThisThread utf8Names;
    const ArchiveReader reader(archive_read_new());
    if (!reader || archive_read_support_format_7zip(reader.get()) != ARCHIVE_OK ||
        archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
        return entries;
    }
    for (std::uint32_t index = 0;; ++index) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            break;  // the end, or a header that cannot be read: what came before stays
        }
        if (archive_entry_filetype(entry) == AE_IFDIR) {
            continue;
        }
        const wchar_t* name = archive_entry_pathname_w(entry);
        if (name == nullptr) {
            break;
        }
        std::optional<std::vector<std::uint8_t>> data = extractEntry(reader.get(), entry);
        if (!data) {
            break;
        }
        SkinEntry& added = entries.emplace_back();
        added.name = name;
        added.nameLength = utf16Length(added.name) + 1;
        added.index = index;
        added.size = data->size();
        added.data = std::move(*data);
    }
    return entries;
}

// The process's skin registration. The heap copy of the resource lives until the process ends;
// the mutex keeps two first windows on different threads from decoding twice.
struct SkinRegistration {
    std::mutex mutex;
    std::vector<std::uint8_t> resourceCopy;
};

SkinRegistration& skinRegistration() {
    static SkinRegistration registration;
    return registration;
}

}  // namespace

SkinArchive::SkinArchive(std::wstring name, std::span<const std::uint8_t> bytes)
    : name_(std::move(name)), entries_(decodeEntries(bytes)) {}

std::optional<SkinUI::ResourceArchive::Entry> SkinArchive::find(std::wstring_view name) const {
    std::wstring wanted(name);
    std::replace(wanted.begin(), wanted.end(), L'\\', L'/');
    // Comparing stored lengths first keeps the per-frame lookups of the animation cheap.
    const std::uint32_t wantedLength = utf16Length(wanted) + 1;
    for (const SkinEntry& entry : entries_) {
        if (entry.nameLength == wantedLength && equalIgnoringCase(entry.name, wanted)) {
            return Entry{entry.index, entry.size};
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> SkinArchive::read(std::uint32_t index) const {
    for (const SkinEntry& entry : entries_) {
        if (entry.index == index) {
            return entry.data;
        }
    }
    return std::nullopt;
}

std::shared_ptr<const SkinArchive> registerSkinArchive(std::span<const std::uint8_t> resource) {
    if (resource.empty()) {
        return nullptr;
    }
    SkinRegistration& registration = skinRegistration();
    const std::lock_guard lock(registration.mutex);
    auto registered =
        std::dynamic_pointer_cast<const SkinArchive>(SkinUI::registeredResourceArchive());
    if (registered && registered->name() == kSkinArchiveName) {
        return registered;
    }
    registration.resourceCopy.assign(resource.begin(), resource.end());
    auto decoded = std::make_shared<const SkinArchive>(kSkinArchiveName, registration.resourceCopy);
    SkinUI::registerResourceArchive(decoded);
    return decoded;
}

std::shared_ptr<const SkinArchive> prepareSkinArchive() {
    const auto resource =
        platform::findEmbeddedResource(kSkinArchiveResourceType, kSkinArchiveResourceId);
    if (!resource) {
        return nullptr;
    }
    return registerSkinArchive(*resource);
}

}  // namespace ui
