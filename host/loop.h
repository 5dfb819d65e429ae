// The main loop: one pass after another until a confirmed quit ends the
// process, with the 60 Hz frame clock and the event table.
#pragma once

#include <cstdint>

union SDL_Event;

// Whole 1/60 s frames fall due as wall-clock time passes; at most
// `MaxFramesPerPass` of them at once, the rest of a longer stall is dropped.
struct FrameClock {
    double accumulator; // in frames
    uint64_t previous;  // performance-counter reading of the last advance
};

constexpr double MaxFramesPerPass = 5.0;
// A pass that returns far sooner than a display refresh (a hidden window, no
// vertical sync) is stretched to this, so the loop never spins.
constexpr double MinPassSeconds = 1.0 / 250.0;

// Adds the time from `previous` to `now` and takes out the whole frames that
// are due; returns how many.
int32_t FrameClockAdvance(FrameClock* clock, uint64_t now, uint64_t frequency);

// Milliseconds to sleep after a pass that took `pass_ticks` counter ticks.
uint32_t PassDelayMs(uint64_t pass_ticks, uint64_t frequency);

// Shows "Please confirm"; true when the player chose "Yes", or when the box
// cannot be shown at all, since the player did ask to quit.
bool ConfirmClose();

// One entry of the event table.
void HandleEvent(const SDL_Event& event);

// One pass: close request, input, events, frames, picture, overlay, present.
void RunLoopPass(FrameClock* clock);

// Passes until the process exits; never returns.
[[noreturn]] void RunMainLoop(FrameClock* clock);
