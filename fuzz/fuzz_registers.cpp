// Fuzz target: arbitrary sequences of picture-unit, sound and controller
// register accesses interleaved with whole frames and sound synthesis.
//
// Each input is a list of three-byte commands (operation, address byte,
// value). The cartridge is a fixed one that spins in a loop, so every effect
// comes from the commands.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/synth.h"
#include "core/bus.h"
#include "core/machine.h"
#include "fuzz/files.h"
#include "video/scheduler.h"

namespace {

constexpr int MaxFramesPerInput = 8;
constexpr int SynthFrames = 1024;
constexpr uint32_t ProgramStart = 0xC000;
constexpr uint8_t OpJmpAbsolute = 0x4C;

uint8_t sound_buffer[SynthFrames * 4];

// One program bank whose reset and NMI vectors point at a jump to itself, and
// whose bytes elsewhere vary so that sample fetches see changing data.
void write_cartridge() {
    static uint8_t image[16 + 16384];
    std::memcpy(image, "NES\x1a", 4);
    image[4] = 1;
    uint8_t* bank = image + 16;
    for (int i = 0; i < 16384; i++)
        bank[i] = uint8_t(i * 37 + (i >> 7));
    bank[0] = OpJmpAbsolute;
    bank[1] = ProgramStart & 0xFF;
    bank[2] = ProgramStart >> 8;
    for (int vector = 0x3FFA; vector < 0x4000; vector += 2) {
        bank[vector] = ProgramStart & 0xFF;
        bank[vector + 1] = ProgramStart >> 8;
    }
    write_bytes("game.nes", image, sizeof image);
    uint8_t palette[192];
    for (int i = 0; i < 192; i++)
        palette[i] = uint8_t(255 - i);
    write_bytes("palette.pal", palette, sizeof palette);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    enter_work_folder();
    write_cartridge();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::memset(static_cast<void*>(&machine), 0, sizeof machine);
    if (!machine_init()) std::abort();
    int frames = 0;
    for (size_t i = 0; i + 3 <= size; i += 3) {
        const uint8_t op = data[i];
        const uint8_t where = data[i + 1];
        const uint8_t value = data[i + 2];
        switch (op & 7) {
        case 0: bus_write(0x2000 + (where & 7), value); break;
        case 1: (void)bus_read(0x2000 + (where & 7)); break;
        case 2: bus_write(0x4000 + (where % 0x18), value); break;
        case 3: bus_write(0x4016, value); break;
        case 4: (void)bus_read(0x4016); break;
        case 5: bus_write(0x4014, value); break;
        case 6:
            machine.PadState = value;
            if (frames < MaxFramesPerInput) {
                run_frame();
                frames++;
            }
            break;
        case 7:
            if (value & 1)
                synthesize_interpolated(sound_buffer, where * 4);
            else
                synthesize_plain(sound_buffer, where * 4);
            break;
        }
    }
    return 0;
}
