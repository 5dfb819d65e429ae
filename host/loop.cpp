// The main loop.
//
//   Quit confirmation ... ConfirmClose
//   Events .............. HandleEvent
//   One pass ............ RunLoopPass
//
// The display sets the rate of passes (the present waits for vertical sync);
// the frame clock turns the counter readings into emulated frames, 60 per
// second of wall-clock time in the display's own rhythm. What calls the
// passes is the platform's: loop_native.cpp, loop_web.cpp.
#include "host/loop.h"

#include <SDL.h>
#include <cstdlib>
#include <cstring>

#include "audio/device.h"
#include "host/host.h"
#include "host/input.h"
#include "host/present.h"
#include "host/shutdown.h"
#include "overlay/menu.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"
#include "video/scheduler.h"

namespace {

constexpr int32_t SlideStep = 8;

void ToggleOverlay() {
    Host.OverlayOpen.store(!Host.OverlayOpen.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

// Mouse buttons act where the last motion left the pointer.
void PointAtLastPosition(int32_t clicks) {
    if (Overlay.Interactive) PointAt(Host.PictureMouseX, Host.PictureMouseY, clicks);
}

void HandleKey(const SDL_KeyboardEvent& key) {
    const SDL_Keycode sym = key.keysym.sym;
    if (sym == SDLK_RETURN) {
        if (key.keysym.mod & KMOD_ALT) SetFullscreen(Config.Windowed);
    } else if (sym == SDLK_ESCAPE) {
        if (!EndCapture()) ToggleOverlay();
    } else if (sym >= SDLK_1 && sym <= SDLK_4) {
        const int32_t scale = int32_t(sym - SDLK_0);
        if (Config.Windowed && scale != Config.Scale) SetScale(scale);
    } else if (sym == SDLK_F10) {
        RequestClose();
    }
}

void HandleMouseButton(const SDL_MouseButtonEvent& button) {
    if (button.button == SDL_BUTTON_LEFT) {
        PointAtLastPosition(button.clicks);
    } else if (button.button == SDL_BUTTON_RIGHT) {
        if (!EndCapture()) ToggleOverlay();
        PointAtLastPosition(0);
    } else {
        PointAtLastPosition(0);
    }
}

void SlideOverlay() {
    if (Host.OverlayOpen.load(std::memory_order_relaxed)) {
        if (Host.OverlaySlide < 0) {
            Host.OverlaySlide += SlideStep;
            if (Host.OverlaySlide >= 0) {
                Host.OverlaySlide = 0;
                Overlay.Interactive = true;
            }
        }
    } else {
        Overlay.Interactive = false;
        if (Host.OverlaySlide > OverlayHiddenSlide) Host.OverlaySlide -= SlideStep;
    }
}

// The pointer is needed in a window and on the overlay; over the game in
// full screen it would only be in the way.
void UpdateCursor() {
    const bool wanted = Config.Windowed || Host.OverlayOpen.load(std::memory_order_relaxed);
    const int shown = SDL_ShowCursor(SDL_QUERY);
    if (wanted && shown == SDL_DISABLE)
        SDL_ShowCursor(SDL_ENABLE);
    else if (!wanted && shown == SDL_ENABLE)
        SDL_ShowCursor(SDL_DISABLE);
}

} // namespace

// ---------------------------------------------------------------------------
// Quit confirmation

bool ConfirmClose() {
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
    };
    const SDL_MessageBoxData box = {SDL_MESSAGEBOX_WARNING,
                                    nullptr,
                                    "Please confirm",
                                    "Do you really want to close the game?",
                                    2,
                                    buttons,
                                    nullptr};
    int chosen = -1;
    if (ShowEndableMessageBox(&box, &chosen) < 0) return true;
    return chosen == 1;
}

// ---------------------------------------------------------------------------
// Events

void HandleEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
            PauseSound(false);
        else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            PauseSound(true);
        break;
    case SDL_KEYDOWN: HandleKey(event.key); break;
    case SDL_QUIT: RequestClose(); break;
    case SDL_AUDIODEVICEREMOVED: SoundDeviceRemoved(event.adevice.which); break;
    case SDL_MOUSEMOTION: {
        int w = 0;
        int h = 0;
        SDL_GetWindowSize(Host.Window, &w, &h);
        WindowToPicture(w, h, event.motion.x, event.motion.y, &Host.PictureMouseX, &Host.PictureMouseY);
        PointAtLastPosition(0);
        break;
    }
    case SDL_MOUSEBUTTONDOWN: HandleMouseButton(event.button); break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// One pass

void RunLoopPass(FrameClock* clock, uint64_t now) {
    // A termination signal is a quit the session has confirmed already; it
    // also closes a confirmation box that was up.
    if (EndRequested()) std::exit(0);
    if (Host.CloseRequested) {
        PauseSound(true);
        if (ConfirmClose() || EndRequested()) std::exit(0);
        PauseSound(false);
        Host.CloseRequested = false;
    }

    // The key array is the host's live one, brought up to date as the events
    // are pumped: read after them, a key that went down during the last pass
    // reaches the pad before this pass's frames, as a joystick does.
    KeyboardState = SDL_GetKeyboardState(nullptr);
    SDL_Event event;
    while (SDL_PollEvent(&event))
        HandleEvent(event);
    SDL_JoystickUpdate();
    ReadControls();

    // Frames that fall due while the overlay is open are used up unplayed,
    // so closing it resumes the game without a burst of catch-up frames.
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    const int32_t frames = FrameClockAdvance(clock, now, frequency);
    if (!Host.OverlayOpen.load(std::memory_order_relaxed))
        for (int32_t i = 0; i < frames; i++)
            run_frame();

    std::memcpy(Canvas, FrameBuffer, sizeof Canvas);
    SlideOverlay();
    UpdateCursor();
    Overlay.OffsetX = 0;
    Overlay.OffsetY = Host.OverlaySlide;
    DrawOverlay();
    Present(Canvas + VisibleTop * ScreenWidth);
    KeepSettingsStored(now, frequency);
    KeepSoundOpen(now, frequency);
}
