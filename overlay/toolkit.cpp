// The overlay's widget toolkit: the item table, pointer hit-testing and the
// drawing of the tinted panel and its items into the Canvas.
//
//   Item table      AddItem, ItemWidth
//   Pointer         PointAt
//   Drawing         DrawGlyph, DrawText, HoverColour, TintPanel, DrawOverlay
//
// Every pixel store is clipped to Width x Height, so items and the panel may
// slide partly or wholly out of the picture without any care by the caller.
#include "overlay/toolkit.h"

#include <algorithm>
#include <cstring>

#include "host/host.h"

OverlayState Overlay;

constexpr int GlyphSize = 8;
constexpr int FirstTextCode = 32;
constexpr int LastTextCode = 127;
constexpr int MarkerUnchosen = 126; // glyph numbers, past the text codes
constexpr int MarkerChosen = 127;
constexpr int PromptWidth = 3 * GlyphSize; // "???" while a binding is captured
constexpr int BlinkBit = 8;                // prompt shown for 8 draws, hidden for 8
constexpr uint32_t ShadowColour = 0x000000;
constexpr int LabelCapacity = sizeof(OverlayItem::Label);
constexpr int NameCapacity = sizeof(OverlayState::NameBuffer);

static int32_t LabelLength(const OverlayItem& item) {
    return int32_t(strnlen(item.Label, LabelCapacity));
}

// Asks a binding field's callback for its binding's name; the text is left in
// NameBuffer. A field without a callback has no name to show.
static int32_t QueryName(int32_t slot) {
    OverlayItem& item = Overlay.Items[slot];
    if (item.Callback == nullptr) return 0;
    item.Callback(slot | NameQuery);
    return int32_t(strnlen(Overlay.NameBuffer, NameCapacity));
}

// =============================================================================
// Item table
// =============================================================================

static int32_t ItemWidth(int32_t slot) {
    const OverlayItem& item = Overlay.Items[slot];
    int32_t width = GlyphSize * LabelLength(item);
    if (item.Kind == KindChoice) width += GlyphSize;
    if (item.Kind == KindBinding) width += item.Selected ? PromptWidth : GlyphSize * QueryName(slot);
    return width;
}

int32_t AddItem(const char* label, int32_t kind, int32_t x, int32_t y, uint32_t colour,
                OverlayCallback callback) {
    for (int32_t slot = 0; slot < OverlaySlots; ++slot) {
        OverlayItem& item = Overlay.Items[slot];
        if (item.Kind != KindFree) continue;
        item.Kind = kind;
        item.X = x;
        item.Y = y;
        item.Colour = colour;
        item.Callback = callback;
        item.Selected = false;
        item.Hover = false;
        // A label longer than the slot holds is cut rather than overrunning it.
        size_t length = strnlen(label, LabelCapacity - 1);
        memcpy(item.Label, label, length);
        item.Label[length] = '\0';
        return slot;
    }
    return -1;
}

// =============================================================================
// Pointer
// =============================================================================

void PointAt(int32_t x, int32_t y, int32_t clicks) {
    // Outside the picture the pointer says nothing about the items, so the
    // hover marks stay as they were.
    if (x < 0 || y < 0 || x >= Overlay.Width || y >= Overlay.Height) return;
    for (int32_t slot = 0; slot < OverlaySlots; ++slot) {
        OverlayItem& item = Overlay.Items[slot];
        if (item.Kind == KindFree) continue;
        bool hit = x >= item.X && x < item.X + ItemWidth(slot) && y >= item.Y && y < item.Y + GlyphSize;
        if (!hit) {
            item.Hover = false;
            continue;
        }
        // A choice acts on a single click; a binding field only on a double
        // click, so that a stray click never starts a capture.
        bool activates =
            (item.Kind == KindChoice && clicks == 1) || (item.Kind == KindBinding && clicks == 2);
        if (activates && item.Callback != nullptr) item.Callback(slot);
        item.Hover = true;
    }
}

// =============================================================================
// Drawing
// =============================================================================

void DrawGlyph(int32_t glyph, int32_t x, int32_t y, uint32_t colour) {
    const uint8_t* rows = OverlayFont[glyph];
    for (int32_t r = 0; r < GlyphSize; ++r) {
        int32_t row = y + r;
        if (row < 0 || row >= Overlay.Height) continue;
        uint32_t* line = Overlay.Pixels + row * Overlay.Width;
        for (int32_t c = 0; c < GlyphSize; ++c) {
            int32_t column = x + c;
            if ((rows[r] & (0x80 >> c)) != 0 && column >= 0 && column < Overlay.Width) line[column] = colour;
        }
    }
}

// Text in a black shadow one pixel down and right, then in its colour. A code
// the font does not draw still takes its cell.
static void DrawText(const char* text, int32_t length, int32_t x, int32_t y, uint32_t colour) {
    for (int32_t pass = 0; pass < 2; ++pass) {
        int32_t shift = pass == 0 ? 1 : 0;
        uint32_t ink = pass == 0 ? ShadowColour : colour;
        for (int32_t k = 0; k < length; ++k) {
            int32_t code = static_cast<unsigned char>(text[k]);
            if (code >= FirstTextCode && code <= LastTextCode)
                DrawGlyph(code - FirstTextCode, x + shift + GlyphSize * k, y + shift, ink);
        }
    }
}

// Items that do something warm up under the pointer: more red and green, less
// blue.
static uint32_t HoverColour(uint32_t colour) {
    uint32_t red = std::min<uint32_t>((colour & 0xFF) + 32, 0xFF);
    uint32_t green = std::min<uint32_t>(((colour >> 8) & 0xFF) + 32, 0xFF);
    uint32_t blue = (colour >> 16) & 0xFF;
    blue = blue > 96 ? blue - 96 : 0;
    return red | green << 8 | blue << 16;
}

// Turns the panel into a dark blue image of the picture's brightness, so the
// text reads over any scene while the game stays recognisable behind it.
static void TintPanel() {
    int32_t left = std::max(0, std::min(Overlay.OffsetX + Overlay.PanelX, Overlay.Width - 1));
    int32_t top = std::max(0, std::min(Overlay.OffsetY + Overlay.PanelY, Overlay.Height - 1));
    // Kept inside the drawable area too: a panel reaching past it must not
    // write past the end of a row or of the Canvas.
    int32_t right = std::min(Overlay.OffsetX + Overlay.PanelX + Overlay.PanelWidth, Overlay.Width);
    int32_t bottom = std::min(Overlay.OffsetY + Overlay.PanelY + Overlay.PanelHeight, Overlay.Height);
    for (int32_t row = top; row < bottom; ++row) {
        uint32_t* line = Overlay.Pixels + row * Overlay.Width;
        for (int32_t column = left; column < right; ++column) {
            uint32_t pixel = line[column];
            uint32_t red = pixel & 0xFF, green = (pixel >> 8) & 0xFF, blue = (pixel >> 16) & 0xFF;
            // The weights add up to 255, so the brightness is at most 254 and
            // no channel below can pass a byte.
            uint32_t brightness = (54 * red + 183 * green + 18 * blue) >> 8;
            uint32_t red_green = ((8 * brightness) >> 8) + 16;
            uint32_t new_blue = ((192 * brightness) >> 8) + 64;
            line[column] = red_green | red_green << 8 | new_blue << 16;
        }
    }
}

void DrawOverlay() {
    TintPanel();
    for (int32_t slot = 0; slot < OverlaySlots; ++slot) {
        const OverlayItem& item = Overlay.Items[slot];
        if (item.Kind == KindFree) continue;
        int32_t x = item.X + Overlay.OffsetX;
        // Item rows count from the first presented row of the Canvas.
        int32_t y = item.Y + Overlay.OffsetY + VisibleTop;
        uint32_t colour = item.Callback != nullptr && item.Hover ? HoverColour(item.Colour) : item.Colour;
        if (item.Kind == KindChoice) {
            int32_t marker = item.Selected ? MarkerChosen : MarkerUnchosen;
            DrawGlyph(marker, x + 1, y + 1, ShadowColour);
            DrawGlyph(marker, x, y, colour);
            x += GlyphSize;
        }
        int32_t length = LabelLength(item);
        DrawText(item.Label, length, x, y, colour);
        x += GlyphSize * length;
        if (item.Kind != KindBinding) continue;
        if (!item.Selected) {
            int32_t name_length = QueryName(slot);
            DrawText(Overlay.NameBuffer, name_length, x, y, colour);
        } else if ((Overlay.BlinkCounter & BlinkBit) != 0) {
            DrawText("???", 3, x, y, colour);
        }
    }
    // Wraps instead of overflowing after a very long session.
    Overlay.BlinkCounter = int32_t(uint32_t(Overlay.BlinkCounter) + 1);
}
