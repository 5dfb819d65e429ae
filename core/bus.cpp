// Address decode of the register ranges and the bank register; the program
// windows and work RAM are decoded inline in bus.h.
#include "core/bus.h"

#include "audio/apu.h"
#include "core/machine.h"
#include "core/pad.h"
#include "video/ppu.h"

namespace {

constexpr uint32_t PpuEnd = 0x4000;
constexpr uint32_t PpuRegisterMask = 7; // eight registers seen every 8 bytes
constexpr uint32_t IoEnd = 0x4020;
constexpr uint32_t SpriteDmaPort = 0x4014;
constexpr uint32_t PadPort = 0x4016;

constexpr uint8_t BankPrgMask = 0x1F;
constexpr int BankChrShift = 5;
constexpr uint8_t BankChrMask = 3;

} // namespace

uint8_t bus_read_registers(uint32_t address) {
    if (address < PpuEnd) return ppu_read_register(address & PpuRegisterMask);
    if (address == PadPort) return pad_port_read();
    // The other sound and I/O registers read as 0, and there is no
    // cartridge RAM at $6000-$7FFF.
    return 0;
}

void bus_write_registers(uint32_t address, uint8_t value) {
    if (address < PpuEnd)
        ppu_write_register(address & PpuRegisterMask, value);
    else if (address == SpriteDmaPort)
        sprite_dma(value);
    else if (address == PadPort)
        pad_port_write(value);
    else if (address < IoEnd)
        apu_write_register(address, value);
}

void bus_write_bank(uint8_t value) {
    // The value is taken as written, never combined with the ROM byte under
    // it; bit 7 is ignored. A bank beyond the image reaches prg_rom only
    // through prg_mask, on every read.
    machine.prg_bank_offset = (value & BankPrgMask) * PrgBankSize;
    machine.chr_bank_offset = ((value >> BankChrShift) & BankChrMask) * ChrBankSize;
}
