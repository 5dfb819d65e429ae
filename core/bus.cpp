// Address decode for every processor access.
//
// The program windows are tested first: instruction fetches, the bulk of all
// reads, then cost two comparisons.
#include "core/bus.h"

#include "audio/apu.h"
#include "core/machine.h"
#include "core/pad.h"
#include "video/ppu.h"

namespace {

constexpr uint32_t FixedWindow = 0xC000;
constexpr uint32_t SwitchWindow = 0x8000;
constexpr uint32_t RamEnd = 0x2000;
constexpr uint32_t RamMask = 0x07FF;
constexpr uint32_t PpuEnd = 0x4000;
constexpr uint32_t IoEnd = 0x4020;
constexpr uint32_t SpriteDmaPort = 0x4014;
constexpr uint32_t PadPort = 0x4016;

constexpr uint8_t BankPrgMask = 0x1F;
constexpr int BankChrShift = 5;
constexpr uint8_t BankChrMask = 3;

} // namespace

uint8_t bus_read(uint32_t address) {
    address &= 0xFFFF;
    if (address >= FixedWindow)
        return machine.prg_rom[(machine.prg_fixed_offset + int32_t(address - FixedWindow)) & machine.prg_mask];
    if (address >= SwitchWindow)
        return machine.prg_rom[(machine.prg_bank_offset + int32_t(address - SwitchWindow)) & machine.prg_mask];
    if (address < RamEnd)
        return machine.ram[address & RamMask];
    if (address < PpuEnd)
        return ppu_read_register(address & 7);
    if (address == PadPort)
        return pad_port_read();
    return 0;
}

void bus_write(uint32_t address, uint8_t value) {
    address &= 0xFFFF;
    if (address < RamEnd) {
        machine.ram[address & RamMask] = value;
    } else if (address < PpuEnd) {
        ppu_write_register(address & 7, value);
    } else if (address == SpriteDmaPort) {
        sprite_dma(value);
    } else if (address == PadPort) {
        pad_port_write(value);
    } else if (address < IoEnd) {
        apu_write_register(address, value);
    } else if (address >= SwitchWindow) {
        // The bank register: the value is taken as written, never combined
        // with the ROM byte under it.
        machine.prg_bank_offset = (value & BankPrgMask) * PrgBankSize;
        machine.chr_bank_offset = ((value >> BankChrShift) & BankChrMask) * ChrBankSize;
    }
}
