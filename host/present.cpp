// Presentation of the picture and the window's two modes.
//
//   Geometry ............ PictureRectFor, WindowToPicture
//   Presenting .......... Present
//   Window modes ........ SetFullscreen, SetScale, RequestClose, SyncVideoChoices
//
// The picture is always drawn at the window's full height with its 256:224
// shape kept and centred; in a window narrower than that shape it is cut
// equally at both sides. Results of the window and render calls are not
// examined: a failed call leaves the window as it was and the player goes on.
#include "host/present.h"

#include <SDL.h>
#include <cstdint>

#include "host/host.h"
#include "overlay/menu.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"

namespace {

constexpr int32_t PictureWidth = 256;
constexpr int32_t PictureHeight = 224;
constexpr int32_t PicturePitch = PictureWidth * 4;
constexpr int ScaleChoices = 4; // 1x..4x; the fifth video choice is FULL

// Scale x one side of the picture. A scale from the settings file is used as
// it comes, but the product is held inside 32 bits rather than overflowing.
int32_t ScaledSide(int32_t scale, int32_t side) {
    const int64_t size = int64_t(scale) * side;
    if (size > INT32_MAX) return INT32_MAX;
    if (size < INT32_MIN) return INT32_MIN;
    return int32_t(size);
}

void ResizeCentred() {
    SDL_SetWindowSize(Host.Window, ScaledSide(Config.Scale, PictureWidth),
                      ScaledSide(Config.Scale, PictureHeight));
    SDL_SetWindowPosition(Host.Window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

void MarkChoice(int32_t item, bool selected) {
    if (item >= 0 && item < OverlaySlots) Overlay.Items[item].Selected = selected;
}

} // namespace

// ---------------------------------------------------------------------------
// Geometry

PictureRect PictureRectFor(int32_t window_width, int32_t window_height) {
    PictureRect rect;
    rect.width = int32_t(int64_t(window_height) * PictureWidth / PictureHeight);
    rect.left = (window_width - rect.width) / 2;
    return rect;
}

void WindowToPicture(int32_t window_width, int32_t window_height, int32_t x, int32_t y, int32_t* column,
                     int32_t* row) {
    const PictureRect rect = PictureRectFor(window_width, window_height);
    if (window_height <= 0 || rect.width <= 0) {
        *column = -1;
        *row = -1;
        return;
    }
    *column = int32_t(int64_t(x - rect.left) * PictureWidth / rect.width);
    *row = int32_t(int64_t(y) * PictureHeight / window_height);
}

// ---------------------------------------------------------------------------
// Presenting

void Present(const uint32_t* pixels) {
    SDL_UpdateTexture(Host.PictureTexture, nullptr, pixels, PicturePitch);
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(Host.Window, &w, &h);
    if (Host.ArtworkTexture) {
        const SDL_Rect whole = {0, 0, w, h};
        SDL_RenderCopy(Host.Renderer, Host.ArtworkTexture, nullptr, &whole);
    } else {
        // Nothing else covers the sides of the picture: black, not whatever
        // the back buffer held.
        SDL_SetRenderDrawColor(Host.Renderer, 0, 0, 0, SDL_ALPHA_OPAQUE);
        SDL_RenderClear(Host.Renderer);
    }
    const PictureRect rect = PictureRectFor(w, h);
    const SDL_Rect target = {rect.left, 0, rect.width, h};
    SDL_RenderCopy(Host.Renderer, Host.PictureTexture, nullptr, &target);
    SDL_RenderPresent(Host.Renderer);
}

// ---------------------------------------------------------------------------
// Window modes

void SetFullscreen(bool full) {
    Config.Windowed = !full;
    SDL_SetWindowFullscreen(Host.Window, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    // Also when going full screen: the window then comes back at this size.
    ResizeCentred();
    SyncVideoChoices();
}

void SetScale(int32_t n) {
    Config.Scale = n;
    Config.Windowed = true;
    ResizeCentred();
    SyncVideoChoices();
}

void RequestClose() {
    EndCapture();
    // The confirmation box must not hide behind a full-screen window.
    Config.Windowed = true;
    SDL_SetWindowFullscreen(Host.Window, 0);
    ResizeCentred();
    SyncVideoChoices();
    Host.CloseRequested = true;
}

void SyncVideoChoices() {
    const int32_t mode = Config.Windowed ? Config.Scale : 0;
    for (int choice = 0; choice < ScaleChoices; choice++)
        MarkChoice(Host.VideoChoiceItems[choice], mode == choice + 1);
    // By the mode itself, not by mode 0: a scale of 0 from the settings file
    // is still a window.
    MarkChoice(Host.VideoChoiceItems[ScaleChoices], !Config.Windowed);
}
