// Successive sprite layers: each must hold exactly its own sprites, whatever
// the layers before it drew, including layers with no sprite at all.
#include <gtest/gtest.h>

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

// Rows of the layer holding any sprite pixel, as first and end.
std::pair<int, int> drawn_rows() {
    int first = -1, end = -1;
    for (int y = 0; y < ScreenHeight; y++)
        for (int x = 0; x < ScreenWidth; x++)
            if (machine.sprite_layer[y * ScreenWidth + x]) {
                if (first < 0) first = y;
                end = y + 1;
            }
    return {first, end};
}

} // namespace

TEST(SpriteLayerRows, EachLayerHoldsOnlyItsOwnSprites) {
    power_on();
    struct Frame {
        int y;     // of sprite 0, or Hidden
        bool tall; // 8 x 16 sprites
        int first; // expected drawn rows, -1 for none
        int end;
    };
    const Frame frames[] = {
        {10, false, 11, 19},   {Hidden, false, -1, -1}, {Hidden, false, -1, -1}, {100, false, 101, 109},
        {230, true, 239, 240}, {0, true, 9, 17},        {Hidden, true, -1, -1},  {238, false, 239, 240},
    };
    for (const Frame& frame : frames) {
        machine.ppu_ctrl = frame.tall ? 0x20 : 0;
        machine.oam[0] = uint8_t(frame.y);
        machine.oam[1] = frame.tall ? 0 : Tile; // tall: blank tile 0 over solid tile 1
        machine.oam[2] = 0;
        machine.oam[3] = 40;
        render_sprite_layer();
        const auto [first, end] = drawn_rows();
        SCOPED_TRACE(testing::Message() << "sprite at " << frame.y << (frame.tall ? " tall" : ""));
        EXPECT_EQ(frame.end, end);
        EXPECT_EQ(frame.first, first);
    }
}
