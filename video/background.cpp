// Background renderer: one scanline of nametable, attribute and pattern
// bytes into the FrameBuffer row and its `bg_index` row, stepping the scroll
// held in `vram_addr` as it goes.
//
// A line is drawn tile by tile rather than pixel by pixel: the 32 or 33
// tiles that the line touches are expanded into a strip of palette indices,
// 8 at a time, and the 256 pixels are then taken from the strip at the fine
// scroll offset. What the line leaves behind, its pixels and indices, the
// scroll in `vram_addr` after its 32 coarse-X steps and the last fetched
// byte in `read_buffer`, is exactly what a walk fetching for every pixel
// leaves.
#include "video/background.h"

#include <array>
#include <bit>
#include <cstring>

#include "core/machine.h"
#include "video/ppu.h"

static_assert(std::endian::native == std::endian::little, "tile strips are built as little-endian words");

namespace {

constexpr uint8_t MaskLeftBackground = 0x02;
constexpr uint8_t MaskBackground = 0x08;
constexpr uint8_t CtrlBackgroundTable = 0x10;

constexpr uint32_t PatternTableBytes = 4096;
constexpr uint32_t TileBytes = 16;
constexpr uint32_t HighPlane = 8;
constexpr int TilePixels = 8;
constexpr int LeftColumns = 8;
constexpr int TilesPerLine = ScreenWidth / TilePixels;

constexpr uint16_t ScrollMask = 0x7FFF;
constexpr uint16_t HorizontalBits = 0x041F; // coarse X and the horizontal nametable bit
constexpr uint16_t CoarseXMask = 0x001F;
constexpr uint16_t HorizontalNametable = 0x0400;
constexpr uint16_t VerticalNametable = 0x0800;
constexpr uint16_t FineYStep = 0x1000;
constexpr uint16_t FineYMask = 0x7000;
constexpr uint16_t CoarseYMask = 0x03E0;
constexpr int CoarseYShift = 5;
constexpr int LastTileRow = 29; // the last row of a nametable; the attribute rows follow
constexpr int LastCoarseY = 31;

constexpr uint32_t NametableBase = 0x2000;
constexpr uint32_t NametableSelect = 0x0C00;
constexpr uint32_t AttributeBase = 0x23C0;
constexpr uint32_t AttributeOffset = 0x3C0; // attribute bytes follow the 30 tile rows
constexpr uint32_t AttributesPerRow = 8;    // one byte per 4 x 4 tiles

constexpr uint64_t ByteOnes = 0x0101010101010101ull;

constexpr int BackgroundColours = 16; // palette_ram entries 0x00-0x0F
constexpr uint8_t PaletteEntryMask = 0x3F;

// Byte i of entry b is bit 7 - i of b: one pattern plane spread over eight
// pixels, the leftmost in the lowest byte.
constexpr std::array<uint64_t, 256> spread_planes() {
    std::array<uint64_t, 256> bits{};
    for (int b = 0; b < 256; b++)
        for (int i = 0; i < 8; i++)
            bits[size_t(b)] |= uint64_t((b >> (7 - i)) & 1) << (8 * i);
    return bits;
}
constexpr std::array<uint64_t, 256> plane_spread = spread_planes();

// The background's 16 colours and every ordered pair of them, first pixel
// in the low word. The pairs are rebuilt only when a colour changes, which a
// game does a few times a frame at most, while lines are drawn 240 times.
// All-zero is a consistent start: sixteen black colours and their pairs.
struct ColourPairCache {
    uint32_t colours[BackgroundColours];
    uint64_t pairs[BackgroundColours * BackgroundColours];
};
ColourPairCache colour_cache;

const uint64_t* colour_pairs() {
    uint32_t colours[BackgroundColours];
    bool same = true;
    for (int i = 0; i < BackgroundColours; i++) {
        colours[i] = machine.palette[machine.palette_ram[i] & PaletteEntryMask];
        same &= colours[i] == colour_cache.colours[i];
    }
    if (same) return colour_cache.pairs;
    for (int first = 0; first < BackgroundColours; first++) {
        colour_cache.colours[first] = colours[first];
        for (int second = 0; second < BackgroundColours; second++)
            colour_cache.pairs[second * BackgroundColours + first] =
                colours[first] | uint64_t(colours[second]) << 32;
    }
    return colour_cache.pairs;
}

uint16_t step_vertical(uint16_t v) {
    if ((v & FineYMask) != FineYMask) return uint16_t(v + FineYStep);
    v &= 0x0FFF;
    int coarse_y = (v & CoarseYMask) >> CoarseYShift;
    if (coarse_y == LastTileRow) {
        coarse_y = 0;
        v ^= VerticalNametable;
    } else if (coarse_y == LastCoarseY) {
        coarse_y = 0;
    } else {
        coarse_y++;
    }
    return uint16_t((v & ~CoarseYMask) | (coarse_y << CoarseYShift));
}

// Expands tiles `first` to `end` - 1 of one nametable row into eight
// palette indices each, written from `out` on; returns the end of what it
// wrote. `patterns` points at the line's pixel row of the first tile.
uint8_t* expand_tiles(const uint8_t* patterns, const uint8_t* tile_row, const uint8_t* attribute_row,
                      uint32_t row_shift, int first, int end, uint8_t* out) {
    for (int column = first; column < end; column++, out += TilePixels) {
        const uint8_t* pattern = patterns + uint32_t(tile_row[column]) * TileBytes;
        const uint32_t group = ((attribute_row[column / 4] >> (row_shift + (column & 2))) & 3) * 4;
        const uint64_t values = plane_spread[pattern[0]] | plane_spread[pattern[HighPlane]] << 1;
        // A pattern value of 0 is transparent and keeps index 0 whatever the
        // attribute says; the others take the palette group.
        const uint64_t opaque = (values | values >> 1) & ByteOnes;
        const uint64_t tile_indices = values | opaque * group;
        std::memcpy(out, &tile_indices, sizeof tile_indices);
    }
    return out;
}

} // namespace

int32_t fetch_attribute() {
    const uint32_t v = machine.vram_addr;
    const uint32_t address = AttributeBase | (v & 0x0C00) | ((v >> 4) & 0x38) | ((v >> 2) & 0x07);
    uint8_t byte = vram_read(address, false);
    if (v & 0x02) byte >>= 2;
    if (v & 0x40) byte >>= 4;
    return int32_t(byte & 3) * 4;
}

void render_background_line(int line) {
    uint32_t* pixels = FrameBuffer + line * ScreenWidth;
    uint8_t* indices = machine.bg_index + line * ScreenWidth;
    if (!(machine.ppu_mask & MaskBackground)) {
        std::memset(pixels, 0, ScreenWidth * sizeof *pixels);
        std::memset(indices, 0, ScreenWidth);
        return;
    }

    const uint16_t v =
        uint16_t((machine.vram_addr & ~HorizontalBits & ScrollMask) | (machine.temp_addr & HorizontalBits));
    const uint32_t fine_y = (v >> 12) & 7;
    const uint8_t* patterns =
        machine.chr_mem + ((machine.ppu_ctrl & CtrlBackgroundTable) ? PatternTableBytes : 0) + fine_y;
    const int fine = machine.fine_x & 7;

    // The 32 coarse-X steps of a line cross exactly one nametable edge: the
    // line's tiles come from the row of the table `v` selects and then from
    // the same row of its horizontal neighbour.
    const int first_column = v & CoarseXMask;
    const uint32_t coarse_y = (v & CoarseYMask) >> CoarseYShift;
    const uint8_t* tile_rows[2];
    const uint8_t* attribute_rows[2];
    for (int side = 0; side < 2; side++) {
        const uint32_t table = NametableBase | ((v ^ (side ? HorizontalNametable : 0)) & NametableSelect);
        const uint8_t* base = machine.nametable_ram + ppu_nametable_index(table);
        tile_rows[side] = base + coarse_y * TilesPerLine;
        attribute_rows[side] = base + AttributeOffset + (coarse_y / 4) * AttributesPerRow;
    }
    const uint32_t row_shift = (coarse_y & 2) ? 4 : 0; // the lower two quadrants of an attribute byte

    // With a fine scroll the line shows part of a 33rd tile.
    alignas(8) uint8_t strip[(TilesPerLine + 1) * TilePixels];
    const int tiles = fine ? TilesPerLine + 1 : TilesPerLine;
    uint8_t* strip_end =
        expand_tiles(patterns, tile_rows[0], attribute_rows[0], row_shift, first_column, TilesPerLine, strip);
    expand_tiles(patterns, tile_rows[1], attribute_rows[1], row_shift, 0,
                 tiles - (TilesPerLine - first_column), strip_end);
    // The walk's last fetch: with a fine scroll the 33rd tile's nametable
    // byte, without one the attribute fetch after the 32nd step.
    machine.read_buffer = fine ? tile_rows[1][first_column] : attribute_rows[1][first_column / 4];

    std::memcpy(indices, strip + fine, ScreenWidth);
    if (!(machine.ppu_mask & MaskLeftBackground)) std::memset(indices, 0, LeftColumns);

    const uint64_t* pairs = colour_pairs();
    // Eight indices per load, two pixels per store: an index is below 16, so
    // folding each odd byte's index into the high nibble of the even byte
    // before it makes the four keys of a pair table.
    for (int x = 0; x < ScreenWidth; x += 8) {
        uint64_t eight;
        std::memcpy(&eight, indices + x, sizeof eight);
        const uint64_t keys = eight | eight >> 4;
        for (int pair = 0; pair < 4; pair++)
            std::memcpy(pixels + x + 2 * pair, &pairs[(keys >> (16 * pair)) & 0xFF], sizeof *pairs);
    }

    // After its 32 coarse-X steps the scroll is back at its first column,
    // in the neighbouring table.
    machine.vram_addr = step_vertical(v ^ HorizontalNametable);
}
