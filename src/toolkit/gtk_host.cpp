#include "toolkit/gtk_host.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/gdk_startup.h"
#include "platform/path.h"
#include "platform/text_encoding.h"
#include "toolkit/edit.h"
#include "toolkit/tab_layout.h"
#include "toolkit/window.h"

namespace SkinUI {

namespace {

struct HostSource {
    GSource source;
    GtkHost* host;
};

// The posted queue is a source that is ready whenever something is queued; posting threads
// wake the context, so no polling interval is involved.
gboolean postedPrepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return !reinterpret_cast<HostSource*>(source)->host->queue()->empty();
}

gboolean postedCheck(GSource* source) {
    return !reinterpret_cast<HostSource*>(source)->host->queue()->empty();
}

gboolean postedDispatch(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<HostSource*>(source)->host->dispatchOne();
    return G_SOURCE_CONTINUE;
}

GSourceFuncs kPostedFuncs = {postedPrepare, postedCheck, postedDispatch, nullptr, nullptr, nullptr};

// One timer fires per dispatch so that posted items due meanwhile are not starved.
gboolean timerDispatch(GSource* source, GSourceFunc, gpointer) {
    GtkHost* host = reinterpret_cast<HostSource*>(source)->host;
    g_source_set_ready_time(source, -1);
    host->fireDueTimer(host->nowMs());
    return G_SOURCE_CONTINUE;
}

GSourceFuncs kTimerFuncs = {nullptr, nullptr, timerDispatch, nullptr, nullptr, nullptr};

std::string utf8(std::wstring_view text) {
    return platform::utf8FromWide(text);
}

// Shown on screen: visible itself and along its parents, and on the selected page of every tab
// layout above it.
bool effectivelyShown(Control& control) {
    for (Control* at = &control; at != nullptr; at = static_cast<Control*>(at->parent())) {
        if (!at->isVisible()) {
            return false;
        }
        auto* tabs = dynamic_cast<TabLayout*>(static_cast<Control*>(at->parent()));
        if (tabs != nullptr && tabs->itemAt(tabs->currentSel()) != at) {
            return false;
        }
    }
    return true;
}

Key keyOf(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Escape:
            return Key::Escape;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return Key::Return;
        case GDK_KEY_Tab:
            return Key::Tab;
        case GDK_KEY_BackSpace:
            return Key::Backspace;
        case GDK_KEY_Delete:
            return Key::Delete;
        case GDK_KEY_Left:
            return Key::Left;
        case GDK_KEY_Right:
            return Key::Right;
        case GDK_KEY_Home:
            return Key::Home;
        case GDK_KEY_End:
            return Key::End;
        default:
            return Key::Other;
    }
}

}  // namespace

struct EntryBinding {
    GtkHost::NativeWindow* native = nullptr;
    Edit* edit = nullptr;
    GtkWidget* widget = nullptr;
    GtkCssProvider* css = nullptr;
};

struct GtkHost::NativeWindow {
    GtkHost* host = nullptr;
    Window* window = nullptr;
    GtkWidget* toplevel = nullptr;
    GtkWidget* fixed = nullptr;
    GtkWidget* area = nullptr;
    bool translucent = false;
    int margin = 0;
    bool syncing = false;
    std::vector<std::unique_ptr<EntryBinding>> entries;

    ~NativeWindow() {
        for (const auto& entry : entries) {
            g_object_unref(entry->css);
        }
        if (toplevel != nullptr) {
            gtk_widget_destroy(toplevel);
        }
    }
    Point toWindow(double x, double y) const {
        return {static_cast<int>(x) - margin, static_cast<int>(y) - margin};
    }
};

namespace {

using NativeWindow = GtkHost::NativeWindow;

void drawShadow(cairo_t* cr, const NativeWindow& native) {
    const auto& shadow = native.window->shadow();
    if (!shadow || !native.translucent || shadow->sizePx <= 0) {
        return;
    }
    const Size size = native.window->size();
    const Color color = shadow->color;
    // Nested translucent rings fading outwards; darker and tighter with more darkness and
    // sharpness. The window itself covers the middle.
    const double strength = std::clamp(shadow->darkness, 0, 255) / 255.0;
    const double falloff = 1.0 + std::clamp(shadow->sharpness, 0, 255) / 32.0;
    for (int ring = shadow->sizePx; ring >= 1; --ring) {
        const double fade =
            std::pow(1.0 - static_cast<double>(ring) / (shadow->sizePx + 1), falloff);
        cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                              (color & 0xFF) / 255.0, strength * fade / shadow->sizePx * 2);
        cairo_rectangle(cr, native.margin + shadow->offset.x - ring,
                        native.margin + shadow->offset.y - ring, size.width + 2 * ring,
                        size.height + 2 * ring);
        cairo_fill(cr);
    }
}

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* native = static_cast<NativeWindow*>(data);
    if (native->translucent) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        drawShadow(cr, *native);
    }
    cairo_save(cr);
    cairo_translate(cr, native->margin, native->margin);
    native->window->paint(cr);
    cairo_restore(cr);
    native->host->windowPainted(*native->window);
    return FALSE;
}

gboolean onButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* native = static_cast<NativeWindow*>(data);
    if (event->button != 1 || event->type != GDK_BUTTON_PRESS) {
        return FALSE;
    }
    const Point at = native->toWindow(event->x, event->y);
    Window& window = *native->window;
    if (window.isEnabled() && window.inCaption(at)) {
        gtk_window_begin_move_drag(GTK_WINDOW(native->toplevel), static_cast<gint>(event->button),
                                   static_cast<gint>(event->x_root),
                                   static_cast<gint>(event->y_root), event->time);
        return TRUE;
    }
    gtk_widget_grab_focus(native->area);
    window.mouseDown(at);
    return TRUE;
}

gboolean onButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* native = static_cast<NativeWindow*>(data);
    if (event->button == 1) {
        native->window->mouseUp(native->toWindow(event->x, event->y));
    }
    return TRUE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* native = static_cast<NativeWindow*>(data);
    native->window->mouseMove(native->toWindow(event->x, event->y));
    return TRUE;
}

gboolean onLeave(GtkWidget*, GdkEventCrossing*, gpointer data) {
    static_cast<NativeWindow*>(data)->window->mouseLeave();
    return FALSE;
}

gboolean onKeyPress(GtkWidget* toplevel, GdkEventKey* event, gpointer data) {
    auto* native = static_cast<NativeWindow*>(data);
    const Key key = keyOf(event->keyval);
    // Escape goes to the window whoever has the focus, so a window can swallow it; other keys
    // stay with a focused text entry.
    if (key != Key::Escape && GTK_IS_ENTRY(gtk_window_get_focus(GTK_WINDOW(toplevel)))) {
        return FALSE;
    }
    if (key == Key::Other) {
        return FALSE;
    }
    native->window->keyDown(key);
    return TRUE;
}

// The window manager's close (Alt+F4, a panel's close) becomes the toolkit's close request,
// which the window may refuse.
gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<NativeWindow*>(data)->window->close(0);
    return TRUE;
}

void onEntryChanged(GtkEditable* editable, gpointer data) {
    auto* binding = static_cast<EntryBinding*>(data);
    if (!binding->native->syncing) {
        binding->edit->setTextFromHost(
            platform::wideFromUtf8(gtk_entry_get_text(GTK_ENTRY(editable))));
    }
}

std::string entryCss(const Window& window, const Edit& edit) {
    const FontSpec& font = window.font(edit.font());
    const Color color = edit.textColor();
    char css[512];
    std::snprintf(css, sizeof css,
                  "entry { background: transparent; border: none; box-shadow: none; padding: 0;"
                  " min-height: 0; color: rgba(%u,%u,%u,%.3f); font-family: \"%s\";"
                  " font-size: %dpx; }",
                  (color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF,
                  ((color >> 24) & 0xFF) / 255.0, pangoFamilyFor(font.family).c_str(), font.sizePx);
    return css;
}

}  // namespace

void GtkHost::SourceRelease::operator()(GSource* source) const {
    g_source_destroy(source);
    g_source_unref(source);
}

std::unique_ptr<GtkHost> GtkHost::create() {
    if (!platform::startGdkWithoutGl([] { return gtk_init_check(nullptr, nullptr) != FALSE; })) {
        return nullptr;
    }
    std::setlocale(LC_NUMERIC, "C");
    return std::make_unique<GtkHost>(Passkey{});
}

GtkHost::GtkHost(Passkey) {
    GSource* posted = g_source_new(&kPostedFuncs, sizeof(HostSource));
    reinterpret_cast<HostSource*>(posted)->host = this;
    g_source_set_priority(posted, G_PRIORITY_DEFAULT);
    g_source_set_can_recurse(posted, TRUE);
    g_source_attach(posted, nullptr);
    postedSource_.reset(posted);

    GSource* timers = g_source_new(&kTimerFuncs, sizeof(HostSource));
    reinterpret_cast<HostSource*>(timers)->host = this;
    g_source_set_priority(timers, G_PRIORITY_DEFAULT);
    g_source_set_can_recurse(timers, TRUE);
    g_source_set_ready_time(timers, -1);
    g_source_attach(timers, nullptr);
    timerSource_.reset(timers);

    queue()->setWakeUp([] { g_main_context_wakeup(nullptr); });
}

GtkHost::~GtkHost() {
    queue()->setWakeUp(nullptr);
    natives_.clear();
}

std::uint32_t GtkHost::nowMs() const {
    return platform::tickCountMs();
}

GtkHost::NativeWindow* GtkHost::native(const Window& window) const {
    const auto found = natives_.find(window.id());
    return found == natives_.end() ? nullptr : found->second.get();
}

void GtkHost::windowCreated(Window& window) {
    auto created = std::make_unique<NativeWindow>();
    created->host = this;
    created->window = &window;
    GtkWidget* toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    created->toplevel = toplevel;
    gtk_window_set_decorated(GTK_WINDOW(toplevel), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(toplevel), FALSE);
    GdkScreen* screen = gtk_widget_get_screen(toplevel);
    GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
    if (rgba != nullptr && gdk_screen_is_composited(screen)) {
        gtk_widget_set_visual(toplevel, rgba);
        gtk_widget_set_app_paintable(toplevel, TRUE);
        created->translucent = true;
    }
    if (Window* owner = window.owner(); owner != nullptr && this->native(*owner) != nullptr) {
        gtk_window_set_transient_for(GTK_WINDOW(toplevel),
                                     GTK_WINDOW(this->native(*owner)->toplevel));
    }

    created->fixed = gtk_fixed_new();
    created->area = gtk_drawing_area_new();
    gtk_widget_set_can_focus(created->area, TRUE);
    gtk_widget_add_events(created->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                             GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK);
    gtk_fixed_put(GTK_FIXED(created->fixed), created->area, 0, 0);
    gtk_container_add(GTK_CONTAINER(toplevel), created->fixed);

    NativeWindow* raw = created.get();
    g_signal_connect(created->area, "draw", G_CALLBACK(onDraw), raw);
    g_signal_connect(created->area, "button-press-event", G_CALLBACK(onButtonPress), raw);
    g_signal_connect(created->area, "button-release-event", G_CALLBACK(onButtonRelease), raw);
    g_signal_connect(created->area, "motion-notify-event", G_CALLBACK(onMotion), raw);
    g_signal_connect(created->area, "leave-notify-event", G_CALLBACK(onLeave), raw);
    g_signal_connect(toplevel, "key-press-event", G_CALLBACK(onKeyPress), raw);
    g_signal_connect(toplevel, "delete-event", G_CALLBACK(onDelete), raw);

    if (window.root() != nullptr) {
        window.root()->forEach([&](Control& control) {
            auto* edit = dynamic_cast<Edit*>(&control);
            if (edit == nullptr) {
                return;
            }
            auto binding = std::make_unique<EntryBinding>();
            binding->native = raw;
            binding->edit = edit;
            binding->widget = gtk_entry_new();
            gtk_entry_set_has_frame(GTK_ENTRY(binding->widget), FALSE);
            binding->css = gtk_css_provider_new();
            gtk_css_provider_load_from_data(binding->css, entryCss(window, *edit).c_str(), -1,
                                            nullptr);
            gtk_style_context_add_provider(gtk_widget_get_style_context(binding->widget),
                                           GTK_STYLE_PROVIDER(binding->css),
                                           GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
            gtk_fixed_put(GTK_FIXED(created->fixed), binding->widget, 0, 0);
            g_signal_connect(binding->widget, "changed", G_CALLBACK(onEntryChanged), binding.get());
            created->entries.push_back(std::move(binding));
        });
    }
    natives_[window.id()] = std::move(created);
    windowDecorationChanged(window);
}

void GtkHost::windowDestroyed(Window& window) {
    natives_.erase(window.id());
}

void GtkHost::windowDecorationChanged(Window& window) {
    NativeWindow* native = this->native(window);
    if (native == nullptr) {
        return;
    }
    gtk_window_set_title(GTK_WINDOW(native->toplevel), utf8(window.title()).c_str());
    if (const SharedSurface& icon = window.icon()) {
        GdkPixbuf* pixbuf =
            gdk_pixbuf_get_from_surface(icon.get(), 0, 0, cairo_image_surface_get_width(icon.get()),
                                        cairo_image_surface_get_height(icon.get()));
        if (pixbuf != nullptr) {
            gtk_window_set_icon(GTK_WINDOW(native->toplevel), pixbuf);
            g_object_unref(pixbuf);
        }
    }
    const auto& shadow = window.shadow();
    native->margin = native->translucent && shadow
                         ? std::max(shadow->sizePx, 0) +
                               std::max(std::abs(shadow->offset.x), std::abs(shadow->offset.y))
                         : 0;
    const Size size = window.size();
    gtk_widget_set_size_request(native->area, size.width + 2 * native->margin,
                                size.height + 2 * native->margin);
    moveWindow(window, window.position());
    syncEntries(*native);
}

void GtkHost::syncEntries(NativeWindow& native) {
    if (native.entries.empty()) {
        return;
    }
    native.window->updateLayout();
    native.syncing = true;
    for (const auto& binding : native.entries) {
        Edit& edit = *binding->edit;
        const Rect& r = edit.rect();
        const Rect& pad = edit.textPadding();
        const int width = std::max(r.width() - pad.left - pad.right, 1);
        const int height = std::max(r.height() - pad.top - pad.bottom, 1);
        gtk_widget_set_size_request(binding->widget, width, height);
        gtk_fixed_move(GTK_FIXED(native.fixed), binding->widget, native.margin + r.left + pad.left,
                       native.margin + r.top + pad.top);
        const std::string text = utf8(edit.text());
        if (text != gtk_entry_get_text(GTK_ENTRY(binding->widget))) {
            gtk_entry_set_text(GTK_ENTRY(binding->widget), text.c_str());
        }
        gtk_widget_set_sensitive(binding->widget, edit.isEnabled());
        gtk_widget_set_visible(binding->widget,
                               gtk_widget_get_visible(native.toplevel) && effectivelyShown(edit));
    }
    native.syncing = false;
}

void GtkHost::showWindow(Window& window, bool show) {
    NativeWindow* native = this->native(window);
    if (native == nullptr) {
        return;
    }
    if (show) {
        gtk_widget_show(native->fixed);
        gtk_widget_show(native->area);
        gtk_widget_show(native->toplevel);
        syncEntries(*native);
    } else {
        gtk_widget_hide(native->toplevel);
    }
}

void GtkHost::moveWindow(Window& window, Point topLeft) {
    if (NativeWindow* native = this->native(window)) {
        gtk_window_move(GTK_WINDOW(native->toplevel), topLeft.x - native->margin,
                        topLeft.y - native->margin);
    }
}

Size GtkHost::screenSize() const {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
    if (monitor == nullptr && display != nullptr) {
        monitor = gdk_display_get_monitor(display, 0);
    }
    if (monitor == nullptr) {
        return {};
    }
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    return {area.width, area.height};
}

void GtkHost::invalidate(Window& window) {
    if (NativeWindow* native = this->native(window)) {
        gtk_widget_queue_draw(native->area);
        syncEntries(*native);
    }
}

void GtkHost::minimize(Window& window) {
    if (NativeWindow* native = this->native(window)) {
        gtk_window_iconify(GTK_WINDOW(native->toplevel));
    }
}

void GtkHost::bringToFront(Window& window) {
    if (NativeWindow* native = this->native(window)) {
        gtk_window_present(GTK_WINDOW(native->toplevel));
    }
}

void GtkHost::editChanged(Window& window, Edit&) {
    if (NativeWindow* native = this->native(window)) {
        syncEntries(*native);
    }
}

void GtkHost::timersChanged() {
    const auto due = nextTimerDue();
    if (!due) {
        g_source_set_ready_time(timerSource_.get(), -1);
        return;
    }
    const std::int32_t waitMs =
        std::max<std::int32_t>(static_cast<std::int32_t>(*due - nowMs()), 0);
    g_source_set_ready_time(timerSource_.get(),
                            g_get_monotonic_time() + waitMs * G_GINT64_CONSTANT(1000));
}

void GtkHost::runLoop(const std::function<bool()>& keepRunning) {
    while (keepRunning() && !quitPosted()) {
        g_main_context_iteration(nullptr, TRUE);
    }
}

bool GtkHost::pump(std::uint32_t durationMs, const std::function<bool()>& keepRunning) {
    const std::uint32_t start = nowMs();
    // Guarantees a wake-up when the time is up even if nothing else happens.
    const SourcePtr deadline(g_timeout_source_new(durationMs));
    g_source_set_callback(
        deadline.get(), [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
    g_source_attach(deadline.get(), nullptr);
    while (keepRunning() && !quitPosted() && nowMs() - start < durationMs) {
        g_main_context_iteration(nullptr, TRUE);
    }
    return keepRunning() && !quitPosted();
}

std::optional<std::wstring> GtkHost::chooseFolder(Window* owner, std::wstring_view title) {
    NativeWindow* parent = owner != nullptr ? native(*owner) : nullptr;
    GtkFileChooserNative* dialog = gtk_file_chooser_native_new(
        utf8(title).c_str(), parent != nullptr ? GTK_WINDOW(parent->toplevel) : nullptr,
        GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
    std::optional<std::wstring> chosen;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
            chosen = platform::widePath(path);
            g_free(path);
        }
    }
    g_object_unref(dialog);
    return chosen;
}

void GtkHost::showSystemMessage(Window* owner, std::wstring_view text, std::wstring_view caption,
                                MessageIcon icon) {
    NativeWindow* parent = owner != nullptr ? native(*owner) : nullptr;
    const GtkMessageType type = icon == MessageIcon::Error      ? GTK_MESSAGE_ERROR
                                : icon == MessageIcon::Warning  ? GTK_MESSAGE_WARNING
                                : icon == MessageIcon::Question ? GTK_MESSAGE_QUESTION
                                                                : GTK_MESSAGE_INFO;
    GtkWidget* dialog =
        gtk_message_dialog_new(parent != nullptr ? GTK_WINDOW(parent->toplevel) : nullptr,
                               GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK, "%s", utf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), utf8(caption).c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

}  // namespace SkinUI
