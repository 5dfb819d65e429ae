// Background renderer: one scanline of nametable, attribute and pattern
// bytes into the FrameBuffer row and its `bg_index` row, stepping the scroll
// held in `vram_addr` as it goes.
//
// Index
//   1. Tile picture: each row of tiles drawn beside its neighbour's, as pixels and indices
//   2. Keeping the picture true: what each row of tiles was drawn from
//   3. Lines: a 256-pixel window of the picture, the left clip, the scroll step
//
// A line is not expanded from its tiles each time. The renderer keeps a
// picture of the two nametables, every tile drawn once as its 8 x 8 pixels
// and palette indices, each row of tiles with the same row of its
// horizontal neighbour beside it; a line copies its 256-pixel window of
// that strip from where the scroll puts it. A game scrolls every frame but
// redraws far less often (the bundled game changes a few dozen nametable
// bytes in one frame out of twenty), so nearly every line is one copy of
// its pixels and one of its indices.
//
// What a line leaves behind, its pixels and indices, the scroll in
// `vram_addr` after its 32 coarse-X steps and the last fetched byte in
// `read_buffer`, is exactly what a walk fetching for every pixel leaves.
#include "video/background.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/machine.h"
#include "video/patterns.h"
#include "video/ppu.h"

namespace {

constexpr uint8_t MaskLeftBackground = 0x02;
constexpr uint8_t MaskBackground = 0x08;
constexpr uint8_t CtrlBackgroundTable = 0x10;

constexpr uint32_t PatternTableBytes = 4096;
constexpr uint32_t TileBytes = 16;
constexpr uint32_t HighPlane = 8;
constexpr int TilePixels = 8;
constexpr int TileLines = 8;
constexpr int LeftColumns = 8;
constexpr int TableColumns = ScreenWidth / TilePixels;

constexpr uint16_t ScrollMask = 0x7FFF;
constexpr uint16_t HorizontalBits = 0x041F; // coarse X and the horizontal nametable bit
constexpr uint16_t CoarseXMask = 0x001F;
constexpr uint16_t HorizontalNametable = 0x0400;
constexpr uint16_t VerticalNametable = 0x0800;
constexpr uint16_t FineYStep = 0x1000;
constexpr uint16_t FineYMask = 0x7000;
constexpr int FineYShift = 12;
constexpr uint16_t CoarseYMask = 0x03E0;
constexpr int CoarseYShift = 5;
constexpr int LastTileRow = 29; // the last row of a nametable; the attribute rows follow
constexpr int LastCoarseY = 31;

constexpr uint32_t NametableBase = 0x2000;
constexpr uint32_t NametableSelect = 0x0C00;
constexpr uint32_t AttributeBase = 0x23C0;
constexpr uint32_t AttributeOffset = 0x3C0; // attribute bytes follow the 30 tile rows
constexpr uint32_t AttributesPerRow = 8;    // one byte per 4 x 4 tiles
constexpr int ColumnsPerAttribute = 4;
constexpr uint32_t TableBytes = 1024;
constexpr int TableShift = 10; // a table's first cell in `nametable_ram`, as a table number

// Two tables of `nametable_ram`, and 32 rows of tiles in each: coarse Y 30
// and 31 read the attribute bytes as tiles, as a scroll into them shows.
constexpr int Tables = 2;
constexpr int TileRows = 32;

constexpr uint32_t AllColumns = ~0u;
constexpr uint32_t AttributeColumns = 0xF; // the four columns one attribute byte covers

constexpr int BackgroundColours = 16; // palette_ram entries 0x00-0x0F
constexpr uint8_t PaletteEntryMask = 0x3F;

// ---------------------------------------------------------------------------
// 1. Tile picture
// ---------------------------------------------------------------------------

// One row of 32 tiles of a table as a strip shows it: the nametable and
// attribute bytes it was last checked against, and which of its tiles are
// drawn.
struct StripHalf {
    uint8_t tiles[TableColumns];
    uint8_t attributes[AttributesPerRow];
    uint32_t drawn; // bit c: column c is drawn and good
};

// A row of tiles of a table followed by the same row of its horizontal
// neighbour, drawn: eight lines of 512 pixels and indices, so that wherever
// the scroll starts a line, its 256 pixels lie side by side.
struct TileStrip {
    uint32_t pixels[TileLines][2 * ScreenWidth];
    uint8_t indices[TileLines][2 * ScreenWidth];
    StripHalf halves[2]; // the table's own row, then its neighbour's
};

// A tile's pixels are good while its nametable byte, its attribute byte, the
// pattern table it was drawn from and the sixteen background colours stay
// as they were. The renderer checks all four itself before each line
// (section 2); pattern memory, the master palette and the tables'
// arrangement change only when a cartridge is loaded or character RAM is
// written, which tell it through `background_forget`. All-zero is a
// consistent start: no tile is drawn.
struct TilePicture {
    TileStrip strips[Tables][TileRows];
    // What every drawn tile was drawn with.
    bool colours_known;
    uint8_t colour_cells[BackgroundColours];
    uint8_t pattern_table;
    // Every ordered pair of the background colours, first pixel in the low
    // word, so that a tile row is stored two pixels at a time.
    uint64_t pairs[BackgroundColours * BackgroundColours];
};
TilePicture picture;

void forget_drawn_tiles() {
    for (auto& table : picture.strips)
        for (TileStrip& strip : table)
            for (StripHalf& half : strip.halves)
                half.drawn = 0;
}

// Takes the palette cells' colours, every pair of them, and the pattern
// table as they stand; tiles drawn with others are drawn again.
void take_colours_and_table(uint8_t pattern_table) {
    std::memcpy(picture.colour_cells, machine.palette_ram, BackgroundColours);
    picture.pattern_table = pattern_table;
    picture.colours_known = true;
    uint32_t colours[BackgroundColours];
    for (int i = 0; i < BackgroundColours; i++)
        colours[i] = machine.palette[machine.palette_ram[i] & PaletteEntryMask];
    for (int first = 0; first < BackgroundColours; first++)
        for (int second = 0; second < BackgroundColours; second++)
            picture.pairs[second * BackgroundColours + first] = colours[first] | uint64_t(colours[second])
                                                                                     << 32;
    forget_drawn_tiles();
}

// Draws all eight lines of the tile that starts `x` pixels into `strip`,
// whose quadrant of its attribute byte starts at bit `shift`.
void draw_tile(TileStrip& strip, int x, const uint8_t* pattern, uint8_t attribute, int shift) {
    const uint64_t group = uint64_t((attribute >> shift) & 3) * 4;
    for (int y = 0; y < TileLines; y++) {
        const uint64_t values = pattern_row_values(pattern[y], pattern[y + HighPlane], false);
        // A pattern value of 0 is transparent and keeps index 0 whatever the
        // attribute says; the others take the palette group.
        const uint64_t indices = values | pattern_opaque_bytes(values) * group;
        std::memcpy(&strip.indices[y][x], &indices, sizeof indices);
        // An index is below 16, so folding each odd byte's index into the
        // high nibble of the even byte before it makes the four keys of a
        // pair table.
        const uint64_t keys = indices | indices >> 4;
        uint32_t* pixels = &strip.pixels[y][x];
        for (int pair = 0; pair < 4; pair++)
            std::memcpy(pixels + 2 * pair, &picture.pairs[(keys >> (16 * pair)) & 0xFF], sizeof(uint64_t));
    }
}

// ---------------------------------------------------------------------------
// 2. Keeping the picture true
// ---------------------------------------------------------------------------

// Brings one half of a strip, row `y` of tiles, up to date: the columns
// whose nametable or attribute byte is no longer what it was last checked
// against are forgotten, the half takes the bytes as they stand, and the
// `needed` columns that are not drawn are drawn.
[[gnu::noinline]] void redraw_half(TileStrip& strip, int side, int y, const uint8_t* tiles,
                                   const uint8_t* attributes, uint32_t needed, const uint8_t* patterns) {
    StripHalf& half = strip.halves[side];
    for (int column = 0; column < TableColumns; column++)
        if (half.tiles[column] != tiles[column]) half.drawn &= ~(1u << column);
    for (uint32_t a = 0; a < AttributesPerRow; a++)
        if (half.attributes[a] != attributes[a])
            half.drawn &= ~(AttributeColumns << (a * ColumnsPerAttribute));
    std::memcpy(half.tiles, tiles, TableColumns);
    std::memcpy(half.attributes, attributes, AttributesPerRow);
    const int quadrant = (y & 2) ? 4 : 0; // the lower two quadrants of an attribute byte
    for (uint32_t missing = needed & ~half.drawn; missing; missing &= missing - 1) {
        const int column = std::countr_zero(missing);
        draw_tile(strip, side * ScreenWidth + column * TilePixels,
                  patterns + uint32_t(tiles[column]) * TileBytes, attributes[column / ColumnsPerAttribute],
                  quadrant + (column & 2));
    }
    half.drawn |= needed;
}

// Makes the `needed` columns of one half of a strip, row `y` of tiles of
// `table`, good for a line to copy. Nearly always they are already: the
// bytes compare equal and the columns are drawn.
inline void prepare_half(TileStrip& strip, int side, int table, int y, uint32_t needed,
                         const uint8_t* patterns) {
    const StripHalf& half = strip.halves[side];
    const uint8_t* cells = machine.nametable_ram + table * TableBytes;
    const uint8_t* tiles = cells + y * TableColumns;
    const uint8_t* attributes = cells + AttributeOffset + uint32_t(y / 4) * AttributesPerRow;
    if ((needed & ~half.drawn) || std::memcmp(half.tiles, tiles, TableColumns) != 0 ||
        std::memcmp(half.attributes, attributes, AttributesPerRow) != 0)
        redraw_half(strip, side, y, tiles, attributes, needed, patterns);
}

// The first n columns of a row, n from 0 to 32.
uint32_t first_columns(int n) {
    return n >= TableColumns ? AllColumns : (1u << n) - 1;
}

// ---------------------------------------------------------------------------
// 3. Lines
// ---------------------------------------------------------------------------

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

// The table of `nametable_ram` behind the nametable that `v` selects.
int table_of(uint32_t v) {
    return int(ppu_nametable_index(NametableBase | (v & NametableSelect)) >> TableShift);
}

} // namespace

void background_forget() {
    picture.colours_known = false;
    forget_drawn_tiles();
}

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

    const uint8_t pattern_table = machine.ppu_ctrl & CtrlBackgroundTable;
    if (!picture.colours_known || picture.pattern_table != pattern_table ||
        std::memcmp(picture.colour_cells, machine.palette_ram, BackgroundColours) != 0)
        take_colours_and_table(pattern_table);
    const uint8_t* patterns = machine.chr_mem + (pattern_table ? PatternTableBytes : 0);

    const uint16_t v =
        uint16_t((machine.vram_addr & ~HorizontalBits & ScrollMask) | (machine.temp_addr & HorizontalBits));
    const int row = (v & CoarseYMask) >> CoarseYShift;
    const int first_column = v & CoarseXMask;
    const int fine = machine.fine_x & 7;

    // The 32 coarse-X steps of a line cross exactly one nametable edge: the
    // line starts `start` pixels into its row of the table `v` selects and
    // takes the rest from the same row of its horizontal neighbour, which
    // its strip holds beside it.
    const int start = first_column * TilePixels + fine;
    const int fine_y = (v & FineYMask) >> FineYShift;
    const int table = table_of(v);
    TileStrip& strip = picture.strips[table][row];
    prepare_half(strip, 0, table, row, AllColumns << first_column, patterns);
    prepare_half(strip, 1, table_of(v ^ HorizontalNametable), row,
                 first_columns((start + TilePixels - 1) / TilePixels), patterns);
    std::memcpy(pixels, strip.pixels[fine_y] + start, ScreenWidth * sizeof *pixels);
    std::memcpy(indices, strip.indices[fine_y] + start, ScreenWidth);

    // Clipped columns are the backdrop, as index 0 is.
    if (!(machine.ppu_mask & MaskLeftBackground)) {
        std::memset(indices, 0, LeftColumns);
        std::fill_n(pixels, LeftColumns, machine.palette[machine.palette_ram[0] & PaletteEntryMask]);
    }

    // The walk's last fetch: with a fine scroll the 33rd tile's nametable
    // byte, without one the attribute fetch after the 32nd step. The
    // neighbour's half has just taken its tile and attribute bytes as they stand.
    const StripHalf& next = strip.halves[1];
    machine.read_buffer =
        fine ? next.tiles[first_column] : next.attributes[first_column / ColumnsPerAttribute];

    // After its 32 coarse-X steps the scroll is back at its first column,
    // in the neighbouring table.
    machine.vram_addr = step_vertical(v ^ HorizontalNametable);
}
