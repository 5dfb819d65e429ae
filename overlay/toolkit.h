// A small retained-mode widget layer drawn straight into the Canvas with its
// own 8 x 8 font: a blue-tinted panel, labels, choice buttons and binding
// fields, with mouse hover and clicks.
#pragma once

#include <cstdint>

constexpr int KindFree = 0;
constexpr int KindLabel = 1;
constexpr int KindChoice = 2;
constexpr int KindBinding = 3;

constexpr int OverlaySlots = 128;
constexpr int32_t NameQuery = 0x8000; // callback argument bit: asks a binding row for its name

using OverlayCallback = void (*)(int32_t);

struct OverlayItem {
    int32_t Kind;
    int32_t X;
    int32_t Y;
    uint32_t Colour;
    bool Selected;
    bool Hover;
    char Label[130];
    OverlayCallback Callback;
};

struct OverlayState {
    bool Interactive;
    uint32_t* Pixels;
    int32_t Width;
    int32_t Height;
    int32_t OffsetX;
    int32_t OffsetY;
    int32_t PanelX, PanelY;
    int32_t PanelWidth, PanelHeight;
    int32_t BlinkCounter;
    char NameBuffer[1024];
    OverlayItem Items[OverlaySlots];
};

extern OverlayState Overlay;

// Glyphs for codes 32..159, 16 bytes each (8 rows, then 8 zero bytes).
extern const uint8_t OverlayFont[128][16];

int32_t AddItem(const char* label, int32_t kind, int32_t x, int32_t y, uint32_t colour, OverlayCallback callback);
void PointAt(int32_t x, int32_t y, int32_t clicks);
void DrawGlyph(int32_t glyph, int32_t x, int32_t y, uint32_t colour);
void DrawOverlay();
