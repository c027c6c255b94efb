#include "ui/sequence_control_factory.h"

#include "platform/text_encoding.h"
#include "ui/sequence_button.h"
#include "ui/sequence_label.h"

std::unique_ptr<SkinUI::Control> createSequenceControl(std::wstring_view elementName) {
    if (platform::equalsNoCase(elementName, SkinUI::CSequenceButtonUI::kClassName)) {
        return std::make_unique<SkinUI::CSequenceButtonUI>();
    }
    if (platform::equalsNoCase(elementName, SkinUI::CSequenceLabelUI::kClassName)) {
        return std::make_unique<SkinUI::CSequenceLabelUI>();
    }
    return nullptr;
}
