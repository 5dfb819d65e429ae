// Background renderer: one scanline of nametable, attribute and pattern
// bytes into the FrameBuffer row and its `bg_index` row, stepping the scroll
// held in `vram_addr` as it goes.
//
// A line is drawn tile by tile rather than pixel by pixel: the 32 or 33
// tiles that the line touches are expanded into a strip of palette indices,
// 8 at a time, and the 256 pixels are then taken from the strip at the fine
// scroll offset. The fetches, the 32 coarse-X steps and the byte they leave
// in `read_buffer` are exactly those of a pixel-by-pixel walk.
#include "video/background.h"

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
constexpr int LastCoarseX = 31;
constexpr int LastTileRow = 29; // the last row of a nametable; the attribute rows follow
constexpr int LastCoarseY = 31;

constexpr uint32_t NametableBase = 0x2000;
constexpr uint32_t NametableOffsetMask = 0x0FFF;
constexpr uint32_t AttributeBase = 0x23C0;

constexpr uint64_t ByteOnes = 0x0101010101010101ull;

// Byte i of entry b is bit 7 - i of b: one pattern plane spread over eight
// pixels, the leftmost in the lowest byte.
constexpr struct PlaneSpread {
    uint64_t bits[256];
    constexpr PlaneSpread() : bits() {
        for (int b = 0; b < 256; b++)
            for (int i = 0; i < 8; i++)
                bits[b] |= uint64_t((b >> (7 - i)) & 1) << (8 * i);
    }
} plane_spread;

uint8_t attribute_byte_at(uint32_t v) {
    const uint32_t address = AttributeBase | (v & 0x0C00) | ((v >> 4) & 0x38) | ((v >> 2) & 0x07);
    return machine.nametable_ram[ppu_nametable_index(address)];
}

// Palette group times 4 of the tile at `v`, taken from its attribute byte.
uint32_t attribute_group(uint32_t v, uint8_t byte) {
    if (v & 0x02) byte >>= 2;
    if (v & 0x40) byte >>= 4;
    return uint32_t(byte & 3) * 4;
}

uint16_t step_coarse_x(uint16_t v) {
    if ((v & CoarseXMask) == LastCoarseX) return uint16_t((v ^ HorizontalNametable) & ~CoarseXMask);
    return uint16_t((v + 1) & ScrollMask);
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

} // namespace

int32_t fetch_attribute() {
    const uint32_t v = machine.vram_addr;
    const uint32_t address = AttributeBase | (v & 0x0C00) | ((v >> 4) & 0x38) | ((v >> 2) & 0x07);
    return int32_t(attribute_group(v, vram_read(address, false)));
}

void render_background_line(int line) {
    uint32_t* pixels = FrameBuffer + line * ScreenWidth;
    uint8_t* indices = machine.bg_index + line * ScreenWidth;
    if (!(machine.ppu_mask & MaskBackground)) {
        std::memset(pixels, 0, ScreenWidth * sizeof *pixels);
        std::memset(indices, 0, ScreenWidth);
        return;
    }

    uint16_t v =
        uint16_t((machine.vram_addr & ~HorizontalBits & ScrollMask) | (machine.temp_addr & HorizontalBits));
    const uint32_t fine_y = (v >> 12) & 7;
    const uint8_t* patterns =
        machine.chr_mem + ((machine.ppu_ctrl & CtrlBackgroundTable) ? PatternTableBytes : 0) + fine_y;
    const int fine = machine.fine_x & 7;

    // With a fine scroll the line shows part of a 33rd tile; without one the
    // walk still ends on the 32nd coarse-X step and its attribute fetch.
    alignas(8) uint8_t strip[(TilesPerLine + 1) * TilePixels];
    const int tiles = fine ? TilesPerLine + 1 : TilesPerLine;
    uint8_t attribute_byte = attribute_byte_at(v);
    uint8_t last_read = attribute_byte;
    for (int k = 0; k < tiles; k++) {
        if (k > 0) {
            v = step_coarse_x(v);
            attribute_byte = attribute_byte_at(v);
        }
        const uint8_t tile =
            machine.nametable_ram[ppu_nametable_index(NametableBase | (v & NametableOffsetMask))];
        last_read = tile;
        const uint8_t* row = patterns + uint32_t(tile) * TileBytes;
        const uint64_t values = plane_spread.bits[row[0]] | plane_spread.bits[row[HighPlane]] << 1;
        // A pattern value of 0 is transparent and keeps index 0 whatever the
        // attribute says; the others take the palette group.
        const uint64_t opaque = (values | values >> 1) & ByteOnes;
        const uint64_t group_bits = opaque * attribute_group(v, attribute_byte);
        const uint64_t tile_indices = values | group_bits;
        std::memcpy(strip + k * TilePixels, &tile_indices, sizeof tile_indices);
    }
    if (!fine) {
        v = step_coarse_x(v);
        last_read = attribute_byte_at(v);
    }
    machine.read_buffer = last_read;

    std::memcpy(indices, strip + fine, ScreenWidth);
    if (!(machine.ppu_mask & MaskLeftBackground)) std::memset(indices, 0, LeftColumns);

    uint32_t colours[16];
    for (int i = 0; i < 16; i++)
        colours[i] = machine.palette[machine.palette_ram[i] & 0x3F];
    for (int x = 0; x < ScreenWidth; x++)
        pixels[x] = colours[indices[x]];

    machine.vram_addr = step_vertical(v);
}
