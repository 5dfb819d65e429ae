// Synthesis: the mix of each channel, the volume ramps, the noise and sample
// channel steps, saturation and the empty buffer.
#include <gtest/gtest.h>

#include <vector>

#include "audio/apu.h"
#include "audio/synth.h"
#include "core/bus.h"
#include "core/machine.h"
#include "sound_fields.h"
#include "support/cartridge.h"

namespace {

constexpr uint32_t PhaseOne = 0x10000;

struct Frame {
    int left;
    int right;
};

std::vector<Frame> synthesize(int count, bool interpolated = false) {
    std::vector<uint8_t> bytes(size_t(count) * 4);
    if (interpolated)
        synthesize_interpolated(bytes.data(), count);
    else
        synthesize_plain(bytes.data(), count);
    std::vector<Frame> frames;
    for (size_t n = 0; n < bytes.size(); n += 4)
        frames.push_back({int16_t(bytes[n] | bytes[n + 1] << 8), int16_t(bytes[n + 2] | bytes[n + 3] << 8)});
    return frames;
}

// A channel held still (no phase step) at `phase` with a fixed volume.
void hold(int index, uint32_t phase, int32_t wave_offset, int32_t volume) {
    ToneChannel& c = machine.channels[index];
    c.phase.store(phase);
    c.phase_step.store(0);
    c.wave_offset.store(wave_offset);
    c.volume.store(volume);
    c.target_volume.store(volume);
}

constexpr int32_t Duty2 = 64;
constexpr int32_t Duty3 = 96;

// Left output of pulse 1 alone at wave value 15 and the given volume.
int pulse1_left(int volume) {
    return 15 * volume * 492 >> 4;
}

class Synthesis : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(load_image(make_image(1, 1))); }
};

TEST_F(Synthesis, EachChannelsWeightAndPlace) {
    hold(ChannelPulse1, 0, Duty2, 15);
    std::vector<Frame> f = synthesize(1);
    EXPECT_EQ(f[0].left, 6918);
    EXPECT_EQ(f[0].right, 1729);

    hold(ChannelPulse1, 0, Duty2, 0);
    hold(ChannelPulse2, 0, Duty2, 15);
    f = synthesize(1);
    EXPECT_EQ(f[0].left, 1729);
    EXPECT_EQ(f[0].right, 6918);

    // Pulse 2 at its low half is silent, whatever the volume.
    hold(ChannelPulse2, 20u << 16, Duty2, 15);
    hold(ChannelTriangle, 15u << 16, 0, 15); // top step
    f = synthesize(1);
    EXPECT_EQ(f[0].left, 7832);
    EXPECT_EQ(f[0].right, 7832);

    hold(ChannelTriangle, 0, 0, 0);
    hold(ChannelNoise, 0, 0, 15);
    machine.noise_sample.store(15);
    f = synthesize(1);
    EXPECT_EQ(f[0].left, 15 * 15 * 323 >> 4);
    EXPECT_EQ(f[0].right, f[0].left);

    machine.noise_sample.store(0);
    machine.dmc_level.store(10);
    f = synthesize(1);
    EXPECT_EQ(f[0].left, 10 * 5256 >> 4);
    EXPECT_EQ(f[0].right, f[0].left);
}

TEST_F(Synthesis, InterpolationSlidesBetweenSteps) {
    // Half way from step 15 (value 15) to step 16 (value 0) of the duty-2 wave:
    // 15 + ((-15 * 0x8000) >> 16) = 7, rounding toward minus infinity.
    hold(ChannelPulse1, 15u << 16 | 0x8000, Duty2, 15);
    EXPECT_EQ(synthesize(1, true)[0].left, 7 * 15 * 492 >> 4);
    EXPECT_EQ(synthesize(1, false)[0].left, 6918);
    // Rising edge, a quarter of the way from step 31 (0) to step 0 (15): the
    // next step wraps to the start of the same wave.
    hold(ChannelPulse1, 31u << 16 | 0x4000, Duty2, 15);
    EXPECT_EQ(synthesize(1, true)[0].left, 3 * 15 * 492 >> 4);
    // The triangle between two equal steps stays at 15.
    hold(ChannelPulse1, 0, Duty2, 0);
    hold(ChannelTriangle, 15u << 16 | 0xC000, 0, 15);
    EXPECT_EQ(synthesize(1, true)[0].left, 7832);
}

TEST_F(Synthesis, PhaseAdvancesBeforeTheWaveIsRead) {
    // Duty 0 is high for steps 0-3: from phase 0 with a step of one wave step
    // per frame, frames 0-2 read steps 1-3 and frame 3 reads step 4, low.
    hold(ChannelPulse1, 0, 0, 15);
    machine.channels[ChannelPulse1].phase_step.store(int32_t(PhaseOne));
    const std::vector<Frame> f = synthesize(33);
    for (int i = 0; i < 33; i++)
        EXPECT_EQ(f[size_t(i)].left, ((i + 1) % 32) < 4 ? pulse1_left(15) : 0) << "frame " << i;
    EXPECT_EQ(machine.channels[ChannelPulse1].phase.load(), 33u * PhaseOne);
}

TEST_F(Synthesis, VolumesRiseFastAndFallSlowlyByBufferFrame) {
    hold(ChannelPulse1, 0, Duty2, 15);
    machine.channels[ChannelPulse1].target_volume.store(0);
    std::vector<Frame> f = synthesize(1024);
    EXPECT_EQ(f[31].left, pulse1_left(15));
    EXPECT_EQ(f[32].left, pulse1_left(14));
    EXPECT_EQ(f[95].left, pulse1_left(14));
    EXPECT_EQ(f[96].left, pulse1_left(13));
    EXPECT_EQ(f[927].left, pulse1_left(1));
    EXPECT_EQ(f[928].left, pulse1_left(0));
    EXPECT_EQ(f[1023].left, 0);
    EXPECT_EQ(machine.channels[ChannelPulse1].volume.load(), 0);

    machine.channels[ChannelPulse1].target_volume.store(15);
    f = synthesize(1024);
    EXPECT_EQ(f[0].left, pulse1_left(1));
    EXPECT_EQ(f[1].left, pulse1_left(1));
    EXPECT_EQ(f[2].left, pulse1_left(2));
    EXPECT_EQ(f[27].left, pulse1_left(14));
    EXPECT_EQ(f[28].left, pulse1_left(15));
    EXPECT_EQ(f[1023].left, pulse1_left(15));

    // The frame count restarts with each buffer: in buffers of 40 frames the
    // fall comes at frame 32 of every one of them.
    machine.channels[ChannelPulse1].target_volume.store(0);
    for (int n = 0; n < 3; n++) {
        f = synthesize(40);
        EXPECT_EQ(f[31].left, pulse1_left(15 - n));
        EXPECT_EQ(f[32].left, pulse1_left(14 - n));
    }
    // A rise from 12 stops at the target.
    machine.channels[ChannelPulse1].target_volume.store(13);
    f = synthesize(40);
    EXPECT_EQ(f[0].left, pulse1_left(13));
    EXPECT_EQ(f[39].left, pulse1_left(13));
}

TEST_F(Synthesis, NoiseFollowsItsTableByMode) {
    bus_write(0x400E, 0x00); // fastest period: a step on almost every frame
    hold(ChannelNoise, 0, 0, 15);
    machine.channels[ChannelNoise].phase_step.store(664934);
    std::vector<Frame> f = synthesize(1024);
    for (int i = 0; i < 1024; i++)
        ASSERT_EQ(f[size_t(i)].left, machine.noise_long_table[i] * 15 * 323 >> 4) << "frame " << i;
    EXPECT_EQ(machine.noise_position.load(), 1024u);

    // Short mode reads the 93-entry table from the same position count.
    machine.noise_position.store(0);
    machine.channels[ChannelNoise].wave_offset.store(NoiseShortMode);
    machine.channels[ChannelNoise].phase.store(0);
    f = synthesize(200);
    for (int i = 0; i < 200; i++)
        ASSERT_EQ(f[size_t(i)].left, machine.noise_short_table[i % 93] * 15 * 323 >> 4) << "frame " << i;
}

// A phase step of exactly one step makes the phase land on 0x10000 every
// frame: that is a step. The long table runs to its 32,767th entry before it
// starts again, and the value of the last step carries into the next buffer
// however slow the noise.
TEST_F(Synthesis, NoiseStepsOnAWholeStepWrapsItsTableAndKeepsItsLastValue) {
    hold(ChannelNoise, 0, 0, 15);
    machine.channels[ChannelNoise].phase_step.store(int32_t(PhaseOne));
    constexpr uint32_t Start = NoiseLongLength - 7;
    constexpr int Steps = 22; // up to entry 14, the first loud one after the wrap
    machine.noise_position.store(Start);
    machine.noise_sample.store(0);
    std::vector<Frame> f = synthesize(Steps);
    for (int i = 0; i < Steps; i++)
        ASSERT_EQ(f[size_t(i)].left,
                  machine.noise_long_table[(Start + uint32_t(i)) % NoiseLongLength] * 15 * 323 >> 4)
            << "frame " << i;
    EXPECT_EQ(machine.noise_position.load(), Start + Steps);
    ASSERT_EQ(machine.noise_long_table[14], 8);

    machine.channels[ChannelNoise].phase_step.store(0);
    f = synthesize(4);
    for (const Frame& frame : f)
        EXPECT_EQ(frame.left, 8 * 15 * 323 >> 4);
}

// Starts a sample at $C000 + 64 x `address_reg` of `length_reg` x 16 + 1
// bytes, stepping once per frame.
void start_sample(uint8_t address_reg, uint8_t length_reg) {
    bus_write(0x4012, address_reg);
    bus_write(0x4013, length_reg);
    bus_write(0x4015, 0x00);
    bus_write(0x4015, 0x10);
    machine.channels[ChannelSample].phase_step.store(int32_t(PhaseOne));
}

int sample_output(int level) {
    return level * 5256 >> 4;
}

TEST(SampleChannel, SeventeenBytesPlay129StepsThenDecayWithinBounds) {
    Image image = make_image(1, 1);
    for (uint32_t a = 0xC000; a < 0xC010; a++)
        fixed_byte(image, a) = 0xFF;
    fixed_byte(image, 0xC010) = 0xFE; // only its bit 0, a 0, is played
    fixed_byte(image, 0xC011) = 0xFF; // never fetched
    ASSERT_TRUE(load_image(image));
    start_sample(0, 1);

    const std::vector<Frame> f = synthesize(300);
    for (int step = 1; step <= 300; step++) {
        int level;
        if (step <= 63)
            level = step; // one level per 1 bit
        else if (step <= 128)
            level = 63; // held at the top however many 1 bits follow
        else
            level = std::max(0, 62 - (step - 129)); // the 0 bit, then decay to 0 and stay
        ASSERT_EQ(f[size_t(step - 1)].left, sample_output(level)) << "step " << step;
        ASSERT_EQ(f[size_t(step - 1)].right, sample_output(level)) << "step " << step;
    }
    EXPECT_EQ(machine.dmc_address.load(), 0xC011);
    EXPECT_EQ(machine.dmc_bytes_left.load(), 0);
    EXPECT_EQ(machine.dmc_level.load(), 0);

    // 0 bits never take the level below 0.
    start_sample(0x01, 0); // $C040: zero bytes
    machine.dmc_level.store(2);
    const std::vector<Frame> g = synthesize(8);
    const int expected[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(g[size_t(i)].left, sample_output(expected[i])) << "frame " << i;
}

TEST(SampleChannel, AddressWrapsToTheStartOfTheWindowAndRateSetsTheSpeed) {
    Image image = make_image(2, 1);
    fixed_byte(image, 0xFFC0) = 0x11;
    fixed_byte(image, 0xC000) = 0xA5;
    ASSERT_TRUE(load_image(image));
    start_sample(0xFF, 0xFF); // 4,081 bytes from $FFC0
    synthesize(1);
    EXPECT_EQ(machine.dmc_byte.load(), 0x11);
    synthesize(64 * 8 - 1); // the rest of the 64 bytes up to $FFFF
    EXPECT_EQ(machine.dmc_address.load(), 0xC000);
    synthesize(1);
    EXPECT_EQ(machine.dmc_byte.load(), 0xA5);
    EXPECT_EQ(machine.dmc_address.load(), 0xC001);
    EXPECT_EQ(machine.dmc_bytes_left.load(), 4081 - 65);

    // At the fastest rate 1,024 frames take 769 steps: 97 byte fetches.
    bus_write(0x4010, 0x0F);
    bus_write(0x4015, 0x00);
    bus_write(0x4015, 0x10);
    synthesize(1024);
    EXPECT_EQ(machine.dmc_bytes_left.load(), 4081 - 97);
    EXPECT_EQ(machine.dmc_bit.load(), 769 % 8);
}

TEST_F(Synthesis, FullLevelSaturatesInBothVariants) {
    hold(ChannelPulse1, 0, Duty3, 15);
    hold(ChannelPulse2, 0, Duty3, 15);
    hold(ChannelTriangle, 15u << 16, 0, 15);
    hold(ChannelNoise, 0, 0, 15);
    machine.noise_sample.store(15);
    machine.dmc_level.store(63);
    for (bool interpolated : {false, true}) {
        const Frame f = synthesize(1, interpolated)[0];
        EXPECT_EQ(f.left, 32767);
        EXPECT_EQ(f.right, 32767);
    }
    // Just inside the range nothing is clipped: pulses, triangle and noise
    // at full level without the sample channel come to 28,906.
    machine.dmc_level.store(0);
    const Frame f = synthesize(1)[0];
    EXPECT_EQ(f.left, (110700 + 110700 / 4 + 125325 + 72675) >> 4);
}

TEST_F(Synthesis, EmptyBufferChangesNothing) {
    bus_write(0x4000, 0xBF);
    bus_write(0x4002, 0x40);
    bus_write(0x400C, 0x0F);
    bus_write(0x400E, 0x03);
    bus_write(0x4015, 0x10);
    bus_write(0x4008, 0xFF);
    const std::vector<int64_t> before = sound_state();
    uint8_t buffer[16];
    for (int32_t count : {0, -1, -1024}) {
        std::fill(std::begin(buffer), std::end(buffer), 0xAB);
        synthesize_plain(buffer, count);
        synthesize_interpolated(buffer, count);
        for (uint8_t b : buffer)
            EXPECT_EQ(b, 0xAB);
    }
    EXPECT_EQ(sound_state(), before);
}

} // namespace
