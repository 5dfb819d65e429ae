// One 1,024-frame buffer of synthesis with all five channels sounding, plain
// and interpolated. The audio device asks for one every 23 ms.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "audio/apu.h"
#include "audio/synth.h"
#include "core/machine.h"

namespace {

constexpr int BufferFrames = 1024;

void start_all_channels() {
    // A cartridge of one bank holding varied sample bytes.
    machine.prg_size = PrgBankSize;
    machine.prg_mask = PrgBankSize - 1;
    machine.prg_fixed_offset = 0;
    for (int n = 0; n < PrgBankSize; n++)
        machine.prg_rom[n] = uint8_t(n * 73 >> 2);
    build_noise_tables();

    const uint32_t writes[][2] = {
        {0x4000, 0xBF}, {0x4002, 0xFD}, {0x4003, 0x00}, // pulse 1: 440 Hz, duty 2
        {0x4004, 0x7C}, {0x4006, 0x52}, {0x4007, 0x01}, // pulse 2
        {0x4008, 0xFF}, {0x400A, 0x64}, {0x400B, 0x00}, // triangle
        {0x400C, 0x0F}, {0x400E, 0x03},                 // noise, long sequence
        {0x4010, 0x0F}, {0x4012, 0x00}, {0x4013, 0xFF}, // the longest sample at the fastest rate
    };
    for (const auto& w : writes)
        apu_write_register(w[0], uint8_t(w[1]));
}

template <void (*Synthesize)(uint8_t*, int32_t)> void synthesis(benchmark::State& state) {
    start_all_channels();
    static uint8_t buffer[BufferFrames * 4];
    for (auto _ : state) {
        // Restart the sample each time so that it never runs out.
        apu_write_register(0x4015, 0x00);
        apu_write_register(0x4015, 0x10);
        Synthesize(buffer, BufferFrames);
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations() * BufferFrames);
}

BENCHMARK(synthesis<synthesize_plain>)->Name("synthesize_plain/1024");
BENCHMARK(synthesis<synthesize_interpolated>)->Name("synthesize_interpolated/1024");

} // namespace
