#pragma once

#include <memory>
#include <vector>

#include "toolkit/control.h"

namespace SkinUI {

// A control that owns others and paints them over itself, clipped to its rectangle. Placement
// of the children is left to the layouts deriving from it: a plain container gives every
// visible child its own whole rectangle minus the child's padding.
class Container : public Control {
public:
    std::wstring_view className() const override { return L"Container"; }
    Control* getInterface(std::wstring_view className) override;

    Control* add(std::unique_ptr<Control> child);
    int count() const { return static_cast<int>(children_.size()); }
    Control* itemAt(int index) const;
    int indexOf(const Control* child) const;

    void arrange(const Rect& rect) override;
    void paint(PaintContext& context) override;
    Control* hitTest(Point point) override;
    void forEach(const std::function<void(Control&)>& visit) override;
    void attach(Container* parent, Window* window) override;

protected:
    // Children that take part in layout and painting.
    virtual bool isShown(int index) const;

private:
    std::vector<std::unique_ptr<Control>> children_;
};

// Stacks the shown children of a container top to bottom (vertical) or left to right: fixed
// sizes and paddings first, then an equal share of what is left for each child without a fixed
// size along that direction.
void arrangeInLine(Container& container, const Rect& rect, bool vertical);

}  // namespace SkinUI
