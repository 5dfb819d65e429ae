#include "display_model.h"

#include <cmath>
#include <random>

#include "host/clock.h"

CadenceCount RunDisplay(const DisplayModel& display, double seconds) {
    std::mt19937_64 random(display.seed);
    std::normal_distribution<double> jitter(0.0, display.jitterMs / 1000.0);
    const double refresh = 1.0 / display.refreshRate;
    const auto ticks = [](double t) { return uint64_t(std::llround(t * double(ModelFrequency))); };
    // Holds the display's rate allows: 1 pass at 60 Hz, 2 at 120, 2 or 3 at 144.
    const int64_t shortest = int64_t(std::floor(display.refreshRate / 60.0 + 0.02));
    const int64_t longest = int64_t(std::ceil(display.refreshRate / 60.0 - 0.02));

    static FrameClock clock;
    FrameClockStart(&clock, ticks(0.0));
    CadenceCount count = {0, 0, 0, 0.0, 0};
    int64_t held = -1; // passes the picture on screen has stood, -1 before the first
    double reading = 0.0;
    for (int64_t sync = 0;; sync++) {
        const int32_t frames = FrameClockAdvance(&clock, ticks(reading), ModelFrequency);
        count.passes++;
        count.frames += frames;
        count.worstLag = std::fmax(count.worstLag, std::fabs(double(count.frames) - 60.0 * reading));
        if (frames > 0) {
            if (held >= 0 && (held < shortest || held > longest)) count.uneven++;
            count.uneven += frames - 1;
            held = 0;
        }
        if (held >= 0) held++;
        if (display.missedShare > 0.0 &&
            std::uniform_real_distribution<double>(0.0, 1.0)(random) < display.missedShare) {
            sync++;
            count.missed++;
        }
        const double next = (display.phase + double(sync)) * refresh + std::fabs(jitter(random));
        reading = std::fmax(next, reading + 1e-6);
        if (reading > seconds) return count;
    }
}
