#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ui/skin_frame.h"

namespace SkinUI {
class Control;
}

// The answers a prompt gives.
inline constexpr std::int32_t kPromptOk = 0;
inline constexpr std::int32_t kPromptCancel = 1;  // also a close that was not a click
inline constexpr std::int32_t kPromptOther = 2;   // in practice the prompt's own close button

// The five prompts, by the layout each is built from.
inline constexpr wchar_t kMessageBox1Wnd[] = L"MessageBox1Wnd.xml";
inline constexpr wchar_t kMessageBox2Wnd[] = L"MessageBox2Wnd.xml";
inline constexpr wchar_t kExitTipWnd[] = L"ExitTipWnd.xml";
inline constexpr wchar_t kNetworkTipWnd[] = L"NetworkTipWnd.xml";
inline constexpr wchar_t kInstalledPathTipWnd[] = L"InstalledPathTipWnd.xml";

// One modal question or message over the main window, drawn from one of the prompt layouts.
class CMessageBoxWnd : public CSkinFrame {
public:
    static constexpr wchar_t kWindowText[] = L"消息框";

    CMessageBoxWnd(SkinUI::Host& host, FrameParams params);

    std::int32_t promptResult() const { return result_; }
    void setTexts(const std::optional<std::wstring>& text,
                  const std::optional<std::wstring>& caption);

protected:
    void onInit() override;
    void notify(const SkinUI::Notification& notification) override;

private:
    std::int32_t result_ = kPromptCancel;
    SkinUI::Control* okButton_ = nullptr;
    SkinUI::Control* cancelButton_ = nullptr;
    SkinUI::Control* textLabel_ = nullptr;
    SkinUI::Control* captionLabel_ = nullptr;
};

// Shows the prompt modally over its owner (which takes no input meanwhile, but keeps handling its
// posted messages) and returns kPromptOk, kPromptCancel or kPromptOther. A text or caption given
// replaces the layout's own.
std::int32_t ShowPrompt(SkinUI::Window& owner, const FrameParams& params,
                        const std::optional<std::wstring>& text = std::nullopt,
                        const std::optional<std::wstring>& caption = std::nullopt);
