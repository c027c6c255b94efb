// Figures for the skin: how long the first window waits for the embedded archive to be unpacked
// (every layout and image at once), and what one lookup by name costs afterwards, as the
// animation pays it on each frame.
#include <benchmark/benchmark.h>

#include "platform/embedded_resources.h"
#include "ui/skin_archive.h"
#include "ui/skin_resources.h"

namespace {

std::span<const std::uint8_t> embeddedSkin() {
    const auto resource =
        platform::findEmbeddedResource(ui::kSkinArchiveResourceType, ui::kSkinArchiveResourceId);
    return resource ? *resource : std::span<const std::uint8_t>();
}

void DecodeEmbeddedSkinArchive(benchmark::State& state) {
    const std::span<const std::uint8_t> skin = embeddedSkin();
    std::size_t entries = 0;
    for (auto _ : state) {
        const ui::SkinArchive archive(ui::kSkinArchiveName, skin);
        entries = archive.entries().size();
        benchmark::DoNotOptimize(entries);
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["archive_bytes"] = static_cast<double>(skin.size());
}
BENCHMARK(DecodeEmbeddedSkinArchive)->Unit(benchmark::kMillisecond);

void FindLastAnimationFrame(benchmark::State& state) {
    const ui::SkinArchive archive(ui::kSkinArchiveName, embeddedSkin());
    for (auto _ : state) {
        benchmark::DoNotOptimize(archive.find(L"res\\mainWnd\\installBtnAnimate\\023.png"));
    }
}
BENCHMARK(FindLastAnimationFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
