// Widget toolkit: to be written.
#include "overlay/toolkit.h"

OverlayState Overlay;
const uint8_t OverlayFont[128][16] = {};

int32_t AddItem(const char*, int32_t, int32_t, int32_t, uint32_t, OverlayCallback) { return -1; }
void PointAt(int32_t, int32_t, int32_t) {}
void DrawGlyph(int32_t, int32_t, int32_t, uint32_t) {}
void DrawOverlay() {}
