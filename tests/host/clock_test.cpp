// The frame clock on synthetic counter readings: displays near and above
// 60 Hz with readings that wander after each sync, missed syncs, a stall,
// and passes without vertical sync.
#include <cmath>
#include <gtest/gtest.h>
#include <random>

#include "display_model.h"
#include "host/clock.h"

namespace {

constexpr double Seconds = 120.0;
constexpr uint64_t Frequency = ModelFrequency;

uint64_t Ticks(double seconds) {
    return uint64_t(std::llround(seconds * double(Frequency)));
}

TEST(FrameClock, KeepsTheDisplaysRhythmWhateverTheReadingsJitter) {
    struct Case {
        double rate;
        // Pictures out of rhythm in two minutes that the drift between the
        // display and 60 Hz alone calls for, plus two for the start.
        int64_t allowed;
    };
    // 59.94 Hz falls a frame behind every 16.7 s, 60.05 Hz gains one every
    // 20 s; 120 and 144 Hz have no drift.
    const Case cases[] = {{60.0, 2}, {60000.0 / 1001.0, 10}, {60.05, 8}, {120.0, 2}, {144.0, 2}};
    for (const Case& c : cases)
        for (const double jitter : {0.3, 1.0})
            for (const double phase : {0.1, 0.5, 0.9}) {
                const CadenceCount count = RunDisplay({c.rate, jitter, phase, 0.0, 7}, Seconds);
                SCOPED_TRACE(::testing::Message() << c.rate << " Hz, " << jitter << " ms, phase " << phase);
                EXPECT_LE(count.uneven, c.allowed);
                EXPECT_LT(count.worstLag, 2.0) << "frames follow the wall clock";
                EXPECT_NEAR(double(count.frames), 60.0 * Seconds, 2.0);
            }
}

// A present that misses a sync shows one picture a refresh longer; the
// clock must count that refresh rather than lose its rhythm over it.
TEST(FrameClock, AMissedSyncCostsAboutOnePicture) {
    for (const double rate : {60.0, 120.0}) {
        const CadenceCount count = RunDisplay({rate, 1.0, 0.5, 0.005, 11}, Seconds);
        SCOPED_TRACE(::testing::Message() << rate << " Hz");
        ASSERT_GT(count.missed, 20);
        EXPECT_LE(count.uneven, count.missed + count.missed / 5 + 2);
        EXPECT_LT(count.worstLag, 2.0);
    }
}

TEST(FrameClock, AStallRunsFiveFramesAndDropsTheRest) {
    static FrameClock clock;
    FrameClockStart(&clock, Ticks(0.0));
    EXPECT_EQ(FrameClockAdvance(&clock, Ticks(0.0), Frequency), 0) << "the start-up reading itself";
    double t = 0.0;
    int32_t frames = 0;
    for (int pass = 1; pass <= 120; pass++) {
        t = pass / 60.0 + 0.0005;
        frames += FrameClockAdvance(&clock, Ticks(t), Frequency);
    }
    EXPECT_NEAR(frames, 120, 1);

    // Ten seconds in the confirmation box.
    t += 10.0;
    EXPECT_EQ(FrameClockAdvance(&clock, Ticks(t), Frequency), MaxFramesPerPass);
    // Then the display's rhythm again, one frame a pass, with no catch-up.
    for (int pass = 1; pass <= 120; pass++) {
        t += 1.0 / 60.0;
        EXPECT_EQ(FrameClockAdvance(&clock, Ticks(t), Frequency), 1) << pass;
    }

    // A counter that wrapped is a stall like any other.
    FrameClockStart(&clock, UINT64_MAX - 5);
    EXPECT_EQ(FrameClockAdvance(&clock, 5, 1), MaxFramesPerPass);
}

TEST(FrameClock, WithoutVerticalSyncTheFramesStillFollowTheWallClock) {
    // A hidden window: passes stretched to 4 ms, each a little longer by
    // whatever the sleep overshot.
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> overshoot(0.0, 0.002);
    static FrameClock clock;
    FrameClockStart(&clock, Ticks(0.0));
    double t = 0.0;
    int64_t frames = 0;
    double worst = 0.0;
    while (t < 30.0) {
        t += MinPassSeconds + overshoot(random);
        frames += FrameClockAdvance(&clock, Ticks(t), Frequency);
        worst = std::fmax(worst, std::fabs(double(frames) - 60.0 * t));
    }
    EXPECT_LT(worst, 2.0);
}

TEST(FrameClock, ShortPassesAreStretchedToTheMinimum) {
    const uint64_t ms = Frequency / 1000;
    EXPECT_EQ(PassDelayMs(0, Frequency), 4u);
    EXPECT_EQ(PassDelayMs(ms, Frequency), 3u);
    EXPECT_EQ(PassDelayMs(3 * ms + ms / 2, Frequency), 1u);
    EXPECT_EQ(PassDelayMs(4 * ms, Frequency), 0u);
    EXPECT_EQ(PassDelayMs(16 * ms, Frequency), 0u) << "a display-paced pass never sleeps";
    // Whatever the pass took, with its sleep it lasts at least 4 ms.
    for (uint64_t ticks = 0; ticks < 5 * ms; ticks += 37 * ms / 1000)
        EXPECT_GE(double(ticks) / Frequency + PassDelayMs(ticks, Frequency) / 1000.0, MinPassSeconds)
            << ticks;
}

} // namespace
