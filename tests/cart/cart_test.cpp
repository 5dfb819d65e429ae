// The bundled cartridge through the library, as the player runs it: every
// sound channel comes to life, Start silences them, the bank register is
// used as the board expects; and the palette and artwork the build makes.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio/synth.h"
#include "core/cpu.h"
#include "core/machine.h"
#include "support/cartridge.h"
#include "video/scheduler.h"

namespace {

constexpr int SoundFramesPerFrame = 44100 / 60;
constexpr int Channels = 5;

struct PadChange {
    int frame;
    int pad;
};

// The golden run's input script: "FRAME HEX" lines, '#' comments.
std::vector<PadChange> golden_script() {
    std::vector<PadChange> changes;
    std::ifstream in(CART_GOLDEN_DIR "/script.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        PadChange change{};
        words >> change.frame >> std::hex >> change.pad;
        changes.push_back(change);
    }
    return changes;
}

bool load_play_folder() {
    clear_machine();
    char previous[4096];
    if (!getcwd(previous, sizeof previous)) return false;
    const bool loaded = chdir(HALVENOR_PLAY_DIR) == 0 && machine_init();
    return chdir(previous) == 0 && loaded;
}

std::set<int32_t> banks_seen;
void note_bank(uint8_t) {
    banks_seen.insert(machine.prg_bank_offset / PrgBankSize);
    // The cartridge must never move $2007's pattern accesses away from the
    // table that the picture unit draws from.
    EXPECT_EQ(machine.chr_bank_offset, 0);
}

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(Cartridge, HeaderAsksForFourBanksCharacterRamAndSideBySideNametables) {
    const std::vector<uint8_t> image = read_bytes(HALVENOR_PLAY_DIR "/game.nes");
    ASSERT_EQ(image.size(), 16u + 4u * PrgBankSize);
    EXPECT_EQ(image[4], 4);
    EXPECT_EQ(image[5], 0);
    EXPECT_EQ(image[6], 1);
    // The reset and NMI vectors point into the fixed bank.
    const size_t vectors = image.size() - 6;
    EXPECT_GE(image[vectors + 1], 0xC0);
    EXPECT_GE(image[vectors + 3], 0xC0);
}

// Plays the golden script through the library, synthesising each frame's
// sound as the audio thread would, and watches the channels between frames.
TEST(Cartridge, EveryChannelSoundsStartSilencesThemAndBanksSwitch) {
    ASSERT_TRUE(load_play_folder());
    const std::vector<PadChange> script = golden_script();
    ASSERT_FALSE(script.empty());

    bool sounded[Channels] = {};
    std::set<int32_t> duties;
    int paused_frames = 0;
    int loud_paused_frames = 0;
    size_t next = 0;
    static uint8_t sound[SoundFramesPerFrame * 4];
    banks_seen.clear();
    cpu_trace_hook = note_bank;
    const int last_frame = script.back().frame + 60;
    for (int frame = 0; frame < last_frame; frame++) {
        while (next < script.size() && script[next].frame <= frame)
            machine.PadState = uint8_t(script[next++].pad);
        run_frame();
        synthesize_plain(sound, SoundFramesPerFrame);
        for (int c = ChannelPulse1; c <= ChannelNoise; c++)
            if (machine.channels[c].volume.load(std::memory_order_relaxed) > 0) sounded[c] = true;
        if (machine.dmc_level.load(std::memory_order_relaxed) > 0) sounded[ChannelSample] = true;
        for (int c = ChannelPulse1; c <= ChannelPulse2; c++)
            if (machine.channels[c].target_volume.load(std::memory_order_relaxed) > 0)
                duties.insert(machine.channels[c].wave_offset.load(std::memory_order_relaxed));

        // While the word PAUSE shows, every channel heads for silence.
        const bool paused = machine.nametable_ram[2 * 32 + 17] == 'P';
        if (paused) {
            paused_frames++;
            bool quiet = machine.dmc_bytes_left.load(std::memory_order_relaxed) == 0;
            for (int c = ChannelPulse1; c <= ChannelNoise; c++)
                quiet = quiet && machine.channels[c].target_volume.load(std::memory_order_relaxed) == 0;
            if (!quiet) loud_paused_frames++;
        }
    }
    cpu_trace_hook = nullptr;

    const char* const names[Channels] = {"pulse 1", "pulse 2", "triangle", "noise", "sample"};
    for (int c = 0; c < Channels; c++)
        EXPECT_TRUE(sounded[c]) << names[c] << " never sounded";
    EXPECT_GE(duties.size(), 2u) << "the pulses play in one duty only";
    EXPECT_GT(paused_frames, 60) << "the script no longer pauses the game";
    EXPECT_EQ(loud_paused_frames, 0);
    // Tiles, song and world each live in a switchable bank of their own.
    EXPECT_TRUE(banks_seen.count(0) && banks_seen.count(1) && banks_seen.count(2));
}

TEST(Palette, ComesFromTheSignalModelWithGreysHuesAndLevels) {
    // As the build's maker wrote it for the bundled game.
    const std::vector<uint8_t> bytes = read_bytes(HALVENOR_PLAY_DIR "/palette.pal");
    ASSERT_EQ(bytes.size(), 192u);
    auto red = [&](int n) { return int(bytes[size_t(3 * n)]); };
    auto green = [&](int n) { return int(bytes[size_t(3 * n + 1)]); };
    auto blue = [&](int n) { return int(bytes[size_t(3 * n + 2)]); };
    auto brightness = [&](int n) { return red(n) + green(n) + blue(n); };

    for (int level = 0; level < 4; level++) {
        // Columns 0 and 13 are greys; 14 and 15 black.
        for (int column : {0, 13, 14, 15}) {
            const int n = level * 16 + column;
            EXPECT_EQ(red(n), green(n)) << "colour " << n;
            EXPECT_EQ(green(n), blue(n)) << "colour " << n;
        }
        EXPECT_EQ(brightness(level * 16 + 14), 0);
        EXPECT_EQ(brightness(level * 16 + 15), 0);
    }
    EXPECT_EQ(brightness(0x0F), 0);
    EXPECT_EQ(brightness(0x30), 3 * 255);
    // Each hue brightens level by level.
    for (int column = 1; column <= 12; column++)
        for (int level = 1; level < 4; level++)
            EXPECT_GT(brightness(level * 16 + column), brightness((level - 1) * 16 + column))
                << "column " << column << " level " << level;
    // The wheel: blue, red, yellow and green where the games expect them.
    EXPECT_GT(blue(0x12), 2 * red(0x12));
    EXPECT_GT(red(0x16), 2 * green(0x16));
    EXPECT_GT(red(0x28), 2 * blue(0x28));
    EXPECT_GT(green(0x28), 2 * blue(0x28));
    EXPECT_GT(green(0x1A), 2 * red(0x1A));
    EXPECT_GT(green(0x1A), 2 * blue(0x1A));
}

TEST(Artwork, IsLargeDarkAndQuiet) {
    SDL_Surface* loaded = IMG_Load(HALVENOR_PLAY_DIR "/artwork.jpg");
    ASSERT_NE(loaded, nullptr) << IMG_GetError();
    SDL_Surface* picture = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(loaded);
    ASSERT_NE(picture, nullptr);
    EXPECT_GE(picture->w, 1920);
    EXPECT_GE(picture->h, 1080);
    // Dark overall, and no bright patch that would pull the eye from the
    // game: the brightest 64x64 block stays dim.
    double total = 0;
    double brightest_block = 0;
    constexpr int Block = 64;
    for (int by = 0; by + Block <= picture->h; by += Block)
        for (int bx = 0; bx + Block <= picture->w; bx += Block) {
            double sum = 0;
            for (int y = by; y < by + Block; y++) {
                const auto* row = static_cast<const uint8_t*>(picture->pixels) + y * picture->pitch;
                for (int x = bx; x < bx + Block; x++)
                    sum += row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
            }
            const double mean = sum / (3.0 * Block * Block);
            brightest_block = std::max(brightest_block, mean);
            total += mean;
        }
    const double blocks = double(picture->w / Block) * double(picture->h / Block);
    SDL_FreeSurface(picture);
    EXPECT_LT(total / blocks, 70.0);
    EXPECT_LT(brightest_block, 110.0);
    EXPECT_GT(brightest_block, 20.0) << "the artwork is plain black";
}
