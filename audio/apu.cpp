// Sound registers: each write is turned at once into channel parameters
// (phase step, wave, target volume) and sample-channel state; the synthesis
// on the audio thread makes sound from them.
//
// Index
//   constant tables
//   period conversions
//   register writes
//   noise tables
//
// Runs on the main thread. Every field it shares with the audio thread is
// stored whole with relaxed order; nothing here waits for that thread.
#include "audio/apu.h"

#include "core/machine.h"

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

constexpr int32_t CpuClock = 1789772;
constexpr int32_t OutputRate = 44100;
// 44,100 / 32 rounded down: a tone of q Hz advances 32 steps of 0x10000
// q times per 44,100 samples.
constexpr int32_t ToneDivisor = OutputRate / WaveSteps;
constexpr int PhaseFractionBits = 16;
constexpr double PhaseOnePerSample = 65536.0 / OutputRate;
constexpr int32_t TimerTicksPerStep = 16;

constexpr uint8_t VolumeMask = 0x0F;
constexpr uint8_t PeriodHighMask = 0x07;
constexpr int32_t PeriodLowMask = 0xFF;
constexpr uint8_t RateIndexMask = 0x0F;
constexpr uint8_t TriangleOnThreshold = 129; // bit 7 and at least one of bits 0-6
constexpr int32_t FullVolume = 15;
constexpr uint8_t SampleEnableBit = 0x10;
constexpr int32_t SampleWindow = 0xC000;
constexpr int32_t SampleAddressUnit = 64;
constexpr int32_t SampleLengthUnit = 16;

} // namespace

// --- Constant tables ----------------------------------------------------------

// clang-format off
const int32_t wave_table[WaveTableSize] = {
    15, 15, 15, 15,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
    15, 15, 15, 15, 15, 15, 15, 15,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,
    15, 15, 15, 15, 15, 15, 15, 15,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15,
    15, 14, 13, 12, 11, 10,  9,  8,  7,  6,  5,  4,  3,  2,  1,  0,
};
// clang-format on

const int32_t noise_periods[16] = {4, 8, 16, 32, 64, 96, 128, 160, 202, 254, 380, 508, 762, 1016, 2034, 4068};

const int32_t dmc_periods[16] = {428, 380, 340, 320, 286, 254, 226, 214, 190, 160, 142, 128, 106, 84, 72, 54};

// --- Period conversions ---------------------------------------------------------

namespace {

// Noise and sample channel: one step each time the phase passes 0x10000, so
// the channel steps CpuClock / period times per second of output.
int32_t rate_phase_step(int32_t period) {
    return int32_t(double(CpuClock / period) * PhaseOnePerSample);
}

} // namespace

void set_tone_period(int32_t period, int channel) {
    const int32_t frequency = CpuClock / ((period + 1) * TimerTicksPerStep);
    // For periods 0-2 the shifted frequency leaves 31 bits and the step comes
    // out negative; the shift is done unsigned so that this wrap is defined.
    const int32_t shifted = int32_t(uint32_t(frequency) << PhaseFractionBits);
    machine.channels[channel].phase_step.store(shifted / ToneDivisor, relaxed);
}

// --- Register writes ------------------------------------------------------------

namespace {

void write_duty_volume(ToneChannel& channel, uint8_t value) {
    // Bits 6-7 pick the duty wave; bits 4-5 are ignored, the low four bits
    // are always the volume.
    channel.wave_offset.store((value >> 1) & 0x60, relaxed);
    channel.target_volume.store(value & VolumeMask, relaxed);
}

int32_t with_low_byte(int32_t period, uint8_t value) {
    return (period & ~PeriodLowMask) | value;
}

int32_t with_high_bits(int32_t period, uint8_t value) {
    return (value & PeriodHighMask) << 8 | (period & PeriodLowMask);
}

void write_triangle_control(uint8_t value) {
    ToneChannel& triangle = machine.channels[ChannelTriangle];
    const bool on = value >= TriangleOnThreshold;
    // A triangle that has fallen silent starts again at the first step of its
    // wave; one still sounding keeps its phase so the note does not click.
    if (on && triangle.volume.load(relaxed) == 0) triangle.phase.store(0, relaxed);
    triangle.target_volume.store(on ? FullVolume : 0, relaxed);
}

void write_noise_mode(uint8_t value) {
    ToneChannel& noise = machine.channels[ChannelNoise];
    noise.wave_offset.store(value & NoiseShortMode, relaxed);
    noise.phase_step.store(rate_phase_step(noise_periods[value & RateIndexMask]), relaxed);
}

void write_sample_control(uint8_t value) {
    if (!(value & SampleEnableBit)) {
        machine.dmc_bytes_left.store(0, relaxed);
        return;
    }
    if (machine.dmc_bytes_left.load(relaxed) != 0) return;
    ToneChannel& sample = machine.channels[ChannelSample];
    machine.dmc_level.store(0, relaxed);
    machine.dmc_bit.store(0, relaxed);
    sample.phase.store(0, relaxed);
    machine.dmc_address.store(SampleWindow + machine.dmc_address_reg.load(relaxed) * SampleAddressUnit,
                              relaxed);
    // The rate is latched here: a later $4010 write waits for the next start.
    sample.phase_step.store(rate_phase_step(dmc_periods[machine.dmc_rate_reg.load(relaxed) & RateIndexMask]),
                            relaxed);
    // Stored last: a nonzero count is what makes the audio thread play.
    machine.dmc_bytes_left.store(machine.dmc_length_reg.load(relaxed) * SampleLengthUnit + 1, relaxed);
}

} // namespace

void apu_write_register(uint32_t address, uint8_t value) {
    switch (address) {
    case 0x4000: write_duty_volume(machine.channels[ChannelPulse1], value); break;
    case 0x4002:
        machine.pulse1_period = with_low_byte(machine.pulse1_period, value);
        set_tone_period(machine.pulse1_period, ChannelPulse1);
        break;
    case 0x4003:
        machine.pulse1_period = with_high_bits(machine.pulse1_period, value);
        set_tone_period(machine.pulse1_period, ChannelPulse1);
        break;
    case 0x4004: write_duty_volume(machine.channels[ChannelPulse2], value); break;
    case 0x4006:
        machine.pulse2_period = with_low_byte(machine.pulse2_period, value);
        set_tone_period(machine.pulse2_period, ChannelPulse2);
        break;
    case 0x4007:
        machine.pulse2_period = with_high_bits(machine.pulse2_period, value);
        set_tone_period(machine.pulse2_period, ChannelPulse2);
        break;
    case 0x4008: write_triangle_control(value); break;
    // The triangle's timer runs at twice the pulses' rate for the same
    // 32-step wave, so its period counts double.
    case 0x400A:
        machine.triangle_period = with_low_byte(machine.triangle_period, value);
        set_tone_period(2 * machine.triangle_period, ChannelTriangle);
        break;
    case 0x400B:
        machine.triangle_period = with_high_bits(machine.triangle_period, value);
        set_tone_period(2 * machine.triangle_period, ChannelTriangle);
        break;
    case 0x400C: machine.channels[ChannelNoise].target_volume.store(value & VolumeMask, relaxed); break;
    case 0x400E: write_noise_mode(value); break;
    case 0x4010: machine.dmc_rate_reg.store(value, relaxed); break;
    case 0x4012: machine.dmc_address_reg.store(value, relaxed); break;
    case 0x4013: machine.dmc_length_reg.store(value, relaxed); break;
    case 0x4015: write_sample_control(value); break;
    default: break; // no effect: sweeps, length counters, direct level, frame counter
    }
}

// --- Noise tables ---------------------------------------------------------------

namespace {

// One full period of a 15-bit shift register that starts at 1 and feeds
// bit 0 XOR bit `tap` back into bit 14.
void fill_noise_sequence(uint8_t* table, int length, int tap, uint8_t loud) {
    uint32_t shift = 1;
    for (int n = 0; n < length; n++) {
        const uint32_t feedback = (shift ^ (shift >> tap)) & 1;
        shift = shift >> 1 | feedback << 14;
        table[n] = (shift & 1) ? loud : 0;
    }
}

constexpr int LongTap = 1;
constexpr int ShortTap = 6;
constexpr uint8_t LongLevel = 8;
constexpr uint8_t ShortLevel = 15;

} // namespace

void build_noise_tables() {
    fill_noise_sequence(machine.noise_long_table, NoiseLongLength, LongTap, LongLevel);
    fill_noise_sequence(machine.noise_short_table, NoiseShortLength, ShortTap, ShortLevel);
}
