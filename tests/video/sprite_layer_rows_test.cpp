// Successive sprite layers: each must hold exactly its own sprites, whatever
// the layers before it drew, including layers with no sprite at all.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/machine.h"
#include "support/cartridge.h"
#include "video/sprites.h"

namespace {

constexpr int Tile = 1;
constexpr uint8_t Hidden = 0xEF; // top row 240: off the screen

// A character-RAM cartridge with tile 1 solid in pattern value 1 and every
// sprite off the screen.
void power_on() {
    Image image = make_image(1, 0);
    put_program(image, 0xC000, {0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    machine.ppu_mask = 0x1E;
    for (int r = 0; r < 8; r++)
        machine.chr_mem[Tile * 16 + r] = 0xFF;
    for (int e = 0; e < 64; e++)
        machine.oam[e * 4] = Hidden;
}

// Rows of the layer holding any sprite pixel, as first and end, and the
// number of sprite pixels.
struct Drawn {
    int first = -1, end = -1, pixels = 0;
};

Drawn drawn() {
    Drawn d;
    for (int y = 0; y < ScreenHeight; y++)
        for (int x = 0; x < ScreenWidth; x++)
            if (machine.sprite_layer[y * ScreenWidth + x]) {
                if (d.first < 0) d.first = y;
                d.end = y + 1;
                d.pixels++;
            }
    return d;
}

} // namespace

TEST(SpriteLayerRows, EachLayerHoldsOnlyItsOwnSprites) {
    power_on();
    struct Frame {
        int y, second_y; // of sprites 0 and 1, or Hidden
        bool tall;       // 8 x 16 sprites: blank tile 0 over solid tile 1
        Drawn expected;
    };
    const Frame frames[] = {
        {10, Hidden, false, {11, 19, 64}},    {Hidden, Hidden, false, {}},
        {Hidden, Hidden, false, {}},          {20, 200, false, {21, 209, 128}},
        {100, Hidden, false, {101, 109, 64}}, {230, Hidden, true, {239, 240, 8}},
        {0, 50, true, {9, 67, 128}},          {Hidden, Hidden, true, {}},
        {238, Hidden, false, {239, 240, 8}},
    };
    for (const Frame& frame : frames) {
        machine.ppu_ctrl = frame.tall ? 0x20 : 0;
        const int ys[] = {frame.y, frame.second_y};
        for (int e = 0; e < 2; e++) {
            machine.oam[e * 4] = uint8_t(ys[e]);
            machine.oam[e * 4 + 1] = frame.tall ? 0 : Tile;
            machine.oam[e * 4 + 2] = 0;
            machine.oam[e * 4 + 3] = uint8_t(40 + 100 * e);
        }
        render_sprite_layer();
        const Drawn got = drawn();
        SCOPED_TRACE(testing::Message()
                     << "sprites at " << frame.y << ", " << frame.second_y << (frame.tall ? " tall" : ""));
        EXPECT_EQ(frame.expected.first, got.first);
        EXPECT_EQ(frame.expected.end, got.end);
        EXPECT_EQ(frame.expected.pixels, got.pixels);
    }
}

// A layer is not cleared whole: only the boxes the last one drew are, so a
// frame of few sprites costs few rows. A byte outside every box (one no
// layer drew) is left standing, while each box the last layer drew is
// emptied, the boxes of sprites cut at the right and bottom edges included.
TEST(SpriteLayerRows, ALayerClearsOnlyTheBoxesTheLastOneDrew) {
    power_on();
    render_sprite_layer();
    constexpr int Marker = 120 * ScreenWidth + 128;
    machine.sprite_layer[Marker] = 0x55;
    const int boxes[][2] = {{10, 40}, {235, 252}, {60, 0}, {200, 250}}; // y, x
    for (const auto& box : boxes) {
        machine.oam[0] = uint8_t(box[0]);
        machine.oam[1] = Tile;
        machine.oam[2] = 0;
        machine.oam[3] = uint8_t(box[1]);
        render_sprite_layer();
        const int top = box[0] + 1, rows = std::min(8, ScreenHeight - top);
        const int columns = std::min(8, ScreenWidth - box[1]);
        const Drawn got = drawn();
        EXPECT_EQ(got.pixels, rows * columns + 1) << "y " << box[0];
        EXPECT_EQ(machine.sprite_layer[Marker], 0x55) << "y " << box[0];
    }
}
