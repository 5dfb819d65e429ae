// The main loop in a web page. A page that looped in `main` would never draw
// nor take an event, so the browser's frame timer calls one pass per display
// refresh instead; the frame clock turns those into 60 frames a second of
// wall-clock time, as it does with the desktop's vertical sync.
//
//   Page events ... DropUnofferedEvents, OnVisibilityChange, OnFullscreenChange
//   The loop ...... RunPagePass, RunMainLoop
#include "host/loop.h"

#include <SDL.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include "audio/device.h"
#include "host/present.h"
#include "overlay/settings.h"

namespace {

// Zero frames a second: the browser's frame timer, in the display's rhythm.
constexpr int BrowserFrameTimer = 0;
// Hand over as the desktop's loop does, never coming back to `main`.
constexpr int KeepMainUnfinished = 1;

// There is nothing to quit in a page: the browser closes it. F10 and a quit
// event would only ask "Please confirm" of a player who cannot leave.
int DropUnofferedEvents(void*, SDL_Event* event) {
    if (event->type == SDL_QUIT) return 0;
    return event->type == SDL_KEYDOWN && event->key.keysym.sym == SDLK_F10 ? 0 : 1;
}

// A hidden page gets no frame timer, so the game stands still; its sound
// would go on playing the last notes. Shown again, the game takes up where
// it stood instead of catching up on the time it was away.
EM_BOOL OnVisibilityChange(int, const EmscriptenVisibilityChangeEvent* change, void* clock) {
    PauseSound(change->hidden);
    if (!change->hidden) FrameClockStart(static_cast<FrameClock*>(clock), SDL_GetPerformanceCounter());
    return EM_FALSE;
}

// The browser also leaves full screen by itself, at Escape or its own key,
// and keeps that key from the page. The player follows as if it had been
// asked, so that the setting and the overlay's choice say what the page
// shows and the next Alt+Return goes to full screen again.
EM_BOOL OnFullscreenChange(int, const EmscriptenFullscreenChangeEvent* change, void*) {
    if (!change->isFullscreen && !Config.Windowed) SetFullscreen(false);
    return EM_FALSE;
}

// The reading is taken as the browser starts the pass, right after the
// refresh it draws for.
void RunPagePass(void* clock) {
    RunLoopPass(static_cast<FrameClock*>(clock), SDL_GetPerformanceCounter());
}

} // namespace

void RunMainLoop(FrameClock* clock) {
    SDL_SetEventFilter(DropUnofferedEvents, nullptr);
    emscripten_set_visibilitychange_callback(clock, EM_FALSE, OnVisibilityChange);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                             OnFullscreenChange);
    emscripten_set_main_loop_arg(RunPagePass, clock, BrowserFrameTimer, KeepMainUnfinished);
    // Kept unfinished, the call unwinds to the browser and never returns.
    __builtin_unreachable();
}
