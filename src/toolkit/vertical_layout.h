#pragma once

#include "toolkit/container.h"

namespace SkinUI {

class VerticalLayout : public Container {
public:
    std::wstring_view className() const override { return L"VerticalLayout"; }
    Control* getInterface(std::wstring_view className) override;
    void arrange(const Rect& rect) override;
};

}  // namespace SkinUI
