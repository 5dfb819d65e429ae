// The sprite layer and the sprite-0 test: hand-worked sprites, and random
// sprite memories checked against a sprite-by-sprite, pixel-by-pixel reading
// of the drawing rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/machine.h"
#include "support/cartridge.h"
#include "video/sprites.h"

namespace {

void power_on() {
    Image image = make_image(1, 0);
    put_program(image, 0xC000, {0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    machine.ppu_mask = 0x1E;
    for (int i = 0; i < 32; i++)
        machine.palette_ram[i] = uint8_t(i + 0x20);
    std::memset(machine.bg_index, 0, sizeof machine.bg_index);
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
}

void set_sprite(int entry, int y, int tile, int attributes, int x) {
    machine.oam[entry * 4] = uint8_t(y);
    machine.oam[entry * 4 + 1] = uint8_t(tile);
    machine.oam[entry * 4 + 2] = uint8_t(attributes);
    machine.oam[entry * 4 + 3] = uint8_t(x);
}

// Pattern tile `tile` (0..511): row r gets planes low[r], high[r].
void put_tile(int tile, const uint8_t (&low)[8], const uint8_t (&high)[8]) {
    for (int r = 0; r < 8; r++) {
        machine.chr_mem[tile * 16 + r] = low[r];
        machine.chr_mem[tile * 16 + r + 8] = high[r];
    }
}

void solid_tile(int tile, int value) {
    const uint8_t low = (value & 1) ? 0xFF : 0, high = (value & 2) ? 0xFF : 0;
    put_tile(tile, {low, low, low, low, low, low, low, low},
             {high, high, high, high, high, high, high, high});
}

uint8_t layer_at(int x, int y) {
    return machine.sprite_layer[y * ScreenWidth + x];
}
uint32_t colour_of(int index) {
    return machine.palette[machine.palette_ram[index]];
}

// The drawing rules read literally: pattern value of one sprite pixel.
int reference_value(const uint8_t* entry, int r, int c) {
    const bool tall = machine.ppu_ctrl & 0x20, flip_x = entry[2] & 0x40, flip_y = entry[2] & 0x80;
    int tile;
    if (tall) {
        const int t = 256 * (entry[1] & 1) + (entry[1] & 0xFE);
        const int upper = flip_y ? t + 1 : t, lower = flip_y ? t : t + 1;
        tile = r < 8 ? upper : lower;
    } else {
        tile = entry[1] + ((machine.ppu_ctrl & 0x08) ? 256 : 0);
    }
    const int row = flip_y ? 7 - (r & 7) : (r & 7);
    const int bit = flip_x ? c : 7 - c;
    const int low = machine.chr_mem[16 * tile + row], high = machine.chr_mem[16 * tile + row + 8];
    return ((high >> bit) & 1) * 2 + ((low >> bit) & 1);
}

int reference_height(int top) {
    const int h = (machine.ppu_ctrl & 0x20) ? 16 : 8;
    return top + h > 240 ? 240 - top : h;
}

void reference_layer(std::vector<uint8_t>& layer, std::vector<uint32_t>& pixels) {
    layer.assign(ScreenPixels, 0);
    for (int e = 0; e < 64; e++) {
        const uint8_t* entry = machine.oam + 4 * e;
        const int top = entry[0] + 1, x = entry[3];
        const int width = x + 8 > 256 ? 256 - x : 8;
        const int first = (!(machine.ppu_mask & 0x04) && x < 8) ? 8 - x : 0;
        for (int r = 0; r < reference_height(top); r++)
            for (int c = first; c < width; c++) {
                const int value = reference_value(entry, r, c);
                uint8_t& cell = layer[size_t((top + r) * 256 + x + c)];
                if (value && !cell)
                    cell = uint8_t(0x10 + 4 * (entry[2] & 3) + ((entry[2] & 0x20) ? 0 : 0x80) + value);
            }
    }
    pixels.assign(FrameBuffer, FrameBuffer + ScreenPixels);
    for (int i = 0; i < ScreenPixels; i++) {
        const uint8_t s = layer[size_t(i)], b = machine.bg_index[i];
        if (((s & 0x80) && (s & 3)) || (!(s & 0x80) && (s & 3) && b == 0))
            pixels[size_t(i)] = colour_of(s & 0x7F);
    }
}

int reference_hit(int line) {
    const uint8_t* entry = machine.oam;
    const int top = entry[0] + 1, x = entry[3];
    if (line < top || line >= top + reference_height(top)) return -1;
    for (int c = 0; c < (x + 8 > 256 ? 256 - x : 8); c++)
        if (reference_value(entry, line - top, c) && (machine.bg_index[line * 256 + x + c] & 3)) return x + c;
    return -1;
}

} // namespace

TEST(Sprites, RandomSpriteMemoriesMatchTheRules) {
    std::mt19937 random(77);
    std::vector<uint8_t> layer;
    std::vector<uint32_t> pixels;
    for (int state = 0; state < 60; state++) {
        power_on();
        for (int i = 0; i < 8192; i++)
            machine.chr_mem[i] = uint8_t(random() & random()); // sparse, so sprites overlap partly
        for (uint8_t& b : machine.oam)
            b = uint8_t(random());
        // Crowd some sprites onto a few lines and into the screen's corners.
        for (int e = 0; e < 64; e += 3)
            machine.oam[4 * e] = uint8_t(state % 2 ? 100 + (random() % 8) : 225 + (random() % 20));
        for (int e = 1; e < 64; e += 5)
            machine.oam[4 * e + 3] = uint8_t(random() % 2 ? random() % 10 : 246 + random() % 10);
        for (int i = 0; i < ScreenPixels; i++) {
            machine.bg_index[i] = uint8_t(random() % 3 ? 0 : random() % 16);
            FrameBuffer[i] = uint32_t(random());
        }
        for (uint8_t& p : machine.palette_ram)
            p = uint8_t(random() & 0x3F);
        machine.ppu_ctrl = uint8_t(random());
        machine.ppu_mask = uint8_t(random());

        for (int line = 0; line < ScreenHeight; line++)
            ASSERT_EQ(sprite0_hit_x(line), reference_hit(line)) << "state " << state << " line " << line;
        reference_layer(layer, pixels);
        render_sprite_layer();
        for (int i = 0; i < ScreenPixels; i++) {
            ASSERT_EQ(machine.sprite_layer[i], layer[size_t(i)]) << "state " << state << " at " << i;
            ASSERT_EQ(FrameBuffer[i], pixels[size_t(i)]) << "state " << state << " at " << i;
        }
    }
}

TEST(Sprites, FirstSpriteOwnsItsPixelsEvenBehindTheBackground) {
    power_on();
    solid_tile(1, 1);
    solid_tile(2, 3);
    set_sprite(0, 49, 1, 0x20 | 1, 50); // behind, palette 1
    set_sprite(1, 49, 2, 0x02, 52);     // in front, palette 2, overlapping columns 52-57
    machine.bg_index[50 * 256 + 54] = 5;
    render_sprite_layer();
    EXPECT_EQ(layer_at(54, 50), 0x15);
    EXPECT_EQ(FrameBuffer[50 * 256 + 54], 0u) << "sprite 0 is behind the opaque background there";
    EXPECT_EQ(FrameBuffer[50 * 256 + 55], colour_of(0x15));
    EXPECT_EQ(layer_at(58, 50), 0x80 | 0x1B);
    EXPECT_EQ(FrameBuffer[50 * 256 + 58], colour_of(0x1B));

    // A behind sprite over a disabled (black, index 0) row is drawn.
    set_sprite(0, 199, 1, 0x20, 0);
    render_sprite_layer();
    EXPECT_EQ(FrameBuffer[200 * 256 + 0], colour_of(0x11));

    // Twenty sprites on one line are all drawn.
    for (int e = 0; e < 20; e++)
        set_sprite(e, 9, 1, 0, e * 12);
    render_sprite_layer();
    for (int e = 0; e < 20; e++)
        EXPECT_EQ(layer_at(e * 12 + 7, 10), 0x91) << e;
}

TEST(Sprites, FlipsAndTallSprites) {
    power_on();
    // Tile 5: a single pixel at row 1, column 2 (value 1), and row 6, column 7 (value 2).
    put_tile(5, {0, 0x20, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0x01, 0});
    set_sprite(0, 9, 5, 0x00, 20);
    set_sprite(1, 29, 5, 0x40, 20);
    set_sprite(2, 49, 5, 0x80, 20);
    set_sprite(3, 69, 5, 0xC0, 20);
    render_sprite_layer();
    EXPECT_EQ(layer_at(22, 11), 0x91);
    EXPECT_EQ(layer_at(27, 16), 0x92);
    EXPECT_EQ(layer_at(25, 31), 0x91) << "horizontal flip";
    EXPECT_EQ(layer_at(20, 36), 0x92);
    EXPECT_EQ(layer_at(22, 56), 0x91) << "vertical flip";
    EXPECT_EQ(layer_at(27, 51), 0x92);
    EXPECT_EQ(layer_at(25, 76), 0x91) << "both";
    EXPECT_EQ(layer_at(20, 71), 0x92);

    // 8x16: tile byte 0x13 draws 0x112 over 0x113 from the table at $1000,
    // whatever bit 3 says; a vertical flip swaps and turns both halves.
    power_on();
    machine.ppu_ctrl = 0x20 | 0x08;
    put_tile(0x112, {0x80, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0});
    put_tile(0x113, {0, 0, 0, 0, 0, 0, 0, 0x01}, {0, 0, 0, 0, 0, 0, 0, 0x01});
    EXPECT_EQ(machine.chr_mem[4384], 0x80);
    EXPECT_EQ(machine.chr_mem[4400 + 15], 0x01);
    set_sprite(0, 99, 0x13, 0x00, 40);
    set_sprite(1, 139, 0x13, 0x80, 40);
    render_sprite_layer();
    EXPECT_EQ(layer_at(40, 100), 0x91);
    EXPECT_EQ(layer_at(47, 115), 0x93);
    EXPECT_EQ(layer_at(47, 140), 0x93) << "the odd tile, upside down, on top";
    EXPECT_EQ(layer_at(40, 155), 0x91) << "the even tile, upside down, below";
    int drawn = 0;
    for (int i = 0; i < ScreenPixels; i++)
        drawn += machine.sprite_layer[i] != 0;
    EXPECT_EQ(drawn, 4);
}

TEST(Sprites, CutsAtTheEdgesAndTheLeftColumns) {
    power_on();
    solid_tile(1, 1);
    set_sprite(0, 238, 1, 0, 100); // only its first row, on line 239
    set_sprite(1, 239, 1, 0, 120); // nothing
    set_sprite(2, 255, 1, 0, 140); // nothing (top row 256)
    set_sprite(3, 9, 1, 0, 250);   // six columns
    set_sprite(4, 29, 1, 0, 3);    // left columns hidden: sprite columns 5-7 at 8-10
    machine.ppu_mask = 0x18;
    render_sprite_layer();
    int drawn = 0;
    for (int i = 0; i < ScreenPixels; i++)
        drawn += machine.sprite_layer[i] != 0;
    EXPECT_EQ(drawn, 8 + 6 * 8 + 3 * 8);
    EXPECT_EQ(layer_at(100, 239), 0x91);
    EXPECT_EQ(layer_at(255, 10), 0x91);
    EXPECT_EQ(layer_at(7, 30), 0);
    EXPECT_EQ(layer_at(8, 30), 0x91);
    EXPECT_EQ(layer_at(10, 37), 0x91);
}

// Sprites reaching below the picture, at every Y from the last full one
// down, short and tall: each keeps exactly its rows above line 240, and
// nothing of the machine beside the layer is touched (the layer's row 240
// would be the next field).
TEST(Sprites, NothingIsDrawnBelowTheLastLine) {
    static uint8_t before[sizeof(Machine)];
    const uint8_t* const record = reinterpret_cast<const uint8_t*>(&machine);
    const size_t layer_start = size_t(machine.sprite_layer - record);
    const size_t layer_end = layer_start + sizeof machine.sprite_layer;
    for (bool tall : {false, true})
        for (int y = 216; y < 256; y++) {
            power_on();
            solid_tile(0, 1);
            solid_tile(1, 1);
            machine.ppu_ctrl = tall ? 0x20 : 0x00;
            set_sprite(0, y, 0, 0, 100);
            set_sprite(1, y, 0, 0x20, 200); // behind a transparent background: drawn too
            std::memcpy(before, record, sizeof before);
            render_sprite_layer();
            const int top = y + 1, height = tall ? 16 : 8;
            const int rows = top >= 240 ? 0 : std::min(height, 240 - top);
            int drawn = 0;
            for (int i = 0; i < ScreenPixels; i++)
                drawn += machine.sprite_layer[i] != 0;
            EXPECT_EQ(drawn, 2 * 8 * rows) << "y " << y << " tall " << tall;
            if (rows > 0) {
                EXPECT_EQ(layer_at(100, top + rows - 1), 0x91) << "y " << y;
                EXPECT_EQ(FrameBuffer[(top + rows - 1) * 256 + 207], colour_of(0x11)) << "y " << y;
            }
            EXPECT_EQ(std::memcmp(record, before, layer_start), 0) << "y " << y;
            EXPECT_EQ(std::memcmp(record + layer_end, before + layer_end, sizeof before - layer_end), 0)
                << "y " << y << " tall " << tall;
        }
}

TEST(Sprites, SpriteZeroAnswersWhereSpritesAreNotDrawn) {
    power_on();
    solid_tile(1, 2);
    set_sprite(0, 19, 1, 0x20, 0); // behind the background, columns 0-7, lines 20-27
    // Opaque background only in the left columns, as the renderer leaves it
    // with its left columns shown.
    for (int line = 20; line < 28; line++)
        for (int x = 0; x < 8; x++)
            machine.bg_index[line * 256 + x] = uint8_t(x == 5 ? 6 : 0);
    machine.ppu_mask = 0x0A; // background with left columns, sprites off and clipped
    for (int line = 20; line < 28; line++)
        EXPECT_EQ(sprite0_hit_x(line), 5) << "every overlapping line answers";
    EXPECT_EQ(sprite0_hit_x(19), -1);
    EXPECT_EQ(sprite0_hit_x(28), -1);
    // Background clipped too: the renderer leaves index 0 there, no overlap.
    for (int line = 20; line < 28; line++)
        machine.bg_index[line * 256 + 5] = 0;
    EXPECT_EQ(sprite0_hit_x(20), -1);
    // Transparent sprite pixels never hit; the right edge cuts the test.
    machine.bg_index[22 * 256 + 253] = 1;
    set_sprite(0, 19, 1, 0, 250);
    EXPECT_EQ(sprite0_hit_x(22), 253);
    machine.bg_index[22 * 256 + 253] = 0;
    EXPECT_EQ(sprite0_hit_x(22), -1);
    // Its columns past 255 do not wrap onto the start of the next line.
    machine.bg_index[23 * 256 + 0] = machine.bg_index[23 * 256 + 1] = 3;
    EXPECT_EQ(sprite0_hit_x(22), -1);
}
