// Sprite layer and sprite-0 test.
//
// Index:
//   sprite shape     - top row, height and pattern row of one `oam` entry
//   sprite layer     - render_sprite_layer: all 64 entries, composited as drawn
//   sprite-0 test    - sprite0_hit_x
#include "video/sprites.h"

#include <bit>
#include <cstring>

#include "core/machine.h"
#include "video/patterns.h"

namespace {

constexpr uint8_t CtrlSpriteTable = 0x08;
constexpr uint8_t CtrlTallSprites = 0x20;
constexpr uint8_t MaskLeftSprites = 0x04;

constexpr uint8_t AttrPalette = 0x03;
constexpr uint8_t AttrBehind = 0x20;
constexpr uint8_t AttrFlipX = 0x40;
constexpr uint8_t AttrFlipY = 0x80;

constexpr uint8_t LayerBase = 0x10;     // sprite palettes are entries 0x10-0x1F
constexpr uint8_t LayerFront = 0x80;    // drawn over opaque background
constexpr uint8_t LayerCellMask = 0x1F; // a layer byte's palette cell, 0x11..0x1F

constexpr int SpriteCount = 64;
constexpr int EntryBytes = 4;
constexpr int SpriteWidth = 8;
constexpr int ShortHeight = 8;
constexpr int TallHeight = 16;
constexpr int TableTiles = 256;
constexpr uint32_t TileBytes = 16;
constexpr uint32_t HighPlane = 8;
constexpr int LeftColumns = 8;

// ---------------------------------------------------------------------------
// Sprite shape
// ---------------------------------------------------------------------------

// Rows of the sprite at `top` that lie on the screen: rows from 240 on are cut.
int visible_height(int top, uint8_t ctrl) {
    const int height = (ctrl & CtrlTallSprites) ? TallHeight : ShortHeight;
    return top + height > ScreenHeight ? ScreenHeight - top : height;
}

// The eight pattern values of row r (0 = top) of a sprite, column c in
// byte c once the horizontal flip is applied.
uint64_t sprite_row_values(const uint8_t* entry, int r, uint8_t ctrl) {
    const uint8_t attributes = entry[2];
    const bool flip_y = attributes & AttrFlipY;
    int tile;
    if (ctrl & CtrlTallSprites) {
        // Tall sprites choose their table by bit 0 of the tile byte; a
        // vertical flip swaps the two halves as well as their rows.
        const int top_tile = TableTiles * (entry[1] & 1) + (entry[1] & 0xFE);
        tile = ((r < ShortHeight) != flip_y) ? top_tile : top_tile + 1;
    } else {
        tile = entry[1] + ((ctrl & CtrlSpriteTable) ? TableTiles : 0);
    }
    const int row = flip_y ? 7 - (r & 7) : (r & 7);
    const uint8_t* bytes = machine.chr_mem + uint32_t(tile) * TileBytes + uint32_t(row);
    return pattern_row_values(bytes[0], bytes[HighPlane], attributes & AttrFlipX);
}

// The columns of a sprite at screen column x that lie on the screen, as
// 0x01 bytes: columns from 256 on are cut.
uint64_t screen_columns(int x) {
    const int width = x + SpriteWidth > ScreenWidth ? ScreenWidth - x : SpriteWidth;
    return width == SpriteWidth ? PatternByteOnes : PatternByteOnes >> (8 * (SpriteWidth - width));
}

// Where the last layer drew: the boxes of its sprites, cleared before the
// next layer is drawn. Before the first layer nothing is known, and the
// whole layer is cleared.
struct SpriteBox {
    uint8_t top, height, x, width;
};
SpriteBox drawn_boxes[SpriteCount];
int drawn_count;
bool layer_known;

void clear_last_layer() {
    if (!layer_known) {
        std::memset(machine.sprite_layer, 0, sizeof machine.sprite_layer);
        layer_known = true;
    }
    for (int i = 0; i < drawn_count; i++) {
        const SpriteBox& box = drawn_boxes[i];
        uint8_t* at = machine.sprite_layer + box.top * ScreenWidth + box.x;
        for (int r = 0; r < box.height; r++, at += ScreenWidth)
            std::memset(at, 0, box.width);
    }
    drawn_count = 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Sprite layer
// ---------------------------------------------------------------------------

void render_sprite_layer() {
    clear_last_layer();
    const uint8_t ctrl = machine.ppu_ctrl;
    const bool clip_left = !(machine.ppu_mask & MaskLeftSprites);
    uint32_t colours[32];
    for (int i = 0; i < 32; i++)
        colours[i] = machine.palette[machine.palette_ram[i] & 0x3F];

    for (int e = 0; e < SpriteCount; e++) {
        const uint8_t* entry = machine.oam + e * EntryBytes;
        const int top = entry[0] + 1;
        const int height = visible_height(top, ctrl);
        if (height <= 0) continue;
        const int x = entry[3];
        uint64_t columns = screen_columns(x);
        drawn_boxes[drawn_count++] = {uint8_t(top), uint8_t(height), uint8_t(x),
                                      uint8_t(std::popcount(columns))};
        // Hidden columns left of screen column 8; at x = 0 all eight.
        if (clip_left && x < LeftColumns) columns = x ? columns & ~0ull << (8 * (LeftColumns - x)) : 0;
        const uint8_t layer_byte =
            uint8_t(LayerBase + 4 * (entry[2] & AttrPalette) + ((entry[2] & AttrBehind) ? 0 : LayerFront));
        for (int r = 0; r < height; r++) {
            const uint64_t values = sprite_row_values(entry, r, ctrl);
            const int at = (top + r) * ScreenWidth + x;
            uint8_t* layer = machine.sprite_layer + at;
            const uint8_t* background = machine.bg_index + at;
            uint32_t* pixels = FrameBuffer + at;
            // An earlier entry owns its pixels even where it is itself hidden
            // behind the background. A pixel's owner never changes, so it is
            // composited over the background as soon as it is claimed.
            for (uint64_t opaque = pattern_opaque_bytes(values) & columns; opaque; opaque &= opaque - 1) {
                const int c = std::countr_zero(opaque) / 8;
                if (layer[c]) continue;
                layer[c] = uint8_t(layer_byte + ((values >> (8 * c)) & 3));
                if ((layer_byte & LayerFront) || !background[c])
                    pixels[c] = colours[layer[c] & LayerCellMask];
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Sprite-0 test
// ---------------------------------------------------------------------------

int32_t sprite0_hit_x(int line) {
    const uint8_t* entry = machine.oam;
    const int top = entry[0] + 1;
    const int height = visible_height(top, machine.ppu_ctrl);
    if (line < top || line >= top + height) return -1;
    const int x = entry[3];
    const uint8_t* background = machine.bg_index + line * ScreenWidth + x;
    // Priority, clipping and the enable bits play no part: only the pattern
    // and the opaque background do.
    const uint64_t values = sprite_row_values(entry, line - top, machine.ppu_ctrl);
    for (uint64_t opaque = pattern_opaque_bytes(values) & screen_columns(x); opaque; opaque &= opaque - 1) {
        const int c = std::countr_zero(opaque) / 8;
        if (background[c] & 3) return x + c;
    }
    return -1;
}
