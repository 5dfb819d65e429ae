// Background colours follow every change of the palette, line by line: one
// palette cell changed between two lines, or the master palette entry behind
// a cell once the renderer is told of it, shows on the next line drawn.
#include <gtest/gtest.h>

#include "core/machine.h"
#include "support/cartridge.h"
#include "video/background.h"

namespace {

constexpr int Cells = 16; // background palette cells $3F00-$3F0F

// Tile 0 of the table at $0000 with pattern values 0, 1, 2, 3, 0, 1, 2, 3
// across every row, and a nametable that puts the four attribute groups
// side by side.
void power_on() {
    Image image = make_image(1, 0, 1);
    put_program(image, 0xC000, {0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    machine.ppu_mask = 0x0A;
    for (int row = 0; row < 8; row++) {
        machine.chr_mem[row] = 0x55;
        machine.chr_mem[row + 8] = 0x33;
    }
    // Attribute bytes of the top row of blocks: groups 0, 1, 2, 3 in turn
    // for columns 0-3, 4-7, 8-11 and 12-15.
    for (int block = 0; block < 8; block++)
        machine.nametable_ram[0x3C0 + block] = uint8_t(block & 3);
    for (int i = 0; i < Cells; i++)
        machine.palette_ram[i] = uint8_t(i + 1);
}

// The colour the line at `line` must show at column x.
uint32_t expected_colour(int line, int x) {
    const int index = machine.bg_index[line * ScreenWidth + x];
    return machine.palette[machine.palette_ram[index] & 0x3F];
}

// Draws the top row of tiles again on `line`.
void draw(int line) {
    machine.vram_addr = 0;
    render_background_line(line);
}

void expect_line_matches_palette(int line) {
    for (int x = 0; x < ScreenWidth; x++)
        ASSERT_EQ(expected_colour(line, x), FrameBuffer[line * ScreenWidth + x])
            << "line " << line << " x " << x;
}

} // namespace

TEST(BackgroundColours, EachLineShowsThePaletteAsItStandsThen) {
    power_on();
    int line = 0;
    draw(line);
    expect_line_matches_palette(line);

    // One cell at a time, each of the sixteen, including the backdrop.
    for (int cell = 0; cell < Cells; cell++) {
        machine.palette_ram[cell] = uint8_t(0x30 + cell);
        draw(++line);
        expect_line_matches_palette(line);
    }
    // The master palette entry behind a cell, the cell itself unchanged.
    const int entry = machine.palette_ram[6];
    machine.palette[entry] ^= 0x00FFFFFF;
    background_forget();
    draw(++line);
    expect_line_matches_palette(line);
    // Back to the first palette: the first line's colours return.
    machine.palette[entry] ^= 0x00FFFFFF;
    background_forget();
    for (int i = 0; i < Cells; i++)
        machine.palette_ram[i] = uint8_t(i + 1);
    draw(++line);
    expect_line_matches_palette(line);
    for (int x = 0; x < ScreenWidth; x++)
        ASSERT_EQ(FrameBuffer[x], FrameBuffer[line * ScreenWidth + x]) << "x " << x;
}
