// The front-end's global records.
#include "host/host.h"

HostState Host;
uint32_t Canvas[ScreenPixels];
const uint8_t* KeyboardState = nullptr;

void ResetHostState() {
    Host.Window = nullptr;
    Host.Renderer = nullptr;
    Host.PictureTexture = nullptr;
    Host.ArtworkTexture = nullptr;
    // No motion seen yet: a click before the first one hits nothing.
    Host.PictureMouseX = -1;
    Host.PictureMouseY = -1;
    Host.OverlayOpen.store(false, std::memory_order_relaxed);
    Host.OverlaySlide = OverlayHiddenSlide;
    // The menu records its item indices; until it does, no item is named.
    for (int32_t& item : Host.VideoChoiceItems)
        item = -1;
    for (int32_t& item : Host.BindingRowItems)
        item = -1;
    Host.CapturePending = false;
    Host.CaptureItem = -1;
    Host.CloseRequested = false;
}
