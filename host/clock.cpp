// The frame clock.
//
//   Rhythm .............. RefreshFrames, RestartRhythm, CountRefreshes, MeasureRhythm
//   Cadence ............. FrameClockStart, FrameClockAdvance
//   Pass stretch ........ PassDelayMs
//
// Counting whole frames of elapsed time (floor of an accumulator) lets the
// few tenths of a millisecond by which a counter reading wanders decide
// whether a pass on a 60 Hz display runs 0, 1 or 2 frames: pictures repeat
// and skip a few times a second. Here the frames follow the display's
// measured rhythm, and the wall clock corrects that rhythm only once the two
// are a large part of a frame apart. A slow drift between the display and
// 60 Hz then costs one repeated or skipped picture per whole frame of drift,
// and jitter costs none.
//
// The rate is taken in whole hertz. Displays run at whole rates or a
// fraction of a hertz off them (59.94 Hz), so the cadence is exact and
// steady, and the fraction is left to the drift correction.
#include "host/clock.h"

#include <cmath>

namespace {

constexpr double FramesPerSecond = 60.0;
// Until the display is measured, it is taken to refresh at 60 Hz.
constexpr int32_t AssumedRefreshRate = 60;
// Readings before the rate is first taken from them; fewer give too coarse
// a rate.
constexpr int32_t FirstMeasureReadings = 32;
// A measured rate this far from the one in use replaces it; nearer, the one
// in use stays, so that the cadence never wavers with the measurement.
constexpr double RateTolerance = 0.75; // hertz
// Drift beyond this many frames is handed to the cadence: far more than a
// reading's jitter, and after a correction the drift stands half a frame
// inside the other limit.
constexpr double DriftLimit = 0.75;
// A pass counts a further refresh only when it lasted nearly all of one
// more: a reading taken late is not mistaken for a missed sync, while a
// missed sync, which adds a whole refresh, is still seen.
constexpr double FurtherRefreshShare = 0.9;

// Frames per refresh of the display.
double RefreshFrames(const FrameClock* clock) {
    return FramesPerSecond / (clock->refreshRate != 0 ? clock->refreshRate : AssumedRefreshRate);
}

// Forgets the kept readings: the next one is the first of the new ones.
void RestartRhythm(FrameClock* clock) {
    clock->newest = 0;
    clock->kept = 0;
}

// The display refreshes a pass of `elapsed` frames lasted, at least one: a
// pass that waited for vertical sync saw one, and one that missed a sync saw
// two.
uint64_t CountRefreshes(const FrameClock* clock, double elapsed) {
    const double refreshes = std::floor(elapsed / RefreshFrames(clock) + (1.0 - FurtherRefreshShare));
    return refreshes < 1.0 ? 1 : uint64_t(refreshes);
}

// The rate is refreshes over time across the kept readings: the difference
// of two readings far apart, so one reading's jitter barely moves it.
void MeasureRhythm(FrameClock* clock, uint64_t now, uint64_t frequency, uint64_t refreshes) {
    if (clock->kept == 0) {
        clock->readings[0] = now;
        clock->refreshCounts[0] = 0;
        clock->kept = 1;
        return;
    }
    const uint64_t count = clock->refreshCounts[clock->newest] + refreshes;
    clock->newest = (clock->newest + 1) % RhythmReadings;
    clock->readings[clock->newest] = now;
    clock->refreshCounts[clock->newest] = count;
    if (clock->kept < RhythmReadings) clock->kept++;
    if (clock->kept < FirstMeasureReadings) return;

    const int32_t oldest = (clock->newest + RhythmReadings - (clock->kept - 1)) % RhythmReadings;
    const uint64_t ticks = now - clock->readings[oldest];
    if (ticks == 0) return;
    const double rate = double(count - clock->refreshCounts[oldest]) * double(frequency) / double(ticks);
    if (clock->refreshRate != 0 && std::fabs(rate - clock->refreshRate) <= RateTolerance) return;
    const long whole = std::lround(rate);
    clock->refreshRate = whole < 1 ? 1 : int32_t(whole);
}

} // namespace

// ---------------------------------------------------------------------------
// Cadence

void FrameClockStart(FrameClock* clock, uint64_t now) {
    clock->previous = now;
    clock->refreshRate = 0;
    clock->owed = 0.0;
    clock->drift = 0.0;
    RestartRhythm(clock);
}

int32_t FrameClockAdvance(FrameClock* clock, uint64_t now, uint64_t frequency) {
    // The start-up reading comes before any present, so the interval up to
    // the first pass's is no refresh: it neither runs nor counts.
    if (now == clock->previous) return 0;
    const double elapsed = double(now - clock->previous) * FramesPerSecond / double(frequency);
    clock->previous = now;

    // A stall (the confirmation box, a dragged window, a slow machine) is no
    // refresh of the display: run what one pass may, drop the rest, and
    // measure the rhythm afresh.
    if (elapsed >= MaxFramesPerPass) {
        RestartRhythm(clock);
        clock->owed = 0.0;
        clock->drift = 0.0;
        return MaxFramesPerPass;
    }

    const uint64_t refreshes = CountRefreshes(clock, elapsed);
    MeasureRhythm(clock, now, frequency, refreshes);
    const double cadence = double(refreshes) * RefreshFrames(clock);
    clock->owed += cadence;
    clock->drift += elapsed - cadence;
    while (clock->drift > DriftLimit) {
        clock->drift -= 1.0;
        clock->owed += 1.0;
    }
    while (clock->drift < -DriftLimit) {
        clock->drift += 1.0;
        clock->owed -= 1.0;
    }

    int32_t frames = int32_t(std::floor(clock->owed + 0.5));
    if (frames < 0) frames = 0;
    if (frames > MaxFramesPerPass) frames = MaxFramesPerPass;
    clock->owed -= frames;
    // What one pass may not run is dropped, as after a stall.
    if (clock->owed >= 0.5) clock->owed -= std::floor(clock->owed + 0.5);
    return frames;
}

// ---------------------------------------------------------------------------
// Pass stretch

uint32_t PassDelayMs(uint64_t pass_ticks, uint64_t frequency) {
    const double pass_seconds = double(pass_ticks) / double(frequency);
    if (pass_seconds >= MinPassSeconds) return 0;
    return uint32_t(std::ceil((MinPassSeconds - pass_seconds) * 1000.0));
}
