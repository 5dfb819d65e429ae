// Background renderer: one scanline of nametable, attribute and pattern
// bytes into the FrameBuffer row and its `bg_index` row, stepping the scroll
// held in `vram_addr` as it goes.
//
// Index
//   1. Tile picture: both nametables drawn as pixels and indices, a tile at a time
//   2. Keeping the picture true: what each row of tiles was drawn from
//   3. Lines: a 256-pixel window of the picture, the left clip, the scroll step
//
// A line is not expanded from its tiles each time. The renderer keeps a
// picture of the two nametables, every tile drawn once as its 8 x 8 pixels
// and palette indices, and a line copies its window of that picture: the
// row of the table `vram_addr` selects from the scroll on, then the same row
// of its horizontal neighbour. A game scrolls and redraws far less often
// than lines are drawn (the bundled game changes a few dozen nametable bytes
// in one frame out of twenty), so nearly every line is two copies.
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

// One row of 32 tiles of a table, drawn: its eight lines of pixels and
// indices, and the nametable and attribute bytes it was last checked
// against.
struct TileRow {
    uint32_t pixels[TileLines][ScreenWidth];
    uint8_t indices[TileLines][ScreenWidth];
    uint8_t tiles[TableColumns];
    uint8_t attributes[AttributesPerRow];
    uint32_t drawn; // bit c: column c is drawn and good
};

// A tile's pixels are good while its nametable byte, its attribute byte, the
// pattern table it was drawn from and the sixteen background colours stay
// as they were. The renderer checks all four itself before each line
// (section 2); pattern memory and the master palette change only when a
// cartridge is loaded or character RAM is written, which tell it through
// `background_forget`. All-zero is a consistent start: no tile is drawn.
struct TilePicture {
    TileRow rows[Tables][TileRows];
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
    for (auto& table : picture.rows)
        for (TileRow& row : table)
            row.drawn = 0;
}

// The colours of the palette cells as they stand and every pair of them;
// tiles drawn with other colours are drawn again.
void take_colours(uint8_t pattern_table) {
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

// Draws all eight lines of one tile of `row`, whose quadrant of its
// attribute byte starts at bit `shift`.
void draw_tile(TileRow& row, int column, const uint8_t* pattern, uint8_t attribute, int shift) {
    const uint64_t group = uint64_t((attribute >> shift) & 3) * 4;
    for (int y = 0; y < TileLines; y++) {
        const uint64_t values = pattern_row_values(pattern[y], pattern[y + HighPlane], false);
        // A pattern value of 0 is transparent and keeps index 0 whatever the
        // attribute says; the others take the palette group.
        const uint64_t indices = values | pattern_opaque_bytes(values) * group;
        std::memcpy(&row.indices[y][column * TilePixels], &indices, sizeof indices);
        // An index is below 16, so folding each odd byte's index into the
        // high nibble of the even byte before it makes the four keys of a
        // pair table.
        const uint64_t keys = indices | indices >> 4;
        uint32_t* pixels = &row.pixels[y][column * TilePixels];
        for (int pair = 0; pair < 4; pair++)
            std::memcpy(pixels + 2 * pair, &picture.pairs[(keys >> (16 * pair)) & 0xFF], sizeof(uint64_t));
    }
}

// ---------------------------------------------------------------------------
// 2. Keeping the picture true
// ---------------------------------------------------------------------------

// Brings row `y` of tiles of `table` up to date: the columns whose
// nametable or attribute byte is no longer what the row was last checked
// against are forgotten, the row takes the bytes as they stand, and the
// `needed` columns that are not drawn are drawn.
[[gnu::noinline]] void redraw_row(TileRow& row, int y, const uint8_t* tiles, const uint8_t* attributes,
                                  uint32_t needed, const uint8_t* patterns) {
    for (int column = 0; column < TableColumns; column++)
        if (row.tiles[column] != tiles[column]) row.drawn &= ~(1u << column);
    for (uint32_t a = 0; a < AttributesPerRow; a++)
        if (row.attributes[a] != attributes[a]) row.drawn &= ~(AttributeColumns << (a * ColumnsPerAttribute));
    std::memcpy(row.tiles, tiles, TableColumns);
    std::memcpy(row.attributes, attributes, AttributesPerRow);
    const int quadrant = (y & 2) ? 4 : 0; // the lower two quadrants of an attribute byte
    for (uint32_t missing = needed & ~row.drawn; missing; missing &= missing - 1) {
        const int column = std::countr_zero(missing);
        draw_tile(row, column, patterns + uint32_t(tiles[column]) * TileBytes,
                  attributes[column / ColumnsPerAttribute], quadrant + (column & 2));
    }
    row.drawn |= needed;
}

// Row `y` of tiles of `table`, its `needed` columns good for a line to copy.
// Nearly always they are already: the bytes compare equal and the columns
// are drawn.
inline const TileRow& prepare_row(int table, int y, uint32_t needed, const uint8_t* patterns) {
    TileRow& row = picture.rows[table][y];
    const uint8_t* cells = machine.nametable_ram + table * TableBytes;
    const uint8_t* tiles = cells + y * TableColumns;
    const uint8_t* attributes = cells + AttributeOffset + uint32_t(y / 4) * AttributesPerRow;
    if ((needed & ~row.drawn) || std::memcmp(row.tiles, tiles, TableColumns) != 0 ||
        std::memcmp(row.attributes, attributes, AttributesPerRow) != 0)
        redraw_row(row, y, tiles, attributes, needed, patterns);
    return row;
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
        take_colours(pattern_table);
    const uint8_t* patterns = machine.chr_mem + (pattern_table ? PatternTableBytes : 0);

    const uint16_t v =
        uint16_t((machine.vram_addr & ~HorizontalBits & ScrollMask) | (machine.temp_addr & HorizontalBits));
    const int row = (v & CoarseYMask) >> CoarseYShift;
    const int first_column = v & CoarseXMask;
    const int fine = machine.fine_x & 7;

    // The 32 coarse-X steps of a line cross exactly one nametable edge: the
    // line starts `start` pixels into its row of the table `v` selects and
    // takes the rest from the same row of its horizontal neighbour.
    const int start = first_column * TilePixels + fine;
    const int fine_y = (v & FineYMask) >> FineYShift;
    const int neighbour = table_of(v ^ HorizontalNametable);
    const TileRow& own = prepare_row(table_of(v), row, AllColumns << first_column, patterns);
    const TileRow& next =
        prepare_row(neighbour, row, first_columns((start + TilePixels - 1) / TilePixels), patterns);
    const int own_pixels = ScreenWidth - start;
    std::memcpy(pixels, own.pixels[fine_y] + start, size_t(own_pixels) * sizeof *pixels);
    std::memcpy(pixels + own_pixels, next.pixels[fine_y], size_t(start) * sizeof *pixels);
    std::memcpy(indices, own.indices[fine_y] + start, size_t(own_pixels));
    std::memcpy(indices + own_pixels, next.indices[fine_y], size_t(start));

    // Clipped columns are the backdrop, as index 0 is.
    if (!(machine.ppu_mask & MaskLeftBackground)) {
        std::memset(indices, 0, LeftColumns);
        std::fill_n(pixels, LeftColumns, machine.palette[machine.palette_ram[0] & PaletteEntryMask]);
    }

    // The walk's last fetch: with a fine scroll the 33rd tile's nametable
    // byte, without one the attribute fetch after the 32nd step.
    machine.read_buffer =
        fine ? next.tiles[first_column] : next.attributes[first_column / ColumnsPerAttribute];

    // After its 32 coarse-X steps the scroll is back at its first column,
    // in the neighbouring table.
    machine.vram_addr = step_vertical(v ^ HorizontalNametable);
}
