#include <numbers>

#include "toolkit/window.h"

#include "toolkit/layout_builder.h"
#include "toolkit/resource_archive.h"

namespace SkinUI {

namespace {
constexpr double kPi = std::numbers::pi;
}  // namespace

namespace {

constexpr std::uint32_t kPumpDurationMs = 100;

Control* findIn(Control& control, std::wstring_view name) {
    Control* found = nullptr;
    control.forEach([&](Control& each) {
        if (found == nullptr && each.name() == name) {
            found = &each;
        }
    });
    return found;
}

}  // namespace

Window::Window(Host& host) : host_(host), id_(host.newWindowId()) {}

Window::~Window() {
    if (alive_) {
        host_.unregisterWindow(*this);
        host_.windowDestroyed(*this);
    }
    // Controls report their destruction back here; the members they touch are still alive.
    root_.reset();
}

bool Window::create(std::wstring_view layoutFile, Window* owner) {
    owner_ = owner;
    const auto archive = registeredResourceArchive();
    const auto entry = archive ? archive->find(layoutFile) : std::nullopt;
    if (!entry) {
        layoutError_ = LayoutError::NotFound;
        return false;
    }
    if (entry->size > kMaxLayoutBytes) {
        layoutError_ = LayoutError::TooLarge;
        return false;
    }
    const auto bytes = archive->read(entry->index);
    if (!bytes) {
        layoutError_ = LayoutError::NotFound;
        return false;
    }
    return createFromXml(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), owner);
}

bool Window::createFromXml(std::string_view xml, Window* owner) {
    owner_ = owner;
    if (xml.size() > kMaxLayoutBytes) {
        layoutError_ = LayoutError::TooLarge;
        return false;
    }
    if (xml.empty()) {
        layoutError_ = LayoutError::Empty;
        return false;
    }
    layoutError_ = LayoutBuilder::build(*this, xml);
    if (layoutError_ != LayoutError::None) {
        root_.reset();
        return false;
    }
    alive_ = true;
    host_.registerWindow(*this);
    host_.windowCreated(*this);
    root_->attach(nullptr, this);
    root_->forEach([](Control& control) { control.init(); });
    layoutDirty_ = true;
    onInit();
    return true;
}

void Window::show(bool show) {
    if (alive_) {
        host_.showWindow(*this, show);
    }
}

void Window::centre() {
    Rect area{0, 0, 0, 0};
    if (owner_ != nullptr && owner_->isAlive()) {
        const Point at = owner_->position();
        area = {at.x, at.y, at.x + owner_->size().width, at.y + owner_->size().height};
    } else {
        const Size screen = host_.screenSize();
        area = {0, 0, screen.width, screen.height};
    }
    setPosition({area.left + (area.width() - size_.width) / 2,
                 area.top + (area.height() - size_.height) / 2});
}

void Window::setPosition(Point topLeft) {
    position_ = topLeft;
    if (alive_) {
        host_.moveWindow(*this, topLeft);
    }
}

int Window::showModal() {
    if (!alive_) {
        return result_;
    }
    Window* owner = owner_ != nullptr && owner_->isAlive() ? owner_ : nullptr;
    const bool ownerWasEnabled = owner != nullptr && owner->enabled_;
    if (owner != nullptr) {
        owner->enabled_ = false;
    }
    show(true);
    host_.runLoop([this] { return alive_; });
    if (owner != nullptr && owner->isAlive()) {
        owner->enabled_ = ownerWasEnabled;
        host_.bringToFront(*owner);
    }
    return result_;
}

void Window::minimize() {
    if (alive_) {
        host_.minimize(*this);
    }
}

void Window::bringToFront() {
    if (alive_) {
        host_.bringToFront(*this);
    }
}

void Window::setTitle(std::wstring title) {
    title_ = std::move(title);
    if (alive_) {
        host_.windowDecorationChanged(*this);
    }
}

bool Window::setIcon(const std::vector<std::uint8_t>& png) {
    icon_ = decodePng(png);
    if (alive_) {
        host_.windowDecorationChanged(*this);
    }
    return icon_ != nullptr;
}

void Window::setShadow(std::optional<WindowShadow> shadow) {
    shadow_ = shadow;
    if (alive_) {
        host_.windowDecorationChanged(*this);
    }
}

void Window::close(int result) {
    postMessage(kCloseMessage, static_cast<std::uintptr_t>(result));
}

void Window::destroy(int result) {
    if (!alive_) {
        return;
    }
    result_ = result;
    alive_ = false;
    setHot(nullptr);
    pushed_ = nullptr;
    focused_ = nullptr;
    if (root_) {
        root_->forEach([this](Control& control) { host_.killTimers(control); });
    }
    host_.unregisterWindow(*this);
    host_.windowDestroyed(*this);
}

Control* Window::findControl(std::wstring_view name) const {
    return root_ ? findIn(*root_, name) : nullptr;
}

std::optional<std::wstring> Window::customAttribute(std::wstring_view name) const {
    const auto found = customAttributes_.find(name);
    if (found == customAttributes_.end()) {
        return std::nullopt;
    }
    return found->second;
}

const FontSpec& Window::font(int id) const {
    static const FontSpec kFallbackFont;
    if (const auto found = fonts_.find(id); found != fonts_.end()) {
        return found->second;
    }
    if (const auto found = fonts_.find(defaultFont_); found != fonts_.end()) {
        return found->second;
    }
    return kFallbackFont;
}

void Window::addFont(int id, FontSpec font, bool isDefault) {
    fonts_[id] = std::move(font);
    if (isDefault || defaultFont_ < 0) {
        defaultFont_ = id;
    }
}

int Window::measureTextWidth(std::wstring_view text, int fontId) const {
    return SkinUI::measureTextWidth(text, font(fontId));
}

void Window::sendNotify(Control* sender, std::wstring type, std::uintptr_t wParam,
                        std::intptr_t lParam, bool async) {
    Notification notification{std::move(type), sender, host_.nowMs(), wParam, lParam};
    if (async) {
        handle().postNotification(std::move(notification));
    } else if (alive_) {
        notify(notification);
    }
}

void Window::postMessage(std::uint32_t id, std::uintptr_t wParam, std::intptr_t lParam,
                         std::unique_ptr<MessagePayload> payload) const {
    handle().postMessage(id, wParam, lParam, std::move(payload));
}

bool Window::setTimer(Control& control, std::uint32_t id, std::uint32_t periodMs) {
    if (!alive_) {
        return false;
    }
    host_.setTimer(*this, control, id, periodMs);
    return true;
}

void Window::killTimer(Control& control, std::uint32_t id) {
    host_.killTimer(control, id);
}

void Window::invalidate() {
    if (alive_) {
        host_.invalidate(*this);
    }
}

void Window::updateLayout() {
    if (layoutDirty_ && root_) {
        layoutDirty_ = false;
        root_->arrange({0, 0, size_.width, size_.height});
    }
}

void Window::paint(cairo_t* cr) {
    updateLayout();
    if (!root_) {
        return;
    }
    cairo_save(cr);
    // A corner ellipse narrower than two pixels is a square corner.
    if (roundCorner_.width >= 2 && roundCorner_.height >= 2) {
        const double rx = roundCorner_.width / 2.0;
        const double ry = roundCorner_.height / 2.0;
        cairo_new_path(cr);
        cairo_save(cr);
        cairo_scale(cr, rx, ry);
        const double w = size_.width / rx;
        const double h = size_.height / ry;
        cairo_arc(cr, w - 1, 1, 1, -kPi / 2, 0);
        cairo_arc(cr, w - 1, h - 1, 1, 0, kPi / 2);
        cairo_arc(cr, 1, h - 1, 1, kPi / 2, kPi);
        cairo_arc(cr, 1, 1, 1, kPi, 3 * kPi / 2);
        cairo_close_path(cr);
        cairo_restore(cr);
        cairo_clip(cr);
    }
    PaintContext context{cr, images_, [this](int id) -> const FontSpec& { return font(id); }};
    root_->paint(context);
    cairo_restore(cr);
}

void Window::setFocus(Control* control) {
    if (control == focused_) {
        return;
    }
    Control* previous = focused_;
    focused_ = control;
    if (previous != nullptr) {
        previous->doEvent(ControlEvent(ControlEvent::Type::KillFocus));
    }
    if (control != nullptr) {
        control->doEvent(ControlEvent(ControlEvent::Type::SetFocus));
    }
}

bool Window::inCaption(Point point) {
    updateLayout();
    const Rect strip{caption_.left, caption_.top,
                     caption_.right > 0 ? caption_.right : size_.width - (-caption_.right),
                     caption_.bottom};
    if (!strip.contains(point)) {
        return false;
    }
    return root_ == nullptr || root_->hitTest(point) == nullptr;
}

void Window::setHot(Control* control) {
    if (control == hot_) {
        return;
    }
    Control* previous = hot_;
    hot_ = control;
    if (previous != nullptr) {
        previous->doEvent(ControlEvent(ControlEvent::Type::MouseLeave));
    }
    if (control != nullptr) {
        control->doEvent(ControlEvent(ControlEvent::Type::MouseEnter));
    }
}

void Window::mouseMove(Point point) {
    if (!alive_ || !enabled_ || !root_) {
        return;
    }
    updateLayout();
    Control* under = root_->hitTest(point);
    // While a button is held the pressed control keeps the hot state only under the pointer.
    setHot(pushed_ != nullptr && under != pushed_ ? nullptr : under);
}

void Window::mouseLeave() {
    setHot(nullptr);
}

void Window::mouseDown(Point point) {
    if (!alive_ || !enabled_ || !root_) {
        return;
    }
    mouseMove(point);
    pushed_ = hot_;
    if (pushed_ != nullptr) {
        if (pushed_->takesFocus()) {
            setFocus(pushed_);
        }
        pushed_->doEvent(ControlEvent(ControlEvent::Type::ButtonDown, point));
    }
}

void Window::mouseUp(Point point) {
    if (!alive_ || !enabled_) {
        pushed_ = nullptr;
        return;
    }
    Control* pressed = pushed_;
    pushed_ = nullptr;
    if (pressed != nullptr) {
        pressed->doEvent(ControlEvent(ControlEvent::Type::ButtonUp, point));
    }
    if (alive_) {
        mouseMove(point);
    }
}

void Window::keyDown(Key key) {
    if (!alive_ || !enabled_) {
        return;
    }
    if (preFilterKey(key)) {
        return;
    }
    if (key == Key::Escape) {
        close(kEscapeResult);
        return;
    }
    if (focused_ != nullptr) {
        ControlEvent event(ControlEvent::Type::KeyDown);
        event.key = key;
        focused_->doEvent(event);
    }
}

void Window::textInput(std::wstring_view text) {
    if (!alive_ || !enabled_ || focused_ == nullptr) {
        return;
    }
    ControlEvent event(ControlEvent::Type::Char);
    event.text = text;
    focused_->doEvent(event);
}

void Window::dispatchPosted(PostedItem& item) {
    if (!alive_) {
        return;
    }
    if (item.kind == PostedItem::Kind::Notification) {
        notify(item.notification);
        return;
    }
    if (!handleMessage(item.message) && item.message.id == kCloseMessage) {
        destroy(static_cast<int>(item.message.wParam));
    }
}

void Window::timerFired(Control& control, std::uint32_t id) {
    ControlEvent event(ControlEvent::Type::Timer);
    event.timerId = id;
    control.doEvent(event);
}

void Window::controlDestroyed(Control& control) {
    host_.killTimers(control);
    if (hot_ == &control) {
        hot_ = nullptr;
    }
    if (pushed_ == &control) {
        pushed_ = nullptr;
    }
    if (focused_ == &control) {
        focused_ = nullptr;
    }
}

void Window::notify(const Notification& notification) {
    if (notification.type != L"click" || notification.sender == nullptr) {
        return;
    }
    if (notification.sender->name() == L"closebtn") {
        close(kCloseButtonResult);
    } else if (notification.sender->name() == L"minbtn") {
        minimize();
    }
}

std::unique_ptr<Control> Window::createControl(std::wstring_view) {
    return nullptr;
}

bool Window::handleMessage(Message&) {
    return false;
}

bool Window::preFilterKey(Key) {
    return false;
}

bool pumpMessages(Host& host, const Window* window) {
    return host.pump(kPumpDurationMs, [window] { return window == nullptr || window->isAlive(); });
}

}  // namespace SkinUI
