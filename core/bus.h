// The processor's 16-bit address space: work RAM, the picture-unit and sound
// registers, the controller port, the two program windows and the bank
// register. Addresses above $FFFF wrap: only the low 16 bits count.
//
// The program windows and work RAM, which take nearly every access, are
// decoded here inline so that the processor's handlers pay no call for them;
// the register ranges go to the out-of-line decode in bus.cpp.
#pragma once

#include <cstdint>

#include "core/machine.h"

constexpr uint32_t BusAddressMask = 0xFFFF;
constexpr uint32_t BusFixedWindow = 0xC000;  // last program bank, never switched
constexpr uint32_t BusSwitchWindow = 0x8000; // bank chosen by the bank register
constexpr uint32_t BusRamEnd = 0x2000;       // 2 KB work RAM seen four times
constexpr uint32_t BusRamMask = 0x07FF;

// $2000-$7FFF: picture-unit registers, sound and controller registers, and
// the empty range above them. Called by bus_read / bus_write only.
uint8_t bus_read_registers(uint32_t address);
void bus_write_registers(uint32_t address, uint8_t value);
// $8000-$FFFF: the bank register.
void bus_write_bank(uint8_t value);

// The program windows come first: instruction fetches, the bulk of all
// reads, then cost one or two comparisons. The fixed window shows the last
// bank of the image, always inside it, so only the switched one is masked.
inline uint8_t bus_read(uint32_t address) {
    address &= BusAddressMask;
    if (address >= BusFixedWindow)
        return machine.prg_rom[machine.prg_fixed_offset + int32_t(address - BusFixedWindow)];
    if (address >= BusSwitchWindow)
        return machine
            .prg_rom[(machine.prg_bank_offset + int32_t(address - BusSwitchWindow)) & machine.prg_mask];
    if (address < BusRamEnd) return machine.ram[address & BusRamMask];
    return bus_read_registers(address);
}

inline void bus_write(uint32_t address, uint8_t value) {
    address &= BusAddressMask;
    if (address < BusRamEnd)
        machine.ram[address & BusRamMask] = value;
    else if (address >= BusSwitchWindow)
        bus_write_bank(value);
    else
        bus_write_registers(address, value);
}
