// The background renderer: hand-worked lines, and a pixel-by-pixel walk of
// the scroll rules that the tile-at-a-time renderer must match exactly.
#include <gtest/gtest.h>

#include <random>

#include "core/machine.h"
#include "support/cartridge.h"
#include "video/background.h"
#include "video/ppu.h"

namespace {

constexpr uint8_t ShowAll = 0x1E; // background and sprites, left columns included

// A character-RAM cartridge at power-on with the background enabled.
void power_on(int mirroring = 1) {
    Image image = make_image(1, 0, uint8_t(mirroring));
    put_program(image, 0xC000, {0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    machine.ppu_mask = ShowAll;
    for (int i = 0; i < 32; i++)
        machine.palette_ram[i] = uint8_t(i + 0x20);
}

// Tile `tile` of the table at $0000: every row has the given planes.
void fill_tile(int tile, uint8_t low, uint8_t high) {
    for (int row = 0; row < 8; row++) {
        machine.chr_mem[tile * 16 + row] = low;
        machine.chr_mem[tile * 16 + row + 8] = high;
    }
}

uint32_t colour_of(int index) {
    return machine.palette[machine.palette_ram[index]];
}

// The renderer's rules walked one pixel at a time, with a fetch per pixel.
struct WalkedLine {
    uint32_t pixels[ScreenWidth];
    uint8_t indices[ScreenWidth];
    uint16_t vram_addr;
    uint16_t fine_x;
    uint8_t read_buffer;
};

uint16_t walk_coarse_x(uint16_t v) {
    if ((v & 0x1F) == 31) return uint16_t((v ^ 0x0400) & 0xFFE0);
    return uint16_t((v + 1) & 0x7FFF);
}

void walk_line(WalkedLine& out) {
    const uint16_t saved_v = machine.vram_addr, saved_fine = machine.fine_x;
    const uint8_t saved_buffer = machine.read_buffer;
    if (!(machine.ppu_mask & 0x08)) {
        for (int x = 0; x < ScreenWidth; x++) {
            out.pixels[x] = 0;
            out.indices[x] = 0;
        }
    } else {
        machine.vram_addr = uint16_t((machine.vram_addr & 0x7BE0) | (machine.temp_addr & 0x041F));
        const int base = (machine.ppu_ctrl & 0x10) ? 256 : 0;
        const int fine_y = (machine.vram_addr >> 12) & 7;
        int attribute = fetch_attribute();
        int counter = machine.fine_x;
        for (int x = 0; x < ScreenWidth; x++) {
            int index = 0;
            if (x >= 8 || (machine.ppu_mask & 0x02)) {
                const int tile = vram_read(0x2000 | (machine.vram_addr & 0x0FFF), false);
                const int row = (tile + base) * 16 + fine_y;
                const int bit = 7 - counter;
                const int value =
                    ((machine.chr_mem[row + 8] >> bit) & 1) << 1 | ((machine.chr_mem[row] >> bit) & 1);
                index = value ? value | attribute : 0;
            }
            out.indices[x] = uint8_t(index);
            out.pixels[x] = colour_of(index);
            if (++counter > 7) {
                counter = 0;
                machine.vram_addr = walk_coarse_x(machine.vram_addr);
                attribute = fetch_attribute();
            }
        }
        machine.fine_x = uint16_t(counter);
        uint16_t v = machine.vram_addr;
        if ((v & 0x7000) != 0x7000) {
            v = uint16_t(v + 0x1000);
        } else {
            v &= 0x0FFF;
            int y = (v >> 5) & 31;
            if (y == 29) {
                y = 0;
                v ^= 0x0800;
            } else if (y == 31) {
                y = 0;
            } else {
                y++;
            }
            v = uint16_t((v & ~0x03E0) | (y << 5));
        }
        machine.vram_addr = v;
    }
    out.vram_addr = machine.vram_addr;
    out.fine_x = machine.fine_x;
    out.read_buffer = machine.read_buffer;
    machine.vram_addr = saved_v;
    machine.fine_x = saved_fine;
    machine.read_buffer = saved_buffer;
}

} // namespace

TEST(Background, MatchesAPixelByPixelWalkOverRandomScrolls) {
    std::mt19937 random(2024);
    auto byte = [&] { return uint8_t(random()); };
    WalkedLine expected;
    for (int state = 0; state < 300; state++) {
        power_on(int(random() & 1));
        for (int i = 0; i < 8192; i++)
            machine.chr_mem[i] = byte();
        for (uint8_t& b : machine.nametable_ram)
            b = byte();
        for (uint8_t& p : machine.palette_ram)
            p = byte() & 0x3F;
        machine.ppu_ctrl = byte();
        machine.ppu_mask = uint8_t(byte() | (state % 7 ? 0x08 : 0));
        machine.vram_addr = uint16_t(random() & 0x7FFF);
        machine.temp_addr = uint16_t(random() & 0x7FFF);
        machine.fine_x = uint16_t(random() & 7);
        machine.read_buffer = byte();
        const int first = int(random() % 236);
        for (int line = first; line < first + 4; line++) {
            walk_line(expected);
            render_background_line(line);
            SCOPED_TRACE(testing::Message() << "state " << state << " line " << line);
            ASSERT_EQ(machine.vram_addr, expected.vram_addr);
            ASSERT_EQ(machine.fine_x, expected.fine_x);
            ASSERT_EQ(machine.read_buffer, expected.read_buffer);
            for (int x = 0; x < ScreenWidth; x++) {
                ASSERT_EQ(machine.bg_index[line * ScreenWidth + x], expected.indices[x]) << "x " << x;
                ASSERT_EQ(FrameBuffer[line * ScreenWidth + x], expected.pixels[x]) << "x " << x;
            }
        }
    }
}

TEST(Background, ScrollStepsAtTheNametableEdges) {
    power_on(1);
    struct Case {
        uint16_t before, after;
    } vertical[] = {
        {0x7000 | (29 << 5), 0x0800},            // last tile row: wraps and toggles the vertical table
        {0x7800 | (29 << 5), 0x0000},            // ... back again
        {0x7000 | (31 << 5), 0x0000},            // attribute rows: wrap without the toggle
        {0x7000 | (30 << 5), 31 << 5},           // 30 steps into the attribute rows
        {0x3000 | (12 << 5), 0x4000 | (12 << 5)} // a fine step only
    };
    for (const Case& c : vertical) {
        machine.vram_addr = c.before;
        machine.temp_addr = 0;
        render_background_line(0);
        EXPECT_EQ(machine.vram_addr, c.after | 0x0400)
            << std::hex << c.before; // 32 coarse steps flip the table
    }

    // Coarse X 31 continues with column 0 of the neighbouring table.
    fill_tile(1, 0xFF, 0x00);
    fill_tile(2, 0x00, 0xFF);
    machine.nametable_ram[31] = 1;        // $201F
    machine.nametable_ram[0x400 + 0] = 2; // $2400
    machine.vram_addr = 0;
    machine.temp_addr = 31;
    machine.fine_x = 0;
    render_background_line(5);
    const uint8_t* row = machine.bg_index + 5 * ScreenWidth;
    EXPECT_EQ(row[0], 1);
    EXPECT_EQ(row[7], 1);
    EXPECT_EQ(row[8], 2);
    EXPECT_EQ(row[15], 2);
    EXPECT_EQ(row[16], 0);
    EXPECT_EQ(machine.vram_addr & 0x041F, 0x041F);
}

TEST(Background, FineScrollAttributesAndTransparency) {
    power_on(1);
    // Tile 1: only bit 4 of each row set; tile 2: all pixels value 2.
    fill_tile(1, 0x10, 0x00);
    fill_tile(2, 0x00, 0xFF);
    machine.nametable_ram[0] = 1;
    machine.nametable_ram[1] = 2;
    machine.fine_x = 3;
    machine.vram_addr = 0;
    machine.temp_addr = 0;
    render_background_line(0);
    const uint8_t* row = machine.bg_index;
    EXPECT_EQ(row[0], 1) << "fine X 3 starts at bit 4";
    for (int x = 1; x <= 4; x++)
        EXPECT_EQ(row[x], 0) << x;
    EXPECT_EQ(row[5], 2) << "the first coarse step comes after 8 - 3 pixels";
    EXPECT_EQ(FrameBuffer[0], colour_of(1));
    EXPECT_EQ(FrameBuffer[1], colour_of(0));
    EXPECT_EQ(machine.fine_x, 3);

    // Coarse X 2, coarse Y 2 takes bits 6-7 of its attribute byte; a
    // transparent pixel under group 2 is the backdrop, not index 8.
    power_on(1);
    fill_tile(3, 0xF0, 0x00);
    machine.nametable_ram[2 * 32 + 2] = 3;
    machine.nametable_ram[0x3C0] = 0x9C; // groups: 0 top-left, 3 top-right, 1 bottom-left, 2 bottom-right
    machine.vram_addr = 2 << 5 | 2;
    machine.temp_addr = 2;
    EXPECT_EQ(fetch_attribute(), 8);
    EXPECT_EQ(machine.read_buffer, 0x9C);
    machine.fine_x = 0;
    render_background_line(16);
    row = machine.bg_index + 16 * ScreenWidth;
    EXPECT_EQ(row[0], 9);
    EXPECT_EQ(row[3], 9);
    EXPECT_EQ(row[4], 0);
    EXPECT_EQ(FrameBuffer[16 * ScreenWidth + 4], colour_of(0));
    EXPECT_EQ(FrameBuffer[16 * ScreenWidth + 0], colour_of(9));
}

TEST(Background, LeftClippingAndADisabledLine) {
    power_on(1);
    fill_tile(0, 0xFF, 0xFF);
    machine.ppu_mask = 0x08; // background on, left columns hidden
    machine.vram_addr = 0;
    render_background_line(0);
    for (int x = 0; x < 8; x++) {
        EXPECT_EQ(machine.bg_index[x], 0);
        EXPECT_EQ(FrameBuffer[x], colour_of(0));
    }
    EXPECT_EQ(machine.bg_index[8], 3);

    // Switched off: black (not the backdrop), index 0 and the scroll left
    // where it was, so the next drawn line carries on from there.
    const uint16_t reached = machine.vram_addr;
    machine.ppu_mask = 0;
    machine.read_buffer = 0x42;
    render_background_line(1);
    for (int x = 0; x < ScreenWidth; x++) {
        ASSERT_EQ(FrameBuffer[ScreenWidth + x], 0u);
        ASSERT_EQ(machine.bg_index[ScreenWidth + x], 0);
    }
    EXPECT_EQ(machine.vram_addr, reached);
    EXPECT_EQ(machine.read_buffer, 0x42);
    machine.ppu_mask = ShowAll;
    render_background_line(2);
    EXPECT_EQ(machine.vram_addr, uint16_t((reached + 0x1000) & 0x7FFF));
}

TEST(Background, DrawnLineLeavesItsLastFetchInTheReadBuffer) {
    power_on(1);
    for (int i = 0; i < 0x400; i++)
        machine.nametable_ram[i] = uint8_t(i < 0x3C0 ? i : 0xA0 + (i & 7));
    machine.nametable_ram[0x400] = 0x77; // column 0 of $2400
    machine.nametable_ram[0x7C0] = 0x55; // its attribute byte
    // Without a fine scroll the walk ends on the 32nd step's attribute fetch,
    // which lands on the neighbouring table.
    machine.vram_addr = 0;
    machine.temp_addr = 0;
    machine.fine_x = 0;
    render_background_line(0);
    EXPECT_EQ(machine.read_buffer, 0x55);
    // With one, the last read is the 33rd tile's nametable byte.
    machine.vram_addr = 0;
    machine.fine_x = 5;
    render_background_line(0);
    EXPECT_EQ(machine.read_buffer, 0x77);
}

// The renderer keeps the tiles it has drawn. Every way a game can change
// what a tile shows, written as the game writes it, must show on the very
// next line: each round draws a line, changes one thing that line shows,
// and draws the same line again against the walk.
TEST(Background, KeptTilesFollowEveryChangeOfWhatTheyShow) {
    std::mt19937 random(7);
    auto pick = [&](uint32_t n) { return uint32_t(random() % n); };
    WalkedLine expected;
    enum Change { TileByte, AttributeByte, PatternByte, PaletteCell, PatternTable, Cartridge, Changes };
    int seen[Changes] = {};
    power_on(1);
    for (int i = 0; i < 8192; i++)
        machine.chr_mem[i] = uint8_t(random());
    for (int round = 0; round < 3000; round++) {
        const uint16_t scroll = uint16_t(pick(0x8000));
        const uint16_t fine = uint16_t(pick(8));
        const int line = int(pick(ScreenHeight));
        auto draw = [&] {
            machine.vram_addr = scroll;
            machine.temp_addr = scroll;
            machine.fine_x = fine;
            walk_line(expected);
            render_background_line(line);
        };
        draw();
        // The change lands on what the line shows: its row of tiles in
        // either of its two tables, or a pattern row one of them uses.
        const uint32_t table = 0x2000 | ((scroll & 0x0C00) ^ (pick(2) ? 0x0400 : 0));
        const uint32_t coarse_y = (scroll >> 5) & 31;
        const uint32_t column = pick(32);
        const Change change = Change(pick(Changes));
        seen[change]++;
        switch (change) {
        case TileByte: vram_write(table + coarse_y * 32 + column, uint8_t(random())); break;
        case AttributeByte: vram_write(table + 0x3C0 + coarse_y / 4 * 8 + column / 4, uint8_t(random())); break;
        case PatternByte: {
            const uint32_t tile = vram_read(table + coarse_y * 32 + column, false);
            const uint32_t base = (machine.ppu_ctrl & 0x10) ? 0x1000 : 0;
            vram_write(base + tile * 16 + (scroll >> 12) + pick(2) * 8, uint8_t(random()));
            break;
        }
        case PaletteCell: vram_write(0x3F00 + pick(16), uint8_t(random())); break;
        case PatternTable: machine.ppu_ctrl ^= 0x10; break;
        case Cartridge: {
            // A new cartridge, with either arrangement of the two tables:
            // nothing drawn before it holds.
            std::vector<uint8_t> memory(machine.nametable_ram, machine.nametable_ram + 2048);
            std::vector<uint8_t> cells(machine.palette_ram, machine.palette_ram + 32);
            const uint8_t ctrl = machine.ppu_ctrl;
            power_on(int(pick(2)));
            std::copy(memory.begin(), memory.end(), machine.nametable_ram);
            std::copy(cells.begin(), cells.end(), machine.palette_ram);
            machine.ppu_ctrl = ctrl;
            for (int i = 0; i < 8192; i++)
                machine.chr_mem[i] = uint8_t(random());
            break;
        }
        case Changes: break;
        }
        draw();
        SCOPED_TRACE(testing::Message() << "round " << round << " change " << change << " line " << line);
        for (int x = 0; x < ScreenWidth; x++) {
            ASSERT_EQ(machine.bg_index[line * ScreenWidth + x], expected.indices[x]) << "x " << x;
            ASSERT_EQ(FrameBuffer[line * ScreenWidth + x], expected.pixels[x]) << "x " << x;
        }
    }
    for (int change = 0; change < Changes; change++)
        EXPECT_GT(seen[change], 300) << change;
}

// The kept tiles are drawn once and copied after: pattern memory, which the
// renderer does not watch, can change under them unseen until
// background_forget. Every line of a row of tiles, at a fine scroll that
// takes tiles from both tables, shows the patterns its tiles were drawn
// from; once forgotten, the patterns as they stand.
TEST(Background, KeptTilesAreCopiedUntilForgotten) {
    std::mt19937 random(11);
    power_on(1);
    for (int i = 0; i < 8192; i++)
        machine.chr_mem[i] = uint8_t(random());
    for (uint8_t& cell : machine.nametable_ram)
        cell = uint8_t(random());
    constexpr uint16_t Row = 0x0200 | 0x0400 | 5; // coarse Y 16, the second table, coarse X 5
    machine.fine_x = 3;
    auto draw = [&](int fine_y, WalkedLine& walked) {
        machine.vram_addr = uint16_t(Row | fine_y << 12);
        machine.temp_addr = machine.vram_addr;
        walk_line(walked);
        render_background_line(100 + fine_y);
    };
    auto shows = [&](int fine_y, const WalkedLine& walked) {
        for (int x = 0; x < ScreenWidth; x++)
            if (machine.bg_index[(100 + fine_y) * ScreenWidth + x] != walked.indices[x] ||
                FrameBuffer[(100 + fine_y) * ScreenWidth + x] != walked.pixels[x])
                return false;
        return true;
    };
    WalkedLine drawn_from[8], now[8];
    for (int fine_y = 0; fine_y < 8; fine_y++) {
        draw(fine_y, drawn_from[fine_y]);
        ASSERT_TRUE(shows(fine_y, drawn_from[fine_y])) << fine_y;
    }
    for (int i = 0; i < 8192; i++)
        machine.chr_mem[i] = uint8_t(~machine.chr_mem[i]);
    for (int fine_y = 7; fine_y >= 0; fine_y--) {
        draw(fine_y, now[fine_y]);
        ASSERT_FALSE(shows(fine_y, now[fine_y])) << "the patterns changed what line " << fine_y << " shows";
        EXPECT_TRUE(shows(fine_y, drawn_from[fine_y])) << "line " << fine_y << " was drawn again";
    }
    background_forget();
    for (int fine_y = 0; fine_y < 8; fine_y++) {
        draw(fine_y, now[fine_y]);
        EXPECT_TRUE(shows(fine_y, now[fine_y])) << fine_y;
    }
}
