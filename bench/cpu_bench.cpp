// Processor speed: cpu_run over a program in ROM that mixes loads, stores,
// arithmetic, read-modify-write, indexed and indirect modes, branches and
// calls, as game code does. Reports emulated processor MHz.
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

#include "core/cpu.h"
#include "core/machine.h"

namespace {

constexpr int32_t FrameCycles = 29780;
constexpr uint16_t Origin = 0xC000;

// clang-format off
const std::vector<uint8_t> Program = {
    0xA9, 0x00,       // C000 start: LDA #$00
    0x85, 0x20,       // C002   STA $20        pointer $0300
    0xA9, 0x03,       // C004   LDA #$03
    0x85, 0x21,       // C006   STA $21
    0xA2, 0x00,       // C008   LDX #$00
    0xBD, 0x00, 0x03, // C00A loop: LDA $0300,X
    0x18,             // C00D   CLC
    0x69, 0x07,       // C00E   ADC #$07
    0x9D, 0x00, 0x03, // C010   STA $0300,X
    0xA4, 0x10,       // C013   LDY $10
    0x51, 0x20,       // C015   EOR ($20),Y
    0x95, 0x30,       // C017   STA $30,X
    0x0A,             // C019   ASL A
    0x26, 0x40,       // C01A   ROL $40
    0xFE, 0x00, 0x05, // C01C   INC $0500,X
    0xC9, 0x80,       // C01F   CMP #$80
    0x90, 0x02,       // C021   BCC skip
    0xE9, 0x10,       // C023   SBC #$10
    0x39, 0xC0, 0xC0, // C025 skip: AND $C0C0,Y
    0x20, 0x40, 0xC0, // C028   JSR sub
    0xE8,             // C02B   INX
    0xD0, 0xDC,       // C02C   BNE loop
    0xE6, 0x10,       // C02E   INC $10
    0x4C, 0x00, 0xC0, // C030   JMP start
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0xA8,             // C040 sub: TAY
    0xB9, 0x00, 0x06, // C041   LDA $0600,Y
    0x8D, 0x00, 0x02, // C044   STA $0200
    0x60,             // C047   RTS
};
// clang-format on

// Two program banks with the program in the fixed one; the rest of the
// record as at power-on.
void load_program() {
    std::memset(static_cast<void*>(&machine), 0, sizeof machine);
    machine.prg_size = 2 * PrgBankSize;
    machine.prg_mask = machine.prg_size - 1;
    machine.prg_fixed_offset = machine.prg_size - PrgBankSize;
    std::memcpy(&machine.prg_rom[machine.prg_fixed_offset], Program.data(), Program.size());
    for (int i = 0; i < 256; i++)
        machine.prg_rom[machine.prg_fixed_offset + 0xC0 + i] = uint8_t(i * 37);
    // Irregular data, rewritten as the program runs, so that the branch on
    // it is not a fixed pattern.
    uint32_t seed = 12345;
    for (int i = 0; i < 256; i++) {
        seed = seed * 1103515245 + 12345;
        machine.ram[0x0300 + i] = uint8_t(seed >> 16);
    }
    machine.PC = Origin;
}

void BM_CpuRun(benchmark::State& state) {
    load_program();
    int64_t cycles = 0;
    for (auto _ : state) {
        cycles += cpu_run(FrameCycles);
        benchmark::DoNotOptimize(machine.A);
    }
    state.counters["MHz"] = benchmark::Counter(double(cycles) / 1e6, benchmark::Counter::kIsRate);
    state.counters["realtime_x"] =
        benchmark::Counter(double(cycles) / (FrameCycles * 60.0), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CpuRun);

} // namespace
