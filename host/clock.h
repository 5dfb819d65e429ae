// The frame clock: how many 1/60 s emulated frames each pass of the main
// loop runs, from performance-counter readings alone.
#pragma once

#include <cstdint>

constexpr int32_t MaxFramesPerPass = 5;
// A pass that returns far sooner than a display refresh (a hidden window, no
// vertical sync) is stretched to this, so the loop never spins.
constexpr double MinPassSeconds = 1.0 / 250.0;
// Readings kept to measure the display's refresh rate.
constexpr int32_t RhythmReadings = 256;

// The display sets the passes' rhythm; the clock keeps to it. Each pass adds
// the display refreshes it lasted to a cadence, at the measured frames per
// refresh, and runs the whole frames the cadence owes: one every pass at
// 60 Hz, one every second pass at 120 Hz. The wall clock is still the
// measure: `drift` is how far it ran ahead of the cadence, and only once
// that exceeds a large part of a frame is a frame added or held back, so
// reading jitter never decides what a pass runs.
struct FrameClock {
    uint64_t previous;   // performance-counter reading of the last advance
    int32_t refreshRate; // in whole hertz, 0 until measured
    double owed;         // frames the cadence has come to but not yet run, -0.5..0.5 after a pass
    double drift;        // wall-clock frames beyond the cadence
    // The last readings, each with the refreshes counted up to it.
    uint64_t readings[RhythmReadings];
    uint64_t refreshCounts[RhythmReadings];
    int32_t newest;
    int32_t kept;
};

// Starts the clock at a reading, with nothing owed.
void FrameClockStart(FrameClock* clock, uint64_t now);

// Takes the reading of this pass and returns how many frames it runs.
int32_t FrameClockAdvance(FrameClock* clock, uint64_t now, uint64_t frequency);

// Milliseconds to sleep after a pass that took `pass_ticks` counter ticks.
uint32_t PassDelayMs(uint64_t pass_ticks, uint64_t frequency);
