// The main loop: one pass after another until a confirmed quit ends the
// process, with the 60 Hz frame clock and the event table.
#pragma once

#include <cstdint>

#include "host/clock.h"

union SDL_Event;

// Shows "Please confirm"; true when the player chose "Yes", or when the box
// cannot be shown at all, since the player did ask to quit.
bool ConfirmClose();

// One entry of the event table.
void HandleEvent(const SDL_Event& event);

// One pass: close request, events, input, frames, picture, overlay, present.
// `now` is the counter reading taken when the previous present returned.
void RunLoopPass(FrameClock* clock, uint64_t now);

// Passes until the process exits, from a clock started at start-up; never
// returns.
[[noreturn]] void RunMainLoop(FrameClock* clock);
