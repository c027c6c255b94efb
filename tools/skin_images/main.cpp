// skin-images <out-folder>
//
// Draws the installer's skin images and window icon: <out-folder>/skin/res/... (the files the
// skin archive packs) and <out-folder>/icon.png. Run by hand as `skin-images res` from the
// repository's top folder after changing a drawing; the PNGs it writes are committed. The same
// input always gives the same bytes.
#include <cstdio>
#include <filesystem>
#include <string>

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include "skin_images/skin_set.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin-images <out-folder>\n");
        return 2;
    }
    const auto failed = skin_images::writeImages(std::filesystem::path(argv[1]));
    // Pango, cairo and fontconfig keep their font caches for the process; dropping them here
    // lets a leak checker run over this program see only leaks of ours.
    pango_cairo_font_map_set_default(nullptr);
    cairo_debug_reset_static_data();
    FcFini();
    for (const std::string& path : failed) {
        std::fprintf(stderr, "skin-images: cannot write %s\n", path.c_str());
    }
    return failed.empty() ? 0 : 1;
}
