// The processor's 16-bit address space: work RAM, the picture-unit and sound
// registers, the controller port, the two program windows and the bank
// register. Addresses above $FFFF wrap: only the low 16 bits count.
#pragma once

#include <cstdint>

uint8_t bus_read(uint32_t address);
void bus_write(uint32_t address, uint8_t value);
