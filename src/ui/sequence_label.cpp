#include "ui/sequence_label.h"

namespace SkinUI {

Control* CSequenceLabelUI::getInterface(std::wstring_view className) {
    return className == kClassName ? this : Label::getInterface(className);
}

}  // namespace SkinUI
