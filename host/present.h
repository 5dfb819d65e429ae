// Presentation of the picture and the window's two modes.
#pragma once

#include <cstdint>

// The picture at full window height with its 256:224 shape kept, centred.
struct PictureRect {
    int32_t left;
    int32_t width;
};
PictureRect PictureRectFor(int32_t window_width, int32_t window_height);

// Window coordinates to picture column and row; -1, -1 when the window or
// the picture has no size.
void WindowToPicture(int32_t window_width, int32_t window_height, int32_t x, int32_t y, int32_t* column,
                     int32_t* row);

void Present(const uint32_t* pixels);
void SetFullscreen(bool full);
void SetScale(int32_t n);
void RequestClose();
void SyncVideoChoices();
