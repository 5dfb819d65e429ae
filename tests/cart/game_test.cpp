// The game's rules, played through the library frame by frame: the tests
// read and set the game's variables at the addresses the linker reports,
// and hold the spawn timers so that only what a test places is on screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/machine.h"
#include "support/cartridge.h"
#include "video/scheduler.h"

namespace {

constexpr uint8_t PadA = 0x01, PadB = 0x02, PadSelect = 0x04, PadStart = 0x08, PadDown = 0x20, PadLeft = 0x40,
                  PadRight = 0x80;
constexpr int ModeTitle = 0, ModePlay = 1, ModeOver = 2;
constexpr int GroundY = 176;

std::map<std::string, uint16_t> read_labels() {
    std::map<std::string, uint16_t> labels;
    std::ifstream in(HALVENOR_CART_LABELS);
    std::string kind, address, name;
    while (in >> kind >> address >> name)
        labels[name.substr(1)] = uint16_t(std::stoul(address, nullptr, 16));
    return labels;
}

class Game : public ::testing::Test {
  protected:
    std::map<std::string, uint16_t> labels = read_labels();

    uint8_t& var(const std::string& name, int index = 0) {
        const auto found = labels.find(name);
        EXPECT_NE(found, labels.end()) << name;
        return machine.ram[(found == labels.end() ? 0 : found->second) + index];
    }

    int score() {
        int value = 0;
        for (int i = 0; i < 5; i++)
            value = value * 10 + var("score", i);
        return value;
    }

    // Runs frames with the pad held, keeping new stars and meteors away.
    void run(int frames, uint8_t pad = 0) {
        for (int i = 0; i < frames; i++) {
            var("star_timer") = 200;
            var("meteor_timer") = 200;
            machine.PadState = pad;
            run_frame();
        }
    }

    void press(uint8_t button) {
        run(2, button);
        run(2);
    }

    void SetUp() override {
        ASSERT_FALSE(labels.empty()) << "no labels at " HALVENOR_CART_LABELS;
        clear_machine();
        char previous[4096];
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(HALVENOR_PLAY_DIR), 0);
        const bool loaded = machine_init();
        ASSERT_EQ(chdir(previous), 0);
        ASSERT_TRUE(loaded);
        run(30);
        ASSERT_EQ(var("mode"), ModeTitle);
        press(PadStart);
        run(10);
        ASSERT_EQ(var("mode"), ModePlay);
    }

    // A meteor at (x, y) falling slowly straight down.
    void place_meteor(int slot, int x, int y) {
        var("meteor_on", slot) = 1;
        var("meteor_x", slot) = uint8_t(x);
        var("meteor_y", slot) = uint8_t(y);
        var("meteor_v_low", slot) = 0x40;
        var("meteor_v_high", slot) = 0;
        var("meteor_dx", slot) = 0;
    }
};

TEST_F(Game, RunsAndJumpsWithinTheScreen) {
    const int start = var("player_x");
    run(10, PadRight);
    EXPECT_EQ(var("player_x"), start + 20);
    run(200, PadRight);
    EXPECT_EQ(var("player_x"), 232) << "stops at the right edge";
    run(200, PadLeft);
    EXPECT_EQ(var("player_x"), 8) << "stops at the left edge";

    // A held jump goes higher and lasts longer than one cut short by Down.
    auto jump = [&](uint8_t held) {
        int top = GroundY, frames = 0;
        run(1, PadA);
        do {
            run(1, held);
            top = std::min(top, int(var("player_y")));
            frames++;
        } while (!var("player_on_ground") && frames < 200);
        EXPECT_EQ(var("player_y"), GroundY);
        return std::make_pair(GroundY - top, frames);
    };
    const auto [high, long_air] = jump(PadA);
    const auto [low, short_air] = jump(PadDown);
    EXPECT_GT(high, 40);
    EXPECT_LT(low, high);
    EXPECT_LT(short_air, long_air);
}

TEST_F(Game, CatchingAStarScoresAndChimesUpToTheTopScore) {
    var("star_on", 0) = 1;
    var("star_x", 0) = uint8_t(var("player_x") + 4);
    var("star_y", 0) = uint8_t(GroundY - 20);
    var("star_v_low", 0) = 0;
    var("star_v_high", 0) = 2;
    run(20);
    EXPECT_EQ(var("star_on", 0), 0);
    EXPECT_EQ(score(), 10);
    EXPECT_GT(machine.dmc_bytes_left.load(std::memory_order_relaxed), 0) << "no chime";
    EXPECT_EQ(machine.dmc_address.load(std::memory_order_relaxed), 0xC000);

    // The score carries across digits and stops at 99999.
    for (int i = 0; i < 5; i++)
        var("score", i) = 9;
    var("score", 3) = 8;
    var("star_on", 0) = 1;
    var("star_y", 0) = uint8_t(GroundY - 20);
    run(20);
    EXPECT_EQ(score(), 99999);
}

TEST_F(Game, MeteorsTakeLivesUntilTheGameIsOverAndStartRestarts) {
    place_meteor(0, var("player_x"), GroundY - 10);
    run(10);
    EXPECT_EQ(var("lives"), 2);
    // Blinking after a hit protects the player.
    place_meteor(1, var("player_x"), GroundY - 10);
    run(10);
    EXPECT_EQ(var("lives"), 2);
    run(130);
    for (int life = 2; life > 0; life--) {
        place_meteor(0, var("player_x"), GroundY - 10);
        run(10);
        run(130);
    }
    EXPECT_EQ(var("lives"), 0);
    EXPECT_EQ(var("mode"), ModeOver);

    var("score", 3) = 5; // the game over keeps the best score from here on
    press(PadStart);
    EXPECT_EQ(var("mode"), ModeOver) << "Start at once after the end is ignored";
    run(60);
    press(PadStart);
    run(10);
    EXPECT_EQ(var("mode"), ModePlay);
    EXPECT_EQ(var("lives"), 3);
    EXPECT_EQ(score(), 0);
}

TEST_F(Game, ShotsBreakMeteorsAndScore) {
    place_meteor(0, var("player_x"), 80);
    press(PadB);
    run(30);
    EXPECT_EQ(var("meteor_on", 0), 0);
    EXPECT_EQ(score(), 25);
    EXPECT_EQ(var("lives"), 3);
}

TEST_F(Game, StartFreezesTheWorldAndSelectChangesTheSky) {
    place_meteor(0, 100, 60);
    press(PadStart);
    ASSERT_EQ(var("paused"), 1);
    const int y = var("meteor_y", 0);
    run(60, PadRight);
    EXPECT_EQ(var("meteor_y", 0), y);
    EXPECT_EQ(machine.channels[ChannelTriangle].target_volume.load(std::memory_order_relaxed), 0);
    press(PadStart);
    run(10);
    EXPECT_GT(var("meteor_y", 0), y);

    // Select steps through three skies and back.
    const uint8_t first = machine.palette_ram[0];
    press(PadSelect);
    const uint8_t second = machine.palette_ram[0];
    press(PadSelect);
    const uint8_t third = machine.palette_ram[0];
    press(PadSelect);
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);
    EXPECT_NE(first, third);
    EXPECT_EQ(machine.palette_ram[0], first);
}

// The status bar stays put above the split while the world scrolls below;
// compared on the background layer alone, so that moving sprites do not count.
TEST_F(Game, StatusBarHoldsStillWhileThePlayfieldScrolls) {
    constexpr int BarTop = 16, BarBottom = 32, FieldTop = 40;
    auto rows = [](int from, int to) {
        return std::vector<uint8_t>(machine.bg_index + from * ScreenWidth,
                                    machine.bg_index + to * ScreenWidth);
    };
    run(1, PadRight);
    const std::vector<uint8_t> bar = rows(BarTop, BarBottom);
    const std::vector<uint8_t> field = rows(FieldTop, ScreenHeight);
    const int scroll = var("play_scroll");
    run(8, PadRight);
    EXPECT_EQ(var("play_scroll"), (scroll + 16) & 0xFF) << "two pixels a frame while running right";
    EXPECT_TRUE(rows(BarTop, BarBottom) == bar);
    EXPECT_FALSE(rows(FieldTop, ScreenHeight) == field);
}

} // namespace
