#pragma once

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "support/temp_folder.h"
#include "toolkit/cairo_handles.h"
#include "toolkit/resource_archive.h"
#include "toolkit/window.h"

namespace toolkit_test {

// The skin as loose files in a temporary folder, served through the archive interface the
// toolkit reads from: names compared without case, "\" read as "/", directories not files.
class FolderArchive : public SkinUI::ResourceArchive {
public:
    explicit FolderArchive(std::filesystem::path root) : root_(std::move(root)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
            if (entry.is_regular_file()) {
                names_.push_back(std::filesystem::relative(entry.path(), root_).wstring());
            }
        }
    }

    std::optional<Entry> find(std::wstring_view name) const override {
        std::wstring wanted(name);
        std::replace(wanted.begin(), wanted.end(), L'\\', L'/');
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (platform::equalsNoCase(names_[i], wanted)) {
                return Entry{static_cast<std::uint32_t>(i),
                             std::filesystem::file_size(root_ / names_[i])};
            }
        }
        return std::nullopt;
    }

    std::optional<std::vector<std::uint8_t>> read(std::uint32_t index) const override {
        if (index >= names_.size()) {
            return std::nullopt;
        }
        std::ifstream in(root_ / names_[index], std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root_;
    std::vector<std::wstring> names_;
};

// A skin folder registered as the process's archive for the life of the object.
class SkinFolder {
public:
    SkinFolder() = default;
    ~SkinFolder() { SkinUI::registerResourceArchive(nullptr); }
    SkinFolder(const SkinFolder&) = delete;
    SkinFolder& operator=(const SkinFolder&) = delete;

    void add(const std::string& name, const std::string& bytes) {
        const auto path = folder_.path() / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    void registerArchive() {
        SkinUI::registerResourceArchive(std::make_shared<FolderArchive>(folder_.path()));
    }
    const std::filesystem::path& path() const { return folder_.path(); }

private:
    test_support::TempFolder folder_;
};

// PNG bytes of an image filled with one colour (0xAARRGGBB), optionally with a 1-pixel frame
// of another colour: enough to tell where and how an image was drawn.
inline std::string pngBytes(int width, int height, std::uint32_t fill,
                            std::optional<std::uint32_t> frame = std::nullopt) {
    const SkinUI::CairoSurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    {
        const SkinUI::CairoPtr cr(cairo_create(surface.get()));
        const auto source = [&](std::uint32_t c) {
            cairo_set_source_rgba(cr.get(), ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                                  (c & 0xFF) / 255.0, (c >> 24) / 255.0);
        };
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        if (frame) {
            source(*frame);
            cairo_paint(cr.get());
            cairo_rectangle(cr.get(), 1, 1, width - 2, height - 2);
            cairo_clip(cr.get());
        }
        source(fill);
        cairo_paint(cr.get());
    }
    std::string bytes;
    cairo_surface_write_to_png_stream(
        surface.get(),
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    return bytes;
}

// The pixel at (x, y) as 0xAARRGGBB, un-premultiplied for opaque pixels (exact) and left
// premultiplied otherwise.
inline std::uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
}

// A window that writes down what reaches it: notifications as "type sender wParam", posted
// messages as "message id wParam"; tests plug in a factory, a message handler and Escape.
class RecordingWindow : public SkinUI::Window {
public:
    using Window::Window;

    std::vector<std::wstring> log;
    std::function<std::unique_ptr<SkinUI::Control>(std::wstring_view)> factory;
    std::function<void(const SkinUI::Notification&)> onNotify;
    std::function<bool(SkinUI::Message&)> onMessage;
    bool consumeEscape = false;
    int initCount = 0;

protected:
    void onInit() override { ++initCount; }
    void notify(const SkinUI::Notification& notification) override {
        log.push_back(notification.type + L" " +
                      (notification.sender ? notification.sender->name() : L"-") + L" " +
                      std::to_wstring(notification.wParam));
        if (onNotify) {
            onNotify(notification);
        }
        Window::notify(notification);
    }
    std::unique_ptr<SkinUI::Control> createControl(std::wstring_view name) override {
        return factory ? factory(name) : nullptr;
    }
    bool handleMessage(SkinUI::Message& message) override {
        log.push_back(L"message " + std::to_wstring(message.id) + L" " +
                      std::to_wstring(message.wParam));
        return onMessage ? onMessage(message) : false;
    }
    bool preFilterKey(SkinUI::Key key) override {
        return consumeEscape && key == SkinUI::Key::Escape;
    }
};

}  // namespace toolkit_test
