// The main loop on the desktop: `main` hands over to a loop of passes that
// never returns, paced by the present's wait for the display's vertical
// sync; a pass that did not wait (a hidden window, no sync) is stretched so
// the loop never spins.
#include "host/loop.h"

#include <SDL.h>

void RunMainLoop(FrameClock* clock) {
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    uint64_t now = clock->previous;
    for (;;) {
        RunLoopPass(clock, now);
        // Read where the reading wanders least: right as the present returns
        // from its wait for the display, or from the stretch of a pass that
        // did not wait.
        const uint64_t presented = SDL_GetPerformanceCounter();
        const uint32_t delay = PassDelayMs(presented - now, frequency);
        if (delay > 0) SDL_Delay(delay);
        now = delay > 0 ? SDL_GetPerformanceCounter() : presented;
    }
}
