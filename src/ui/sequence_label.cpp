#include "ui/sequence_label.h"

namespace SkinUI {

CSequenceLabelUI::~CSequenceLabelUI() {
    stop();
}

Control* CSequenceLabelUI::getInterface(std::wstring_view className) {
    return className == kClassName ? this : Label::getInterface(className);
}

bool CSequenceLabelUI::setAttribute(std::wstring_view name, std::wstring_view value) {
    return animation_.setAttribute(name, value) || Label::setAttribute(name, value);
}

void CSequenceLabelUI::init() {
    Label::init();
    animation_.init(*this);
}

void CSequenceLabelUI::doEvent(const ControlEvent& event) {
    Label::doEvent(event);
    if (event.type == ControlEvent::Type::Timer) {
        animation_.tick(*this);
    }
}

}  // namespace SkinUI
