#include "toolkit/container.h"

#include <algorithm>

#include "toolkit/window.h"

namespace SkinUI {

Control* Container::getInterface(std::wstring_view className) {
    return className == L"Container" ? this : Control::getInterface(className);
}

Control* Container::add(std::unique_ptr<Control> child) {
    Control* added = child.get();
    children_.push_back(std::move(child));
    added->attach(this, window());
    needLayout();
    return added;
}

Control* Container::itemAt(int index) const {
    return index >= 0 && index < count() ? children_[static_cast<std::size_t>(index)].get()
                                         : nullptr;
}

int Container::indexOf(const Control* child) const {
    for (int i = 0; i < count(); ++i) {
        if (children_[static_cast<std::size_t>(i)].get() == child) {
            return i;
        }
    }
    return -1;
}

bool Container::isShown(int index) const {
    return itemAt(index)->isVisible();
}

void Container::arrange(const Rect& rect) {
    Control::arrange(rect);
    for (int i = 0; i < count(); ++i) {
        if (isShown(i)) {
            Control& child = *itemAt(i);
            const Rect& p = child.padding();
            child.arrange({rect.left + p.left, rect.top + p.top, rect.right - p.right,
                           rect.bottom - p.bottom});
        }
    }
}

void Container::paint(PaintContext& context) {
    if (!isVisible() || rect().empty()) {
        return;
    }
    Control::paint(context);
    cairo_save(context.cr);
    cairo_rectangle(context.cr, rect().left, rect().top, rect().width(), rect().height());
    cairo_clip(context.cr);
    for (int i = 0; i < count(); ++i) {
        if (isShown(i)) {
            itemAt(i)->paint(context);
        }
    }
    cairo_restore(context.cr);
}

Control* Container::hitTest(Point point) {
    if (!isVisible() || !rect().contains(point)) {
        return nullptr;
    }
    for (int i = count() - 1; i >= 0; --i) {
        if (isShown(i)) {
            if (Control* hit = itemAt(i)->hitTest(point)) {
                return hit;
            }
        }
    }
    return takesMouse() ? this : nullptr;
}

void Container::forEach(const std::function<void(Control&)>& visit) {
    visit(*this);
    for (const auto& child : children_) {
        child->forEach(visit);
    }
}

void Container::attach(Container* parent, Window* window) {
    Control::attach(parent, window);
    for (const auto& child : children_) {
        child->attach(this, window);
    }
}

namespace {

Rect placeInSlot(const Control& child, const Rect& slot, bool vertical) {
    const Rect& p = child.padding();
    Rect placed{slot.left + p.left, slot.top + p.top, slot.right - p.right, slot.bottom - p.bottom};
    // Across the layout direction a fixed size is kept (left/top aligned) unless it does not fit.
    if (vertical && child.fixedWidth() > 0) {
        placed.right = std::min(placed.right, placed.left + child.fixedWidth());
    }
    if (!vertical && child.fixedHeight() > 0) {
        placed.bottom = std::min(placed.bottom, placed.top + child.fixedHeight());
    }
    placed.right = std::max(placed.right, placed.left);
    placed.bottom = std::max(placed.bottom, placed.top);
    return placed;
}

}  // namespace

void arrangeInLine(Container& container, const Rect& rect, bool vertical) {
    const auto along = [vertical](const Control& child) {
        return vertical ? child.fixedHeight() : child.fixedWidth();
    };
    const auto paddingAlong = [vertical](const Control& child) {
        const Rect& p = child.padding();
        return vertical ? p.top + p.bottom : p.left + p.right;
    };
    int fixedTotal = 0;
    int flexible = 0;
    for (int i = 0; i < container.count(); ++i) {
        const Control& child = *container.itemAt(i);
        if (!child.isVisible()) {
            continue;
        }
        fixedTotal += along(child) + paddingAlong(child);
        flexible += along(child) > 0 ? 0 : 1;
    }
    const int extent = vertical ? rect.height() : rect.width();
    const int room = std::max(extent - fixedTotal, 0);
    int sharesLeft = flexible;
    int roomLeft = room;
    int cursor = vertical ? rect.top : rect.left;
    for (int i = 0; i < container.count(); ++i) {
        Control& child = *container.itemAt(i);
        if (!child.isVisible()) {
            continue;
        }
        int size = along(child);
        if (size <= 0) {
            // The last flexible child takes the remainder so the line is filled exactly.
            size = sharesLeft == 1 ? roomLeft : room / flexible;
            roomLeft -= size;
            --sharesLeft;
        }
        const int span = size + paddingAlong(child);
        const Rect slot = vertical ? Rect{rect.left, cursor, rect.right, cursor + span}
                                   : Rect{cursor, rect.top, cursor + span, rect.bottom};
        child.arrange(placeInSlot(child, slot, vertical));
        cursor += span;
    }
}

}  // namespace SkinUI
