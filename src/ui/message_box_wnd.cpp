#include "ui/message_box_wnd.h"

#include "toolkit/control.h"

CMessageBoxWnd::CMessageBoxWnd(SkinUI::Host& host, FrameParams params)
    : CSkinFrame(host, std::move(params)) {}

void CMessageBoxWnd::setTexts(const std::optional<std::wstring>& text,
                              const std::optional<std::wstring>& caption) {
    // Set as plain text: a package's message is shown as it came, never interpreted.
    if (text && textLabel_ != nullptr) {
        textLabel_->setText(*text);
    }
    if (caption && captionLabel_ != nullptr) {
        captionLabel_->setText(*caption);
    }
}

void CMessageBoxWnd::onInit() {
    CSkinFrame::onInit();
    // Message boxes have no buttons of their own and tip windows no labels to fill: each may be
    // missing.
    okButton_ = findControl(L"okBtn");
    cancelButton_ = findControl(L"cancelBtn");
    textLabel_ = findControl(L"textLbl");
    captionLabel_ = findControl(L"captionLbl");
}

void CMessageBoxWnd::notify(const SkinUI::Notification& notification) {
    if (notification.type != L"click") {
        CSkinFrame::notify(notification);
        return;
    }
    // The close request is posted, so the result is in place before the modal run ends.
    if (notification.sender != nullptr && notification.sender == okButton_) {
        close();
        result_ = kPromptOk;
    } else if (notification.sender != nullptr && notification.sender == cancelButton_) {
        close();
        result_ = kPromptCancel;
    } else {
        CSkinFrame::notify(notification);
        result_ = kPromptOther;
    }
}

std::int32_t ShowPrompt(SkinUI::Window& owner, const FrameParams& params,
                        const std::optional<std::wstring>& text,
                        const std::optional<std::wstring>& caption) {
    CMessageBoxWnd prompt(owner.host(), params);
    if (!prompt.createFrame(&owner)) {
        return prompt.promptResult();
    }
    prompt.setTitle(CMessageBoxWnd::kWindowText);
    prompt.setTexts(text, caption);
    prompt.centre();
    prompt.showModal();
    return prompt.promptResult();
}
