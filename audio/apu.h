// The sound registers at $4000-$4017 as this player interprets them: each
// write becomes channel parameters at once, which the synthesis reads.
#pragma once

#include <cstdint>

void apu_write_register(uint32_t address, uint8_t value);
void set_tone_period(int32_t period, int channel);
void build_noise_tables();
