#pragma once

#include <memory>
#include <string_view>

#include "toolkit/window.h"

namespace pugi {
class xml_node;
}

namespace SkinUI {

// Turns layout XML into a window's attributes, fonts and control tree. Elements the toolkit
// does not know go to the window's control factory; an element it refuses is skipped with
// everything inside it, and attributes a control does not know are ignored.
class LayoutBuilder {
public:
    static LayoutError build(Window& window, std::string_view xml);

private:
    static std::unique_ptr<Control> makeControl(Window& window, const pugi::xml_node& element);
    static void readFont(Window& window, const pugi::xml_node& element);
};

}  // namespace SkinUI
