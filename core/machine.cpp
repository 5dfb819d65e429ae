// Power-on: loading "palette.pal" and "game.nes" into the machine record.
#include "core/machine.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "audio/apu.h"
#include "video/background.h"

Machine machine;
uint32_t FrameBuffer[ScreenPixels];

namespace {

constexpr int PaletteFileBytes = 64 * 3;
constexpr int HeaderBytes = 16;
constexpr int ResetVectorOffset = 0x3FFC; // within the last 16 KB bank

void load_palette(const uint8_t* bytes) {
    for (int n = 0; n < 64; n++) {
        const uint8_t* rgb = bytes + 3 * n;
        machine.palette[n] = uint32_t(rgb[0]) | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]) << 16;
    }
}

void clear_sound_fields() {
    constexpr auto relaxed = std::memory_order_relaxed;
    for (ToneChannel& c : machine.channels) {
        c.phase.store(0, relaxed);
        c.phase_step.store(0, relaxed);
        c.wave_offset.store(0, relaxed);
        c.volume.store(0, relaxed);
        c.target_volume.store(0, relaxed);
    }
    machine.pulse1_period = 0;
    machine.pulse2_period = 0;
    machine.triangle_period = 0;
    machine.noise_sample.store(0, relaxed);
    machine.noise_position.store(0, relaxed);
    for (std::atomic<int32_t>* f : {&machine.dmc_rate_reg, &machine.dmc_address_reg, &machine.dmc_length_reg,
                                    &machine.dmc_address, &machine.dmc_bytes_left, &machine.dmc_byte,
                                    &machine.dmc_bit, &machine.dmc_level})
        f->store(0, relaxed);
}

} // namespace

bool machine_init() {
    FILE* file = std::fopen("palette.pal", "rb");
    if (!file)
        return false;
    // A short palette file leaves the entries it does not cover black.
    uint8_t palette_bytes[PaletteFileBytes] = {};
    (void)std::fread(palette_bytes, 1, sizeof palette_bytes, file);
    std::fclose(file);
    load_palette(palette_bytes);
    // The palette is taken even when the image is refused; the background's
    // drawn tiles go with it, and with the patterns loaded below.
    background_forget();

    file = std::fopen("game.nes", "rb");
    if (!file)
        return false;
    uint8_t header[HeaderBytes] = {};
    (void)std::fread(header, 1, sizeof header, file);
    // The record holds at most 32 program and 4 character banks, and without
    // a program bank there is no reset vector: such an image is refused like
    // a missing one, before anything of the record changes.
    if (header[4] == 0 || header[4] > MaxPrgBanks || header[5] > MaxChrBanks) {
        std::fclose(file);
        return false;
    }
    machine.prg_size = header[4] * PrgBankSize;
    machine.prg_mask = machine.prg_size - 1;
    machine.chr_size = header[5] * ChrBankSize;
    machine.mirroring = header[6] & 1;
    // Short reads are not an error: bytes the file lacks stay as they were (0).
    (void)std::fread(machine.prg_rom, 1, size_t(machine.prg_size), file);
    (void)std::fread(machine.chr_mem, 1, size_t(machine.chr_size), file);
    std::fclose(file);

    std::memset(machine.oam, 0xFF, sizeof machine.oam);
    std::memset(machine.palette_ram, 0x0F, sizeof machine.palette_ram);
    std::memset(machine.nametable_ram, 0, sizeof machine.nametable_ram);
    if (machine.chr_size == 0)
        std::memset(machine.chr_mem, 0, sizeof machine.chr_mem);

    machine.A = machine.X = machine.Y = 0;
    machine.S = 0;
    machine.cycle_debt = 0;
    machine.page_crossed = 0;
    machine.prg_bank_offset = 0;
    machine.prg_fixed_offset = machine.prg_size - PrgBankSize;
    machine.chr_bank_offset = 0;
    machine.ppu_ctrl = machine.ppu_mask = machine.oam_addr = 0;
    machine.vram_addr = machine.temp_addr = machine.fine_x = machine.write_toggle = 0;
    machine.read_buffer = 0;
    machine.PadState = machine.pad_shift = 0;
    clear_sound_fields();

    build_noise_tables();

    // The reset vector straight from the last bank, as a bus read of $FFFC would see it.
    const int32_t low = machine.prg_rom[(machine.prg_fixed_offset + ResetVectorOffset) & machine.prg_mask];
    const int32_t high = machine.prg_rom[(machine.prg_fixed_offset + ResetVectorOffset + 1) & machine.prg_mask];
    machine.PC = uint16_t(high << 8 | low);
    machine.cycle_debt = 7;
    return true;
}
