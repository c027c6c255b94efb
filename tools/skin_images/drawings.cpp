#include "skin_images/drawings.h"

#include <cmath>

namespace skin_images {

namespace {

constexpr std::uint32_t kInk = 0xFF282A43;       // headings, as the layouts' dark text
constexpr std::uint32_t kInkMuted = 0xFF606178;  // secondary text, as customeBtn's
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kTipBubble = 0xF02F3350;
constexpr std::uint32_t kFrameLine = 0xFFD3D8EA;
constexpr std::uint32_t kTrack = 0xFFDCE1F4;
constexpr std::uint32_t kCloseHot = 0xFFF0575B;
constexpr std::uint32_t kClosePushed = 0xFFD4403F;
constexpr std::uint32_t kWarning = 0xFFFFA940;
constexpr std::uint32_t kWarningDeep = 0xFFF7860F;

std::uint32_t accentFor(Look look) {
    switch (look) {
        case Look::Hot:
            return kAccentHot;
        case Look::Pushed:
            return kAccentPushed;
        case Look::Normal:
            break;
    }
    return kAccent;
}

PatternPtr linear(double x0, double y0, double x1, double y1, std::uint32_t from,
                  std::uint32_t to) {
    PatternPtr pattern(cairo_pattern_create_linear(x0, y0, x1, y1));
    addColorStop(pattern.get(), 0, from);
    addColorStop(pattern.get(), 1, to);
    return pattern;
}

// A soft round glow: the colour at the centre fading to nothing at the radius.
void glow(cairo_t* cr, double cx, double cy, double radius, std::uint32_t argb) {
    PatternPtr pattern(cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius));
    addColorStop(pattern.get(), 0, argb);
    addColorStop(pattern.get(), 1, argb & 0x00FFFFFF);
    cairo_set_source(cr, pattern.get());
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_fill(cr);
}

void strokeLine(cairo_t* cr, double x0, double y0, double x1, double y1) {
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
}

// A disc with the accent's diagonal gradient, the base of the round icons and marks.
void accentDisc(cairo_t* cr, double cx, double cy, double radius, std::uint32_t light,
                std::uint32_t deep) {
    const auto pattern = linear(cx - radius, cy - radius, cx + radius, cy + radius, light, deep);
    cairo_set_source(cr, pattern.get());
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_fill(cr);
}

// The hover and press backdrop of the small title-bar buttons.
void titleButtonBackdrop(cairo_t* cr, Look look, std::uint32_t hot, std::uint32_t pushed) {
    if (look == Look::Normal) {
        return;
    }
    setColor(cr, look == Look::Hot ? hot : pushed);
    roundedRectangle(cr, 1, 1, 22, 22, 5);
    cairo_fill(cr);
}

void drawCross(cairo_t* cr, double from, double to, double lineWidth) {
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    strokeLine(cr, from, from, to, to);
    strokeLine(cr, from, to, to, from);
    cairo_stroke(cr);
}

}  // namespace

void drawBackground(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    const double w = canvas.width();
    const double h = canvas.height();
    const auto base = linear(0, 0, w * 0.4, h, 0xFFFBFCFF, 0xFFEEF1FF);
    cairo_set_source(cr, base.get());
    cairo_paint(cr);

    glow(cr, w * 0.95, -h * 0.05, h * 0.62, 0x388E9BFF);
    glow(cr, w * 0.02, h * 1.02, h * 0.55, 0x2C6A7BFF);
    glow(cr, w * 0.55, h * 0.38, h * 0.45, 0x40FFFFFF);

    // Two faint rings in the top corner and two gentle waves along the bottom edge: enough shape
    // to feel designed, faint enough that text on any page stays crisp against them.
    cairo_set_line_width(cr, 1.2);
    setColor(cr, kAccent, 0.10);
    cairo_arc(cr, w * 0.93, h * 0.10, h * 0.22, 0, 2 * M_PI);
    cairo_stroke(cr);
    setColor(cr, kAccent, 0.06);
    cairo_arc(cr, w * 0.93, h * 0.10, h * 0.31, 0, 2 * M_PI);
    cairo_stroke(cr);

    setColor(cr, kAccent, 0.045);
    cairo_move_to(cr, 0, h * 0.80);
    cairo_curve_to(cr, w * 0.30, h * 0.72, w * 0.60, h * 0.92, w, h * 0.78);
    cairo_line_to(cr, w, h);
    cairo_line_to(cr, 0, h);
    cairo_close_path(cr);
    cairo_fill(cr);
    setColor(cr, kAccentHot, 0.06);
    cairo_move_to(cr, 0, h * 0.90);
    cairo_curve_to(cr, w * 0.35, h * 0.84, w * 0.65, h * 0.99, w, h * 0.88);
    cairo_line_to(cr, w, h);
    cairo_line_to(cr, 0, h);
    cairo_close_path(cr);
    cairo_fill(cr);
    canvas.ditherOpaque();
}

void drawEmblem(cairo_t* cr, double x, double y, double size) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, size, size);

    roundedRectangle(cr, 0, 0, 1, 1, 0.26);
    const auto body = linear(0, 0, 1, 1, 0xFF9CA8FF, kAccentPushed);
    cairo_set_source(cr, body.get());
    cairo_fill_preserve(cr);
    cairo_clip(cr);
    const auto sheen = linear(0, 0, 0, 0.6, 0x33FFFFFF, 0x00FFFFFF);
    cairo_set_source(cr, sheen.get());
    cairo_paint(cr);

    // A photo's sun over two hills, in white on the accent.
    setColor(cr, kWhite);
    cairo_arc(cr, 0.68, 0.32, 0.095, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 0.05);
    // The far hill is translucent as a whole; filling and stroking it straight at that alpha
    // would leave a brighter seam where stroke and fill overlap.
    cairo_push_group(cr);
    cairo_move_to(cr, 0.44, 0.76);
    cairo_line_to(cr, 0.63, 0.52);
    cairo_line_to(cr, 0.82, 0.76);
    cairo_close_path(cr);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, 0.6);
    setColor(cr, kWhite);
    cairo_move_to(cr, 0.18, 0.76);
    cairo_line_to(cr, 0.41, 0.42);
    cairo_line_to(cr, 0.64, 0.76);
    cairo_close_path(cr);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void drawLogo(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    const double h = canvas.height();
    const double emblem = h * 0.84;
    const double gap = h * 0.22;
    const std::string markup =
        "<span weight='bold' letter_spacing='512'>Brivano</span> "
        "<span foreground='#4A4F6A'>照片编辑器</span>";
    TextStyle style{.sizePx = h * 0.46, .color = kInk, .bold = false};
    double textW = 0;
    double textH = 0;
    measureMarkup(cr, markup, style, &textW, &textH);
    // The wordmark must never be cropped whatever size the logo is drawn at.
    const double room = canvas.width() - emblem - gap - 4;
    if (textW > room) {
        style.sizePx *= room / textW;
        measureMarkup(cr, markup, style, &textW, &textH);
    }
    const double left = (canvas.width() - (emblem + gap + textW)) / 2;
    drawEmblem(cr, std::round(left), (h - emblem) / 2, emblem);
    drawMarkupCentred(cr, markup, style, left + emblem + gap + textW / 2, h / 2);
}

void drawAppIcon(Canvas& canvas) {
    const double margin = canvas.width() / 32.0;
    drawEmblem(canvas.cr(), margin, margin, canvas.width() - 2 * margin);
}

void drawTipBubble(Canvas& canvas, const std::string& text) {
    cairo_t* cr = canvas.cr();
    const double w = canvas.width();
    const double h = canvas.height();
    const double pointer = 6;
    const double bodyH = h - pointer;
    // The pointer sits over the agreement's check box, which starts a little right of the
    // bubble's left edge.
    const double tipX = 18;
    setColor(cr, kTipBubble);
    roundedRectangle(cr, 0, 0, w, bodyH, 6);
    cairo_fill(cr);
    cairo_move_to(cr, tipX - 6, bodyH - 0.5);
    cairo_line_to(cr, tipX, h);
    cairo_line_to(cr, tipX + 6, bodyH - 0.5);
    cairo_close_path(cr);
    cairo_fill(cr);
    drawMarkupCentred(cr, text, TextStyle{.sizePx = 12, .color = kWhite, .bold = false}, w / 2,
                      bodyH / 2);
}

void drawCheckBox(Canvas& canvas, bool checked) {
    cairo_t* cr = canvas.cr();
    const double side = std::min(canvas.width(), canvas.height()) - 1.0;
    const double x = (canvas.width() - side) / 2;
    const double y = (canvas.height() - side) / 2;
    roundedRectangle(cr, x, y, side, side, 3);
    if (!checked) {
        setColor(cr, kWhite);
        cairo_fill_preserve(cr);
        setColor(cr, 0xFFB5BBD3);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        return;
    }
    setColor(cr, kAccent);
    cairo_fill(cr);
    setColor(cr, kWhite);
    cairo_set_line_width(cr, 1.7);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, x + side * 0.25, y + side * 0.52);
    cairo_line_to(cr, x + side * 0.43, y + side * 0.70);
    cairo_line_to(cr, x + side * 0.76, y + side * 0.33);
    cairo_stroke(cr);
}

void drawBackButton(Canvas& canvas, Look look) {
    cairo_t* cr = canvas.cr();
    const double h = canvas.height();
    if (look != Look::Normal) {
        setColor(cr, kAccent, look == Look::Hot ? 0.10 : 0.18);
        roundedRectangle(cr, 0, 0, canvas.width(), h, h / 2);
        cairo_fill(cr);
    }
    const std::uint32_t ink = look == Look::Normal ? kInkMuted : accentFor(look);
    setColor(cr, ink);
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 19, h / 2 - 5);
    cairo_line_to(cr, 14, h / 2);
    cairo_line_to(cr, 19, h / 2 + 5);
    cairo_stroke(cr);
    drawMarkupCentred(cr, "返回", TextStyle{.sizePx = 14, .color = ink, .bold = false}, 38, h / 2);
}

void drawChevronButton(Canvas& canvas, Look look) {
    cairo_t* cr = canvas.cr();
    const double c = canvas.width() / 2.0;
    setColor(cr, look == Look::Normal ? kInkMuted : kInk);
    cairo_set_line_width(cr, 1.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, c - 2, c - 4);
    cairo_line_to(cr, c + 2, c);
    cairo_line_to(cr, c - 2, c + 4);
    cairo_stroke(cr);
}

void drawEditFrame(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    roundedRectangle(cr, 0.5, 0.5, canvas.width() - 1, canvas.height() - 1, 4);
    setColor(cr, kWhite);
    cairo_fill_preserve(cr);
    setColor(cr, kFrameLine);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void drawOutlinedButton(Canvas& canvas, Look look, const std::string& caption) {
    cairo_t* cr = canvas.cr();
    const std::uint32_t fills[] = {kWhite, 0xFFF1F3FF, 0xFFE2E6FF};
    roundedRectangle(cr, 0.5, 0.5, canvas.width() - 1, canvas.height() - 1, 4);
    setColor(cr, fills[static_cast<int>(look)]);
    cairo_fill_preserve(cr);
    const std::uint32_t ink = look == Look::Hot ? kAccent : accentFor(look);
    setColor(cr, ink);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    drawMarkupCentred(cr, caption, TextStyle{.sizePx = 14, .color = ink, .bold = false},
                      canvas.width() / 2.0, canvas.height() / 2.0);
}

void drawFilledButton(Canvas& canvas, Look look, const std::string& caption) {
    cairo_t* cr = canvas.cr();
    roundedRectangle(cr, 0, 0, canvas.width(), canvas.height(), 3);
    setColor(cr, accentFor(look));
    cairo_fill(cr);
    drawMarkupCentred(cr, caption, TextStyle{.sizePx = 16, .color = kWhite, .bold = false},
                      canvas.width() / 2.0, canvas.height() / 2.0);
}

void drawProgressTrack(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    roundedRectangle(cr, 0, 0, canvas.width(), canvas.height(), canvas.height() / 2.0);
    setColor(cr, kTrack);
    cairo_fill(cr);
}

void drawProgressFill(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    roundedRectangle(cr, 0, 0, canvas.width(), canvas.height(), canvas.height() / 2.0);
    const auto pattern = linear(0, 0, canvas.width(), 0, kAccentHot, kAccent);
    cairo_set_source(cr, pattern.get());
    cairo_fill(cr);
}

void drawFinishedMark(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    const double c = canvas.width() / 2.0;
    setColor(cr, kAccent, 0.12);
    cairo_arc(cr, c, c, c, 0, 2 * M_PI);
    cairo_fill(cr);
    accentDisc(cr, c, c, c * 0.78, kAccentHot, kAccentPushed);
    setColor(cr, kWhite);
    cairo_set_line_width(cr, c * 0.12);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, c * 0.62, c * 1.02);
    cairo_line_to(cr, c * 0.90, c * 1.30);
    cairo_line_to(cr, c * 1.40, c * 0.74);
    cairo_stroke(cr);
}

void drawMinimiseButton(Canvas& canvas, Look look) {
    cairo_t* cr = canvas.cr();
    titleButtonBackdrop(cr, look, 0x14282A43, 0x24282A43);
    setColor(cr, look == Look::Normal ? 0xFF6E7390 : kInk);
    cairo_set_line_width(cr, 1.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    strokeLine(cr, 7, 12, 17, 12);
    cairo_stroke(cr);
}

void drawCloseButton(Canvas& canvas, Look look) {
    cairo_t* cr = canvas.cr();
    titleButtonBackdrop(cr, look, kCloseHot, kClosePushed);
    setColor(cr, look == Look::Normal ? 0xFF6E7390 : kWhite);
    drawCross(cr, 7.5, 16.5, 1.5);
}

void drawPromptCloseButton(Canvas& canvas, Look look) {
    cairo_t* cr = canvas.cr();
    titleButtonBackdrop(cr, look, 0x12282A43, 0x22282A43);
    setColor(cr, look == Look::Normal ? 0xFF9A9FB4 : kInk);
    drawCross(cr, 8, 16, 1.4);
}

void drawNetworkIcon(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    const double c = canvas.width() / 2.0;
    accentDisc(cr, c, c, c, kAccentHot, kAccentPushed);
    setColor(cr, kWhite);
    cairo_set_line_width(cr, c * 0.13);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    const double baseY = c * 1.42;
    for (const double radius : {c * 0.42, c * 0.78}) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, c, baseY, radius, -M_PI * 0.75, -M_PI * 0.25);
        cairo_stroke(cr);
    }
    cairo_arc(cr, c, baseY, c * 0.11, 0, 2 * M_PI);
    cairo_fill(cr);
}

void drawQuestionIcon(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    const double c = canvas.width() / 2.0;
    accentDisc(cr, c, c, c, kAccentHot, kAccentPushed);
    drawMarkupCentred(cr, "?", TextStyle{.sizePx = c * 1.25, .color = kWhite, .bold = true}, c, c);
}

void drawWarningIcon(Canvas& canvas) {
    cairo_t* cr = canvas.cr();
    const double c = canvas.width() / 2.0;
    accentDisc(cr, c, c, c, kWarning, kWarningDeep);
    setColor(cr, kWhite);
    cairo_set_line_width(cr, c * 0.16);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    strokeLine(cr, c, c * 0.50, c, c * 1.10);
    cairo_stroke(cr);
    cairo_arc(cr, c, c * 1.45, c * 0.10, 0, 2 * M_PI);
    cairo_fill(cr);
}

void drawInstallingFrame(Canvas& canvas, int frame, int frameCount) {
    cairo_t* cr = canvas.cr();
    const double c = canvas.width() / 2.0;
    const double phase = static_cast<double>(frame) / frameCount;

    glow(cr, c, c + 3, c * 0.95, 0x306A7BFF);
    setColor(cr, kWhite, 0.92);
    cairo_arc(cr, c, c, c * 0.80, 0, 2 * M_PI);
    cairo_fill(cr);

    const double ringR = c * 0.66;
    const double ringW = c * 0.1;
    setColor(cr, kAccent, 0.12);
    cairo_set_line_width(cr, ringW);
    cairo_arc(cr, c, c, ringR, 0, 2 * M_PI);
    cairo_stroke(cr);

    // The comet's tail fades along its arc. A mesh of thin slices carries the fade so that the
    // ring is stroked once, without the seams separate arc pieces would leave.
    const double head = -M_PI / 2 + 2 * M_PI * phase;
    const double tailSpan = M_PI * 0.75;
    constexpr int kSlices = 48;
    PatternPtr mesh(cairo_pattern_create_mesh());
    const double inner = ringR - ringW;
    const double outer = ringR + ringW;
    for (int i = 0; i < kSlices; ++i) {
        const double t0 = static_cast<double>(i) / kSlices;
        const double t1 = static_cast<double>(i + 1) / kSlices;
        const double a0 = head - tailSpan + tailSpan * t0;
        const double a1 = head - tailSpan + tailSpan * t1;
        const std::uint32_t c0 = mixColor(kAccentHot & 0x00FFFFFF, kAccent, t0);
        const std::uint32_t c1 = mixColor(kAccentHot & 0x00FFFFFF, kAccent, t1);
        cairo_mesh_pattern_begin_patch(mesh.get());
        cairo_mesh_pattern_move_to(mesh.get(), c + inner * std::cos(a0), c + inner * std::sin(a0));
        cairo_mesh_pattern_line_to(mesh.get(), c + outer * std::cos(a0), c + outer * std::sin(a0));
        cairo_mesh_pattern_line_to(mesh.get(), c + outer * std::cos(a1), c + outer * std::sin(a1));
        cairo_mesh_pattern_line_to(mesh.get(), c + inner * std::cos(a1), c + inner * std::sin(a1));
        for (int corner = 0; corner < 4; ++corner) {
            const std::uint32_t argb = corner < 2 ? c0 : c1;
            cairo_mesh_pattern_set_corner_color_rgba(
                mesh.get(), corner, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
        }
        cairo_mesh_pattern_end_patch(mesh.get());
    }
    cairo_set_source(cr, mesh.get());
    cairo_new_path(cr);
    cairo_arc(cr, c, c, ringR, head - tailSpan, head);
    cairo_stroke(cr);
    setColor(cr, kAccent);
    cairo_arc(cr, c + ringR * std::cos(head), c + ringR * std::sin(head), ringW / 2, 0, 2 * M_PI);
    cairo_fill(cr);

    // A download arrow over a tray in the middle, gently bobbing once per loop.
    const double bob = c * 0.04 * std::sin(2 * M_PI * phase);
    setColor(cr, kAccent);
    cairo_set_line_width(cr, c * 0.055);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    strokeLine(cr, c, c * 0.70 + bob, c, c * 1.06 + bob);
    cairo_move_to(cr, c - c * 0.14, c * 0.92 + bob);
    cairo_line_to(cr, c, c * 1.06 + bob);
    cairo_line_to(cr, c + c * 0.14, c * 0.92 + bob);
    cairo_stroke(cr);
    cairo_move_to(cr, c - c * 0.24, c * 1.06);
    cairo_line_to(cr, c - c * 0.24, c * 1.24);
    cairo_line_to(cr, c + c * 0.24, c * 1.24);
    cairo_line_to(cr, c + c * 0.24, c * 1.06);
    cairo_stroke(cr);
}

}  // namespace skin_images
