// The front-end's global state: host handles, the overlay's slide and the
// binding capture, and the picture buffer that the overlay draws on.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/machine.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

constexpr int VisibleTop = 8;      // first presented row of the picture
constexpr int VisibleHeight = 224; // rows 8..231 are presented
constexpr int OverlayHiddenSlide = -160;

struct HostState {
    SDL_Window* Window;
    SDL_Renderer* Renderer;
    SDL_Texture* PictureTexture;
    SDL_Texture* ArtworkTexture;
    int32_t PictureMouseX;
    int32_t PictureMouseY;
    // Read by the audio thread: while set, the sound is silent.
    std::atomic<bool> OverlayOpen;
    int32_t OverlaySlide;
    int32_t VideoChoiceItems[5]; // 1x, 2x, 3x, 4x, FULL
    int32_t BindingRowItems[8];  // Up, Down, Left, Right, Select, Start, B, A
    bool CapturePending;
    int32_t CaptureItem;
    bool CloseRequested;
};

extern HostState Host;

// Puts every field of `Host` to its start value: no handles, the overlay
// hidden, no capture, no close request, the mouse nowhere.
void ResetHostState();

// The per-pass copy of the FrameBuffer that the overlay draws on.
extern uint32_t Canvas[ScreenPixels];

// The host library's live key array, taken once per main-loop pass.
extern const uint8_t* KeyboardState;
