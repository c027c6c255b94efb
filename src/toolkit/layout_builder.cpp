#include "toolkit/layout_builder.h"

#include <pugixml.hpp>

#include "platform/text_encoding.h"
#include "toolkit/attribute_values.h"
#include "toolkit/button.h"
#include "toolkit/check_box.h"
#include "toolkit/edit.h"
#include "toolkit/horizontal_layout.h"
#include "toolkit/label.h"
#include "toolkit/progress.h"
#include "toolkit/tab_layout.h"
#include "toolkit/vertical_layout.h"

namespace SkinUI {

namespace {

std::wstring wide(const char* utf8) {
    return platform::wideFromUtf8(utf8);
}

std::unique_ptr<Control> makeBuiltIn(std::string_view element) {
    if (element == "Control") {
        return std::make_unique<Control>();
    }
    if (element == "Container") {
        return std::make_unique<Container>();
    }
    if (element == "VerticalLayout") {
        return std::make_unique<VerticalLayout>();
    }
    if (element == "HorizontalLayout") {
        return std::make_unique<HorizontalLayout>();
    }
    if (element == "TabLayout") {
        return std::make_unique<TabLayout>();
    }
    if (element == "Label") {
        return std::make_unique<Label>();
    }
    if (element == "Button") {
        return std::make_unique<Button>();
    }
    if (element == "CheckBox") {
        return std::make_unique<CheckBox>();
    }
    if (element == "Edit") {
        return std::make_unique<Edit>();
    }
    if (element == "Progress") {
        return std::make_unique<Progress>();
    }
    return nullptr;
}

}  // namespace

LayoutError LayoutBuilder::build(Window& window, std::string_view xml) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        return LayoutError::NotXml;
    }
    const pugi::xml_node root = document.document_element();
    if (std::string_view(root.name()) != "Window") {
        return LayoutError::NoRoot;
    }
    for (const pugi::xml_attribute& attribute : root.attributes()) {
        const std::string_view name = attribute.name();
        const std::wstring value = wide(attribute.value());
        if (name == "size") {
            window.size_ = parseSize(value).value_or(Size{});
        } else if (name == "caption") {
            window.caption_ = parseRect(value).value_or(Rect{});
        } else if (name == "roundcorner") {
            window.roundCorner_ = parseSize(value).value_or(Size{});
        } else {
            window.customAttributes_[wide(attribute.name())] = value;
        }
    }
    for (const pugi::xml_node& child : root.children()) {
        if (child.type() != pugi::node_element) {
            continue;
        }
        if (std::string_view(child.name()) == "Font") {
            readFont(window, child);
        } else if (!window.root_) {
            window.root_ = makeControl(window, child);
        }
    }
    return window.root_ ? LayoutError::None : LayoutError::NoRoot;
}

std::unique_ptr<Control> LayoutBuilder::makeControl(Window& window, const pugi::xml_node& element) {
    std::unique_ptr<Control> control = makeBuiltIn(element.name());
    if (!control) {
        control = window.createControl(wide(element.name()));
    }
    if (!control) {
        return nullptr;
    }
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        control->setAttribute(wide(attribute.name()), wide(attribute.value()));
    }
    if (auto* container = dynamic_cast<Container*>(control.get())) {
        for (const pugi::xml_node& child : element.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            if (auto built = makeControl(window, child)) {
                container->add(std::move(built));
            }
        }
    }
    return control;
}

void LayoutBuilder::readFont(Window& window, const pugi::xml_node& element) {
    FontSpec font;
    font.family = wide(element.attribute("name").value());
    font.sizePx = parseInt(wide(element.attribute("size").value())).value_or(12);
    font.bold = parseBool(wide(element.attribute("bold").value()));
    font.underline = parseBool(wide(element.attribute("underline").value()));
    font.italic = parseBool(wide(element.attribute("italic").value()));
    const int id = parseInt(wide(element.attribute("id").value())).value_or(0);
    window.addFont(id, std::move(font), parseBool(wide(element.attribute("default").value())));
}

}  // namespace SkinUI
