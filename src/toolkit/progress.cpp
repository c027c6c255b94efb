#include "toolkit/progress.h"

#include <algorithm>

#include "toolkit/attribute_values.h"
#include "toolkit/image.h"

namespace SkinUI {

Control* Progress::getInterface(std::wstring_view className) {
    return className == L"Progress" ? this : Label::getInterface(className);
}

bool Progress::setAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"foreimage") {
        setForeImage(std::wstring(value));
    } else if (name == L"value") {
        setValue(parseInt(value).value_or(0));
    } else {
        return Label::setAttribute(name, value);
    }
    return true;
}

void Progress::setValue(int value) {
    value_ = std::clamp(value, kMinValue, kMaxValue);
    invalidate();
}

void Progress::setForeImage(std::wstring image) {
    foreImage_ = std::move(image);
    invalidate();
}

void Progress::paintStatusImage(PaintContext& context) {
    if (foreImage_.empty() || value_ <= kMinValue) {
        return;
    }
    auto image = parseImageAttribute(foreImage_);
    if (!image) {
        return;
    }
    const int filled = rect().width() * (value_ - kMinValue) / (kMaxValue - kMinValue);
    image->dest = Rect{0, 0, filled, rect().height()};
    drawImage(context.cr, context.images, rect(), *image);
}

}  // namespace SkinUI
