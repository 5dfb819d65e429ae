// Sound register writes: which bits reach which channel parameter, the
// period conversions, the sample-channel start and stop rules and the noise
// tables built at power-on.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "audio/apu.h"
#include "core/bus.h"
#include "core/machine.h"
#include "sound_fields.h"
#include "support/cartridge.h"

namespace {

class Registers : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(load_image(make_image(1, 1))); }
};

ToneChannel& channel(int n) {
    return machine.channels[n];
}

TEST_F(Registers, DutyAndVolumeUseTheirBitsOnly) {
    bus_write(0x4000, 0xBF);
    EXPECT_EQ(channel(ChannelPulse1).wave_offset.load(), 64);
    EXPECT_EQ(channel(ChannelPulse1).target_volume.load(), 15);
    bus_write(0x4000, 0x30); // bits 4-5 set, volume 0: still silent
    EXPECT_EQ(channel(ChannelPulse1).wave_offset.load(), 0);
    EXPECT_EQ(channel(ChannelPulse1).target_volume.load(), 0);
    bus_write(0x4004, 0xC7);
    EXPECT_EQ(channel(ChannelPulse2).wave_offset.load(), 96);
    EXPECT_EQ(channel(ChannelPulse2).target_volume.load(), 7);
    bus_write(0x4004, 0x4A);
    EXPECT_EQ(channel(ChannelPulse2).wave_offset.load(), 32);
    EXPECT_EQ(channel(ChannelPulse2).target_volume.load(), 10);
    EXPECT_EQ(channel(ChannelPulse1).target_volume.load(), 0); // pulse 2 left pulse 1 alone
    // The register sets where the volume heads, never the volume itself.
    EXPECT_EQ(channel(ChannelPulse2).volume.load(), 0);
}

TEST_F(Registers, PeriodHalvesIgnoreTheLengthBitsAndKeepThePhase) {
    channel(ChannelPulse1).phase.store(0x123456);
    bus_write(0x4002, 0xFD);
    bus_write(0x4003, 0x00);
    EXPECT_EQ(machine.pulse1_period, 253);
    EXPECT_EQ(channel(ChannelPulse1).phase_step.load(), 20925);
    bus_write(0x4003, 0xF9);
    EXPECT_EQ(machine.pulse1_period, 0x1FD);
    EXPECT_EQ(channel(ChannelPulse1).phase.load(), 0x123456u);
    bus_write(0x4002, 0x00);
    EXPECT_EQ(machine.pulse1_period, 0x100);

    bus_write(0x4006, 0xFF);
    bus_write(0x4007, 0xFF);
    EXPECT_EQ(machine.pulse2_period, 2047);
    EXPECT_EQ(channel(ChannelPulse2).phase_step.load(), 2568);
    EXPECT_EQ(machine.pulse1_period, 0x100);

    // The triangle counts its period double: $400A = 100 sounds as a pulse
    // of period 200, 556 Hz.
    bus_write(0x400A, 100);
    bus_write(0x400B, 0xF8);
    EXPECT_EQ(machine.triangle_period, 100);
    set_tone_period(200, ChannelPulse1);
    EXPECT_EQ(channel(ChannelTriangle).phase_step.load(), channel(ChannelPulse1).phase_step.load());
    EXPECT_EQ(channel(ChannelTriangle).phase_step.load(), (556 << 16) / 1378);
}

// Vibrato and slides rewrite only the low byte: that write alone must retune
// its own channel, the triangle's at double period like the high write.
TEST_F(Registers, EitherHalfOfAPeriodRetunesItsChannelAlone) {
    struct Case {
        uint32_t high, low;
        int channel;
        uint8_t high_value, low_value;
        int32_t step;
    };
    const Case cases[] = {{0x4003, 0x4002, ChannelPulse1, 0x00, 0xFD, 20925},
                          {0x4007, 0x4006, ChannelPulse2, 0x07, 0xFF, 2568},
                          {0x400B, 0x400A, ChannelTriangle, 0x00, 100, (556 << 16) / 1378}};
    for (const Case& c : cases) {
        bus_write(c.high, c.high_value);
        for (int n = 0; n < ChannelCount; n++)
            channel(n).phase_step.store(-7);
        bus_write(c.low, c.low_value);
        for (int n = 0; n < ChannelCount; n++)
            EXPECT_EQ(channel(n).phase_step.load(), n == c.channel ? c.step : -7)
                << "channel " << n << " after $" << std::hex << c.low;
    }
}

TEST(TonePeriod, ListedStepsIncludingTheWrappedShortPeriods) {
    const std::array<std::pair<int32_t, int32_t>, 7> expected = {
        {{0, -913699}, {1, -456849}, {2, -1343535}, {3, 1329981}, {8, 591060}, {253, 20925}, {2047, 2568}}};
    for (auto [period, step] : expected) {
        set_tone_period(period, ChannelPulse2);
        EXPECT_EQ(machine.channels[ChannelPulse2].phase_step.load(), step) << "period " << period;
    }
}

TEST_F(Registers, TriangleThresholdAndRestartOfASilentTriangle) {
    ToneChannel& triangle = channel(ChannelTriangle);
    const std::array<std::pair<uint8_t, int32_t>, 5> levels = {
        {{0x80, 0}, {0x81, 15}, {0x7F, 0}, {0xFF, 15}, {0, 0}}};
    for (auto [value, target] : levels) {
        bus_write(0x4008, value);
        EXPECT_EQ(triangle.target_volume.load(), target) << "value " << int(value);
    }

    // Silent: switching on starts at the first step of the wave.
    triangle.phase.store(0x7A0000);
    bus_write(0x4008, 0x81);
    EXPECT_EQ(triangle.phase.load(), 0u);
    // Still sounding (volume not yet ramped down): the phase carries on.
    triangle.phase.store(0x7A0000);
    triangle.volume.store(3);
    bus_write(0x4008, 0x00);
    bus_write(0x4008, 0x81);
    EXPECT_EQ(triangle.phase.load(), 0x7A0000u);
    // Switching off never touches the phase.
    triangle.volume.store(0);
    bus_write(0x4008, 0x80);
    EXPECT_EQ(triangle.phase.load(), 0x7A0000u);
}

TEST_F(Registers, NoiseModeVolumeAndEveryPeriodStep) {
    bus_write(0x400C, 0xF9);
    EXPECT_EQ(channel(ChannelNoise).target_volume.load(), 9);
    const std::array<int32_t, 16> steps = {664934, 332466, 166232, 83116, 41558, 27704, 20778, 16623,
                                           13166,  10470,  6997,   5235,  3489,  2616,  1306,  652};
    for (int n = 0; n < 16; n++) {
        bus_write(0x400E, uint8_t(n | 0x70)); // bits 4-6 mean nothing
        EXPECT_EQ(channel(ChannelNoise).phase_step.load(), steps[size_t(n)]) << "index " << n;
        EXPECT_EQ(channel(ChannelNoise).wave_offset.load(), 0);
    }
    bus_write(0x400E, 0x85);
    EXPECT_EQ(channel(ChannelNoise).wave_offset.load(), NoiseShortMode);
    EXPECT_EQ(channel(ChannelNoise).phase_step.load(), 27704);
}

TEST_F(Registers, SampleRateIsTakenAtEachStartOnly) {
    const std::array<int32_t, 16> steps = {6213,  6997,  7822,  8311,  9298,  10470, 11768, 12428,
                                           13997, 16623, 18730, 20778, 25090, 31662, 36939, 49253};
    ToneChannel& sample = channel(ChannelSample);
    for (int n = 0; n < 16; n++) {
        bus_write(0x4010, uint8_t(n | 0xC0)); // loop and interrupt bits mean nothing
        EXPECT_EQ(sample.phase_step.load(), n == 0 ? 0 : steps[size_t(n - 1)]);
        bus_write(0x4015, 0x00);
        bus_write(0x4015, 0x10);
        EXPECT_EQ(sample.phase_step.load(), steps[size_t(n)]) << "index " << n;
    }
}

TEST_F(Registers, SampleStartAndStopRules) {
    bus_write(0x4012, 0x10);
    bus_write(0x4013, 0x02);
    bus_write(0x4015, 0x10);
    EXPECT_EQ(machine.dmc_address.load(), 0xC400);
    EXPECT_EQ(machine.dmc_bytes_left.load(), 33);

    // A start while a sample plays changes nothing, down to its last byte.
    for (int32_t left : {5, 1}) {
        machine.dmc_bytes_left.store(left);
        machine.dmc_level.store(40);
        machine.dmc_bit.store(3);
        machine.dmc_address.store(0xC777);
        channel(ChannelSample).phase.store(0x8000);
        bus_write(0x4012, 0xFF);
        bus_write(0x4013, 0xFF);
        const std::vector<int64_t> playing = sound_state();
        bus_write(0x4015, 0x10);
        EXPECT_EQ(sound_state(), playing) << left << " bytes left";
    }

    // Bit 4 clear stops it whatever the other bits; the level is left to decay.
    bus_write(0x4015, 0xEF);
    EXPECT_EQ(machine.dmc_bytes_left.load(), 0);
    EXPECT_EQ(machine.dmc_level.load(), 40);

    // Restart: from the address register, level, bit and phase back to 0.
    // $FFC0 is the highest start; 4,081 bytes run on past $FFFF.
    bus_write(0x4015, 0x10);
    EXPECT_EQ(machine.dmc_address.load(), 0xFFC0);
    EXPECT_EQ(machine.dmc_bytes_left.load(), 4081);
    EXPECT_EQ(machine.dmc_level.load(), 0);
    EXPECT_EQ(machine.dmc_bit.load(), 0);
    EXPECT_EQ(channel(ChannelSample).phase.load(), 0u);
}

TEST_F(Registers, RegistersWithoutEffectChangeNothing) {
    bus_write(0x4000, 0x9A);
    bus_write(0x4002, 0x31);
    bus_write(0x4015, 0x10);
    const std::vector<int64_t> before = sound_state();
    for (uint32_t address : {0x4001u, 0x4005u, 0x4009u, 0x400Du, 0x400Fu, 0x4011u, 0x4017u, 0x4018u, 0x401Fu})
        for (int value : {0x00, 0x55, 0xFF})
            bus_write(address, uint8_t(value));
    EXPECT_EQ(sound_state(), before);
    EXPECT_EQ(bus_read(0x4015), 0);
}

TEST_F(Registers, NoiseTablesHoldOnePeriodEach) {
    int long_loud = 0;
    int first_long = -1;
    for (int n = 0; n < NoiseLongLength; n++) {
        const uint8_t v = machine.noise_long_table[n];
        ASSERT_TRUE(v == 0 || v == 8) << "entry " << n;
        if (v && first_long < 0) first_long = n;
        long_loud += v != 0;
    }
    EXPECT_EQ(first_long, 14);
    EXPECT_EQ(long_loud, 16384);

    int short_loud = 0;
    int first_short = -1;
    for (int n = 0; n < NoiseShortLength; n++) {
        const uint8_t v = machine.noise_short_table[n];
        ASSERT_TRUE(v == 0 || v == 15) << "entry " << n;
        if (v && first_short < 0) first_short = n;
        short_loud += v != 0;
    }
    EXPECT_EQ(first_short, 14);
    EXPECT_EQ(short_loud, 16);
}

TEST(WaveTable, DutiesAndTriangle) {
    const int high_steps[4] = {4, 8, 16, 24};
    for (int duty = 0; duty < 4; duty++)
        for (int step = 0; step < WaveSteps; step++)
            EXPECT_EQ(wave_table[duty * WaveSteps + step], step < high_steps[duty] ? 15 : 0)
                << "duty " << duty << " step " << step;
    for (int step = 0; step < WaveSteps; step++)
        EXPECT_EQ(wave_table[TriangleWaveBase + step], step < 16 ? step : 31 - step) << "step " << step;
}

} // namespace
