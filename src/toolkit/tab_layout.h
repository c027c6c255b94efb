#pragma once

#include "toolkit/container.h"

namespace SkinUI {

// Shows one child (page) at a time over its whole rectangle.
class TabLayout : public Container {
public:
    std::wstring_view className() const override { return L"TabLayout"; }
    Control* getInterface(std::wstring_view className) override;
    bool setAttribute(std::wstring_view name, std::wstring_view value) override;

    int currentSel() const { return selected_; }
    // False for an index without a page. Selecting another page raises "tabselect" (wParam the
    // new page, lParam the old one) when asked to; selecting the shown page changes nothing.
    bool selectItem(int index, bool notify = true);

protected:
    bool isShown(int index) const override;

private:
    int selected_ = 0;
};

}  // namespace SkinUI
