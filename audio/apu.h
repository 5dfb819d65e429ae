// The sound registers at $4000-$4017 as this player interprets them: each
// write becomes channel parameters at once, which the synthesis reads.
#pragma once

#include <cstdint>

// Five waves of 32 steps: the pulse duties 0-3, then the triangle.
constexpr int WaveSteps = 32;
constexpr int WaveTableSize = 5 * WaveSteps;
constexpr int TriangleWaveBase = 4 * WaveSteps;
extern const int32_t wave_table[WaveTableSize];

// Processor cycles per noise step, by the low four bits of $400E.
extern const int32_t noise_periods[16];
// Processor cycles per sample bit, by the low four bits of $4010.
extern const int32_t dmc_periods[16];

// The noise channel's `wave_offset` when it plays the short sequence.
constexpr int32_t NoiseShortMode = 0x80;

void apu_write_register(uint32_t address, uint8_t value);
void set_tone_period(int32_t period, int channel);
void build_noise_tables();
