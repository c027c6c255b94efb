#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "toolkit/geometry.h"
#include "toolkit/host.h"
#include "toolkit/window.h"

// Where a frame's layout and images come from. Every window of the installer reads them from the
// skin archive the executable carries (kind 4, resource 147).
struct FrameParams {
    static constexpr std::int32_t kResourceKindArchive = 4;

    std::int32_t resourceKind = kResourceKindArchive;
    std::int32_t resourceId = 147;
    std::wstring skinFolder;
    std::wstring skinFile;         // the layout, e.g. "MainWnd.xml"
    std::wstring windowClassName;  // the layout's name up to its last ".", e.g. "MainWnd"
};

// The parameters of an installer window built from this layout file.
FrameParams skinFrameParams(std::wstring skinFile);

// The shadow a layout asks for through its custom window attributes: a colour shadow (all
// installer layouts), or an image shadow with nine-grid corners and a hole offset.
struct CDropShadow {
    std::wstring image;
    SkinUI::Rect imageCorner;
    SkinUI::Rect holeOffset;
    int size = 0;
    int sharpness = 0;
    int darkness = 0;
    SkinUI::Point position;
    SkinUI::Color color = 0;
};

// The base of every installer window: binds the window to its layout in the skin archive, gives
// it the installer's icon and the drop shadow its layout describes, and keeps Escape from closing
// it.
class CSkinFrame : public SkinUI::Window {
public:
    // The fatal message when a layout cannot be loaded; the process then ends with exit code 1.
    static constexpr wchar_t kLoadFailedText[] = L"加载资源文件失败";
    static constexpr wchar_t kLoadFailedCaption[] = L"SkinUI";
    static constexpr int kLoadFailedExitCode = 1;

    CSkinFrame(SkinUI::Host& host, FrameParams params);

    const std::wstring& windowClassName() const { return params_.windowClassName; }
    const std::wstring& skinFolder() const { return params_.skinFolder; }
    const std::wstring& skinFile() const { return params_.skinFile; }
    std::int32_t resourceKind() const { return params_.resourceKind; }
    std::int32_t resourceId() const { return params_.resourceId; }

    // Registers the skin archive (the first window decodes it; later ones reuse it) and builds
    // the window from its layout. Without a skin resource the window is not created and nothing
    // is shown (false). A layout that cannot be loaded shows the fatal message and ends the
    // process.
    bool createFrame(SkinUI::Window* owner = nullptr);

    const std::optional<CDropShadow>& dropShadow() const { return dropShadow_; }

protected:
    // Derived windows call this first from their own initialisation.
    void onInit() override;
    bool preFilterKey(SkinUI::Key key) override;

private:
    FrameParams params_;
    std::optional<CDropShadow> dropShadow_;
};
