#include "ui/frame_sequence.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// The frames of `ticks` timer ticks; -1 where the sequence came to rest.
std::vector<int> play(FrameSequence sequence, int ticks) {
    std::vector<int> frames;
    for (int tick = 0; tick < ticks; ++tick) {
        const std::optional<std::uint32_t> frame = sequence.nextFrame();
        frames.push_back(frame ? static_cast<int>(*frame) : -1);
        if (!frame) {
            break;
        }
    }
    return frames;
}

FrameSequence sequence(std::uint32_t count, bool round, bool loop) {
    FrameSequence result;
    result.count = count;
    result.round = round;
    result.loop = loop;
    return result;
}

TEST(FrameSequence, WrapsOrTurnsBackAtTheEnds) {
    const struct {
        const char* name;
        FrameSequence sequence;
        std::vector<int> frames;
    } cases[] = {
        {"wrap, loop", sequence(4, false, true), {0, 1, 2, 3, 0, 1, 2, 3, 0}},
        {"ping-pong, loop", sequence(4, true, true), {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1, 0}},
        {"wrap, once: rests on the last frame", sequence(4, false, false), {0, 1, 2, 3, -1}},
        {"ping-pong, once: rests on frame 1", sequence(4, true, false), {0, 1, 2, 3, 2, 1, -1}},
        {"one frame", sequence(1, false, true), {0, 0, 0}},
        {"no frames never wraps", sequence(0, false, true), {0, 1, 2, 3}},
    };
    for (const auto& row : cases) {
        const int ticks = static_cast<int>(row.frames.size());
        EXPECT_EQ(play(row.sequence, ticks), row.frames) << row.name;
    }
}

TEST(FrameSequence, RestartPlaysFromTheFirstFrameInTheCurrentDirection) {
    FrameSequence wrapping = sequence(4, false, true);
    play(wrapping, 2);
    wrapping.restart();
    EXPECT_EQ(play(wrapping, 3), (std::vector<int>{0, 1, 2}));
}

TEST(FrameImageName, FillsTheOneIntegerConversion) {
    const struct {
        std::wstring pattern;
        std::uint32_t frame;
        std::wstring expected;
    } cases[] = {
        {LR"(res\mainWnd\installBtnAnimate\%.3d.png)", 7,
         LR"(res\mainWnd\installBtnAnimate\007.png)"},
        {L"f%03u_%%.png", 12, L"f012_%.png"},
        {L"frame%d", 23, L"frame23"},
        {L"still.png", 5, L"still.png"},
        // Anything but one integer conversion names nothing.
        {L"%s.png", 1, L""},
        {L"%d-%d.png", 1, L""},
        {L"%n", 1, L""},
        {L"trailing%", 1, L""},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(frameImageName(row.pattern, row.frame), row.expected);
    }
    EXPECT_EQ(frameImageName(std::wstring(300, L'a') + L"%d", 1).size(), 259u);
}

}  // namespace
