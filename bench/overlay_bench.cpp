// The overlay's cost per main-loop pass: the menu fully shown over a busy
// picture (the panel tint and all sixteen items with their shadows), and the
// same with the overlay slid out of sight, which every pass pays while
// playing.
#include <benchmark/benchmark.h>
#include <cstdint>

#include "host/host.h"
#include "overlay/menu.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"

namespace {

void SetUpMenu(int32_t slide) {
    ResetHostState();
    ApplyDefaultSettings();
    BuildMenu();
    Overlay.OffsetY = slide;
}

void FillPicture() {
    for (int i = 0; i < ScreenPixels; ++i)
        Canvas[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
}

void BM_MenuShown(benchmark::State& state) {
    SetUpMenu(0);
    for (auto _ : state) {
        FillPicture();
        DrawOverlay();
        benchmark::DoNotOptimize(Canvas[0]);
    }
}
BENCHMARK(BM_MenuShown);

void BM_MenuSlidOut(benchmark::State& state) {
    SetUpMenu(OverlayHiddenSlide);
    for (auto _ : state) {
        DrawOverlay();
        benchmark::DoNotOptimize(Canvas[0]);
    }
}
BENCHMARK(BM_MenuSlidOut);

void BM_FillOnly(benchmark::State& state) {
    for (auto _ : state) {
        FillPicture();
        benchmark::DoNotOptimize(Canvas[0]);
    }
}
BENCHMARK(BM_FillOnly);

} // namespace
