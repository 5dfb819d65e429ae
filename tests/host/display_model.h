// A display's vertical syncs and the counter readings a main loop takes just
// after each present returns, fed to the frame clock: what each pass runs,
// how evenly the pictures come, and how far the frames stray from 60 a
// second of wall-clock time.
#pragma once

#include <cstdint>

struct DisplayModel {
    double refreshRate; // hertz
    double jitterMs;    // each reading comes |N(0, jitterMs)| after its sync
    double phase;       // share of a refresh from the start-up reading to the first sync
    double missedShare; // share of passes whose present misses a sync and waits for the next
    uint64_t seed;
};

struct CadenceCount {
    int64_t passes;
    int64_t frames;
    // Pictures shown for another number of passes than the display's rate
    // calls for (1 at 60 Hz, 2 at 120 Hz, 2 or 3 at 144 Hz), a skipped
    // picture counting as shown for none.
    int64_t uneven;
    double worstLag; // largest |frames run - 60 x seconds since start-up|
    int64_t missed;  // syncs the presents missed
};

// Counter ticks per second in the model, as on the host.
constexpr uint64_t ModelFrequency = 1000000000;

// `seconds` of passes on the display.
CadenceCount RunDisplay(const DisplayModel& display, double seconds);
