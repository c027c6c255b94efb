#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "skin_images/canvas.h"

namespace skin_images {

// One file to write: its path below the output folder, its pixel size and its drawing.
struct ImageJob {
    std::string path;
    int widthPx = 0;
    int heightPx = 0;
    std::function<void(Canvas&)> draw;
};

// Every image of the skin archive (below "skin/") and the window icon ("icon.png"), in a fixed
// order so that a run always writes the same files.
std::vector<ImageJob> skinImageJobs();

// Writes every job below `outFolder`; the paths that could not be written.
std::vector<std::string> writeImages(const std::filesystem::path& outFolder);

}  // namespace skin_images
