// Sprite layer and sprite-0 test.
//
// Index:
//   sprite shape     - top row, height and pattern row of one `oam` entry
//   sprite layer     - render_sprite_layer: all 64 entries, composited as drawn
//   sprite-0 test    - sprite0_hit_x
#include "video/sprites.h"

#include <algorithm>
#include <cstring>

#include "core/machine.h"

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

// The two pattern planes of row r (0 = top) of a sprite, low plane in bits
// 0-7 and high plane in bits 8-15, bit 7 - c holding column c once the
// horizontal flip is applied.
uint32_t sprite_pattern_row(const uint8_t* entry, int r, uint8_t ctrl) {
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
    uint32_t low = bytes[0];
    uint32_t high = bytes[HighPlane];
    if (attributes & AttrFlipX) {
        uint32_t low_reversed = 0, high_reversed = 0;
        for (int i = 0; i < 8; i++) {
            low_reversed |= ((low >> i) & 1) << (7 - i);
            high_reversed |= ((high >> i) & 1) << (7 - i);
        }
        low = low_reversed;
        high = high_reversed;
    }
    return low | high << 8;
}

// Rows of `sprite_layer` known to hold nothing: those the last layer drew
// no sprite on. Before the first layer nothing is known, hence all false.
bool clean_rows[ScreenHeight];

int pattern_value(uint32_t planes, int c) {
    const int bit = 7 - c;
    return int(((planes >> (8 + bit)) & 1) << 1 | ((planes >> bit) & 1));
}

} // namespace

// ---------------------------------------------------------------------------
// Sprite layer
// ---------------------------------------------------------------------------

void render_sprite_layer() {
    // Only the rows the last layer drew on can hold anything: the layer is
    // written here alone.
    // Runs of such rows are cleared at once.
    for (int row = 0; row < ScreenHeight;) {
        if (clean_rows[row]) {
            row++;
            continue;
        }
        const int first = row;
        while (row < ScreenHeight && !clean_rows[row])
            clean_rows[row++] = true;
        std::memset(machine.sprite_layer + first * ScreenWidth, 0, size_t(row - first) * ScreenWidth);
    }
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
        const int width = x + SpriteWidth > ScreenWidth ? ScreenWidth - x : SpriteWidth;
        const int first_column = (clip_left && x < LeftColumns) ? LeftColumns - x : 0;
        const uint8_t layer_byte =
            uint8_t(LayerBase + 4 * (entry[2] & AttrPalette) + ((entry[2] & AttrBehind) ? 0 : LayerFront));
        std::fill_n(clean_rows + top, height, false);
        for (int r = 0; r < height; r++) {
            const uint32_t planes = sprite_pattern_row(entry, r, ctrl);
            const int at = (top + r) * ScreenWidth + x;
            uint8_t* layer = machine.sprite_layer + at;
            const uint8_t* background = machine.bg_index + at;
            uint32_t* pixels = FrameBuffer + at;
            // An earlier entry owns its pixels even where it is itself hidden
            // behind the background. A pixel's owner never changes, so it is
            // composited over the background as soon as it is claimed.
            for (int c = first_column; c < width; c++) {
                const int value = pattern_value(planes, c);
                if (!value || layer[c]) continue;
                layer[c] = uint8_t(layer_byte + value);
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
    const uint32_t planes = sprite_pattern_row(entry, line - top, machine.ppu_ctrl);
    const int x = entry[3];
    const int width = x + SpriteWidth > ScreenWidth ? ScreenWidth - x : SpriteWidth;
    const uint8_t* background = machine.bg_index + line * ScreenWidth + x;
    // Priority, clipping and the enable bits play no part: only the pattern
    // and the opaque background do.
    for (int c = 0; c < width; c++)
        if (pattern_value(planes, c) && (background[c] & 3)) return x + c;
    return -1;
}
