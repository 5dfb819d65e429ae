// The frame clock's figures: for common displays and reading jitters, how
// many pictures a second come out of rhythm over ten simulated minutes,
// averaged over start phases, and the largest distance of the frames run
// from 60 a second of wall-clock time.
//
//   host-clock-figures [SECONDS] [PHASES] [MISSED]
//
// MISSED is the share of presents that miss their sync (0 by default).
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "display_model.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    const int phases = argc > 2 ? std::atoi(argv[2]) : 16;
    const double missed = argc > 3 ? std::atof(argv[3]) : 0.0;
    const double rates[] = {60.0, 60000.0 / 1001.0, 60.05, 120.0, 144.0};
    const double jitters[] = {0.3, 1.0, 2.0};
    std::printf("%d phases of %.0f s each\n", phases, seconds);
    std::printf("display     | out of rhythm a second (0.3, 1, 2 ms) | worst lag in frames\n");
    for (const double rate : rates) {
        std::printf("%8.3f Hz |", rate);
        double worst = 0.0;
        for (const double jitter : jitters) {
            double uneven = 0.0;
            for (int phase = 0; phase < phases; phase++) {
                const DisplayModel display = {rate, jitter, (phase + 0.5) / phases, missed,
                                              uint64_t(phase + 1)};
                const CadenceCount count = RunDisplay(display, seconds);
                uneven += double(count.uneven) / seconds;
                worst = std::fmax(worst, count.worstLag);
            }
            std::printf(" %8.3f", uneven / phases);
        }
        std::printf("             | %.2f\n", worst);
    }
    return 0;
}
