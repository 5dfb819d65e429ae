// Picture-unit speed: a whole frame's 240 background lines with a fine
// scroll and all 64 sprites composited, from random video memory. Reports
// lines and frames per second of the renderers alone, without the processor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "core/machine.h"
#include "video/background.h"
#include "video/sprites.h"

namespace {

void fill_video_memory() {
    std::memset(static_cast<void*>(&machine), 0, sizeof machine);
    std::mt19937 random(1);
    for (int i = 0; i < ChrBankSize; i++)
        machine.chr_mem[i] = uint8_t(random());
    for (uint8_t& b : machine.nametable_ram)
        b = uint8_t(random());
    for (uint8_t& b : machine.oam)
        b = uint8_t(random() % 224);
    for (int i = 0; i < 32; i++)
        machine.palette_ram[i] = uint8_t(random() & 0x3F);
    for (int i = 0; i < 64; i++)
        machine.palette[i] = uint32_t(random()) & 0xFFFFFF;
    machine.ppu_mask = 0x1E;
    machine.fine_x = 3;
    machine.temp_addr = 5;
}

void BackgroundFrame(benchmark::State& state) {
    fill_video_memory();
    for (auto _ : state) {
        machine.vram_addr = 0;
        for (int line = 0; line < ScreenHeight; line++)
            render_background_line(line);
        benchmark::DoNotOptimize(FrameBuffer);
    }
    state.SetItemsProcessed(state.iterations() * ScreenHeight);
}
BENCHMARK(BackgroundFrame);

void SpriteLayer(benchmark::State& state) {
    fill_video_memory();
    for (int line = 0; line < ScreenHeight; line++)
        render_background_line(line);
    for (auto _ : state) {
        render_sprite_layer();
        benchmark::DoNotOptimize(FrameBuffer);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SpriteLayer);

} // namespace
