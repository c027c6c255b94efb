#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The frame stepping of the animated controls: which numbered frame a timer tick shows, wrapping
// to the first frame or turning back at the ends (ping-pong), and where a sequence that does not
// loop comes to rest.
class FrameSequence {
public:
    // The defaults of the animated label; the animated button plays ping-pong.
    bool loop = true;
    bool round = false;
    std::uint32_t count = 0;

    // Plays from the first frame again; the direction is kept.
    void restart() { index_ = 0; }

    // The frame this tick shows, or nothing when a sequence without loop has ended: the timer is
    // then stopped and the frame shown last stays. A count of 0 never wraps.
    std::optional<std::uint32_t> nextFrame();

private:
    bool forward_ = true;
    std::uint32_t index_ = 0;
};

// The image name for a frame: the pattern with its one integer conversion ("%d", "%.3d", "%03u",
// "%x", …; "%%" stands for "%") filled in. A pattern with any other conversion, or more than one,
// names nothing (empty), so a layout can never make the formatting read an argument it was not
// given. Names longer than 259 characters are cut there.
std::wstring frameImageName(const std::wstring& pattern, std::uint32_t frame);
