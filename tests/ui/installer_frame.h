#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "toolkit/host.h"
#include "ui/sequence_control_factory.h"
#include "ui/skin_frame.h"

namespace ui_test {

// An installer window as the main window and the prompts make them: the frame for a layout of
// the skin, plus the factory for the animated controls.
class InstallerFrame : public CSkinFrame {
public:
    InstallerFrame(SkinUI::Host& host, const std::wstring& layout)
        : CSkinFrame(host, skinFrameParams(layout)) {}

protected:
    std::unique_ptr<SkinUI::Control> createControl(std::wstring_view elementName) override {
        return createSequenceControl(elementName);
    }
};

}  // namespace ui_test
