// Sound registers: to be written.
#include "audio/apu.h"

void apu_write_register(uint32_t, uint8_t) {}
void set_tone_period(int32_t, int) {}
void build_noise_tables() {}
