#include "ui/skin_frame.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/embedded_resources.h"
#include "platform/text_encoding.h"
#include "toolkit/attribute_values.h"
#include "ui/skin_archive.h"
#include "ui/skin_resources.h"

namespace {

constexpr int kHexBase = 16;

// "#26003B76" or "26003B76": the leading "#" is optional, the rest is read as hex; what does not
// read as hex gives 0.
SkinUI::Color hexColour(std::wstring_view text) {
    if (!text.empty() && text.front() == L'#') {
        text.remove_prefix(1);
    }
    const std::wstring digits(text);
    return static_cast<SkinUI::Color>(std::wcstoul(digits.c_str(), nullptr, kHexBase));
}

}  // namespace

FrameParams skinFrameParams(std::wstring skinFile) {
    FrameParams params;
    const std::size_t dot = skinFile.rfind(L'.');
    params.windowClassName = skinFile.substr(0, dot);
    params.skinFile = std::move(skinFile);
    return params;
}

CSkinFrame::CSkinFrame(SkinUI::Host& host, FrameParams params)
    : Window(host), params_(std::move(params)) {}

bool CSkinFrame::createFrame(SkinUI::Window* owner) {
    if (params_.resourceKind == FrameParams::kResourceKindArchive && !ui::prepareSkinArchive()) {
        return false;
    }
    if (!create(params_.skinFile, owner)) {
        host().showSystemMessage(nullptr, kLoadFailedText, kLoadFailedCaption,
                                 SkinUI::MessageIcon::Error);
        std::fflush(nullptr);
        std::_Exit(kLoadFailedExitCode);
    }
    if (const auto icon = platform::findEmbeddedResource(ui::kWindowIconResourceType,
                                                         ui::kWindowIconResourceId)) {
        setIcon(std::vector<std::uint8_t>(icon->begin(), icon->end()));
    }
    return true;
}

void CSkinFrame::onInit() {
    // The hosts make every window without a system frame or maximise box, so the style needs no
    // change here; only the shadow comes from the layout.
    const auto attribute = [this](std::wstring_view name) { return customAttribute(name); };
    const auto showShadow = attribute(L"showshadow");
    if (!showShadow || !platform::equalsNoCase(*showShadow, L"true")) {
        return;
    }
    CDropShadow shadow;
    if (const auto image = attribute(L"shadowimage")) {
        shadow.image = *image;
        shadow.imageCorner =
            SkinUI::parseRect(attribute(L"shadowcorner").value_or(L"")).value_or(SkinUI::Rect{});
        shadow.holeOffset = SkinUI::parseRect(attribute(L"shadowholeoffset").value_or(L""))
                                .value_or(SkinUI::Rect{});
    }
    const auto number = [&attribute](std::wstring_view name, int& field) {
        if (const auto text = attribute(name)) {
            field = SkinUI::parseInt(*text).value_or(0);
        }
    };
    number(L"shadowsize", shadow.size);
    number(L"shadowsharpness", shadow.sharpness);
    number(L"shadowdarkness", shadow.darkness);
    if (const auto position = attribute(L"shadowposition")) {
        const SkinUI::Size offset = SkinUI::parseSize(*position).value_or(SkinUI::Size{});
        shadow.position = {offset.width, offset.height};
    }
    if (const auto colour = attribute(L"shadowcolor")) {
        shadow.color = hexColour(*colour);
    }
    dropShadow_ = shadow;
    // The hosts draw colour shadows; an image shadow is kept for the layout's sake only.
    if (shadow.image.empty()) {
        setShadow(SkinUI::WindowShadow{shadow.size, shadow.sharpness, shadow.darkness,
                                       shadow.position, shadow.color});
    }
}

bool CSkinFrame::preFilterKey(SkinUI::Key key) {
    return key == SkinUI::Key::Escape || Window::preFilterKey(key);
}
