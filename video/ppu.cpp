// Picture-unit registers and the video address space.
//
// Index:
//   video memory  - vram_read, vram_write and the palette / nametable folds
//   registers     - ppu_read_register, ppu_write_register
//   sprite copy   - sprite_dma
#include "video/ppu.h"

#include "core/bus.h"
#include "video/background.h"

namespace {

constexpr uint32_t VideoAddressMask = 0x3FFF;
constexpr uint32_t NametableStart = 0x2000;
constexpr uint32_t PaletteStart = 0x3F00;
constexpr uint32_t ScrollMask = 0x7FFF;
constexpr uint32_t ChrMemMask = 0x7FFF;
constexpr uint8_t PaletteValueMask = 0x3F;

constexpr uint8_t CtrlStep32 = 0x04;
constexpr uint8_t StatusVblank = 0x80;
constexpr uint8_t StatusWrittenBits = 0x1F;

constexpr uint16_t TempNametableBits = 0x0C00;
constexpr uint16_t TempCoarseX = 0x001F;
constexpr uint16_t TempVerticalBits = 0x73E0; // fine Y and coarse Y
constexpr uint16_t TempHighBits = 0x7F00;     // bits 8-14, set by the first $2006 write

constexpr int SpriteDmaCycles = 513;

// ---------------------------------------------------------------------------
// Video memory
// ---------------------------------------------------------------------------

// The four sprite backdrop entries $3F10/14/18/1C are the universal backdrop,
// entry 0; every other address folds onto its 32-byte cell.
uint32_t palette_index(uint32_t a) {
    return (a & 0x13) == 0x10 ? 0 : a & 0x1F;
}

uint32_t advance_step() {
    return (machine.ppu_ctrl & CtrlStep32) ? 32 : 1;
}

} // namespace

uint8_t vram_read(uint32_t address, bool buffered) {
    const uint32_t a = address & VideoAddressMask;
    if (a >= PaletteStart) return machine.palette_ram[palette_index(a)];
    const uint8_t byte = a < NametableStart
                             ? machine.chr_mem[(uint32_t(machine.chr_bank_offset) + a) & ChrMemMask]
                             : machine.nametable_ram[ppu_nametable_index(a)];
    const uint8_t previous = machine.read_buffer;
    machine.read_buffer = byte;
    return buffered ? previous : byte;
}

void vram_write(uint32_t address, uint8_t value) {
    const uint32_t a = address & VideoAddressMask;
    if (a >= PaletteStart) {
        machine.palette_ram[palette_index(a)] = value & PaletteValueMask;
    } else if (a >= NametableStart) {
        machine.nametable_ram[ppu_nametable_index(a)] = value;
    } else if (machine.chr_size == 0) {
        // Character ROM cartridges ignore the write; character RAM takes it
        // through the selected bank, and the background's drawn tiles may no
        // longer hold.
        uint8_t& cell = machine.chr_mem[(uint32_t(machine.chr_bank_offset) + a) & ChrMemMask];
        if (cell != value) {
            cell = value;
            background_forget();
        }
    }
}

// ---------------------------------------------------------------------------
// Registers
// ---------------------------------------------------------------------------

uint8_t ppu_read_register(uint32_t n) {
    switch (n & 7) {
    case 2: {
        const uint8_t status = machine.ppu_status;
        machine.ppu_status = status & uint8_t(~StatusVblank);
        machine.write_toggle = 0;
        return status;
    }
    case 7: {
        const uint8_t value = vram_read(machine.vram_addr, true);
        machine.vram_addr = uint16_t((machine.vram_addr + advance_step()) & ScrollMask);
        return value;
    }
    default: return 0;
    }
}

void ppu_write_register(uint32_t n, uint8_t value) {
    machine.ppu_status = uint8_t((machine.ppu_status & ~StatusWrittenBits) | (value & StatusWrittenBits));
    switch (n & 7) {
    case 0:
        machine.ppu_ctrl = value;
        machine.temp_addr = uint16_t((machine.temp_addr & ~TempNametableBits) | ((value & 3) << 10));
        break;
    case 1: machine.ppu_mask = value; break;
    case 2: break;
    case 3: machine.oam_addr = value; break;
    case 4:
        machine.oam[machine.oam_addr] = value;
        machine.oam_addr = uint8_t(machine.oam_addr + 1);
        break;
    case 5:
        if (machine.write_toggle == 0) {
            machine.temp_addr = uint16_t((machine.temp_addr & ~TempCoarseX) | (value >> 3));
            machine.fine_x = value & 7;
            machine.write_toggle = 1;
        } else {
            machine.temp_addr =
                uint16_t((machine.temp_addr & ~TempVerticalBits) | ((value & 7) << 12) | ((value >> 3) << 5));
            machine.write_toggle = 0;
        }
        break;
    case 6:
        if (machine.write_toggle == 0) {
            machine.temp_addr = uint16_t((machine.temp_addr & ~TempHighBits) | ((value & 0x7F) << 8));
            machine.write_toggle = 1;
        } else {
            machine.temp_addr = uint16_t((machine.temp_addr & TempHighBits) | value);
            machine.vram_addr = machine.temp_addr;
            machine.write_toggle = 0;
        }
        break;
    case 7:
        vram_write(machine.vram_addr, value);
        machine.vram_addr = uint16_t((machine.vram_addr + advance_step()) & ScrollMask);
        break;
    }
}

// ---------------------------------------------------------------------------
// Sprite copy
// ---------------------------------------------------------------------------

void sprite_dma(uint8_t page) {
    machine.cycle_debt += SpriteDmaCycles;
    // Through the processor's own reads, so a page in a register range has
    // that range's side effects.
    const uint32_t base = uint32_t(page) << 8;
    for (uint32_t i = 0; i < 256; i++)
        machine.oam[i] = bus_read(base + i);
}
