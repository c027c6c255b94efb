// skin-images <out-folder>
//
// Draws the installer's skin images and window icon: <out-folder>/skin/res/... (the files the
// skin archive packs) and <out-folder>/icon.png. Run by hand as `skin-images res` from the
// repository's top folder after changing a drawing; the PNGs it writes are committed. The same
// input always gives the same bytes.
#include <cstdio>
#include <filesystem>
#include <string>

#include "skin_images/skin_set.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin-images <out-folder>\n");
        return 2;
    }
    const auto failed = skin_images::writeImages(std::filesystem::path(argv[1]));
    for (const std::string& path : failed) {
        std::fprintf(stderr, "skin-images: cannot write %s\n", path.c_str());
    }
    return failed.empty() ? 0 : 1;
}
