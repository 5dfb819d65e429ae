// Picture-unit registers: to be written.
#include "video/ppu.h"

uint8_t vram_read(uint32_t, bool) { return 0; }
void vram_write(uint32_t, uint8_t) {}
uint8_t ppu_read_register(uint32_t) { return 0; }
void ppu_write_register(uint32_t, uint8_t) {}
void sprite_dma(uint8_t) {}
