// The picture unit's registers at $2000-$2007, the sprite-memory copy of
// $4014, and the 16 KB video address space behind them.
#pragma once

#include <cstdint>

#include "core/machine.h"

uint8_t vram_read(uint32_t address, bool buffered);
void vram_write(uint32_t address, uint8_t value);
uint8_t ppu_read_register(uint32_t n);
void ppu_write_register(uint32_t n, uint8_t value);
void sprite_dma(uint8_t page);

// Cell of `nametable_ram` behind a video address in $2000-$3EFF. Inline
// because the background renderer fetches a nametable byte for every tile.
inline uint32_t ppu_nametable_index(uint32_t address) {
    if (machine.mirroring) return address & 0x7FF;
    return (address & 0x3FF) | ((address >> 1) & 0x400);
}
