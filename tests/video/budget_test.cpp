// The frame scheduler's budget arithmetic, read back from a processor that
// never overshoots: the worked timings of a frame, exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "core/machine.h"
#include "fake_cpu.h"
#include "video/ppu.h"
#include "video/scheduler.h"

namespace {

// Run indices within a frame: vertical blank, the line before the picture,
// then one closing run per line (plus a split run on a line with a hit).
constexpr size_t VblankRun = 0;
constexpr size_t PrerenderRun = 1;
constexpr size_t FirstLineRun = 2;

void quiet_machine() {
    std::memset(static_cast<void*>(&machine), 0, sizeof machine);
    std::memset(machine.oam, 0xFF, sizeof machine.oam);
    fake_cpu_reset();
}

int32_t sum_of_budgets() {
    int32_t sum = 0;
    for (const FakeRun& run : fake_runs)
        sum += run.budget;
    return sum;
}

// Opaque background everywhere, and sprite 0 as one opaque pixel on line 1
// at column `x` (and optionally one on line 5 at its left column).
void sprite_zero_at(int x, bool also_line_5) {
    for (int r = 0; r < 8; r++)
        machine.chr_mem[r] = 0xFF;  // tile 0: solid
    machine.chr_mem[16 + 0] = 0x80; // tile 1, row 0: leftmost pixel
    if (also_line_5) machine.chr_mem[16 + 4] = 0x80;
    machine.oam[0] = 0;
    machine.oam[1] = 1;
    machine.oam[2] = 0;
    machine.oam[3] = uint8_t(x);
    machine.ppu_mask = 0x0A; // background, left columns shown
}

} // namespace

TEST(FrameBudgets, AQuietFrameSettlesIntoTheRepeatingPattern) {
    quiet_machine();
    run_frame();
    ASSERT_EQ(fake_runs.size(), 2u + 240u + 1u);
    EXPECT_EQ(fake_runs[VblankRun].budget, 2159);
    EXPECT_EQ(fake_runs[PrerenderRun].budget, 113);
    for (int line = 0; line < 240; line++)
        ASSERT_EQ(fake_runs[FirstLineRun + size_t(line)].budget, line % 3 == 1 ? 115 : 113) << line;
    EXPECT_EQ(fake_runs.back().budget, 228);
    EXPECT_EQ(sum_of_budgets(), 29780);
    EXPECT_EQ(fake_nmi_count, 0);
    EXPECT_EQ(fake_runs[VblankRun].status, 0x80);
    EXPECT_EQ(fake_runs[PrerenderRun].status, 0x00);

    // With NMI enabled it is entered once, before the first run, which pays
    // its 7 cycles.
    fake_cpu_reset();
    machine.ppu_ctrl = 0x80;
    run_frame();
    EXPECT_EQ(fake_nmi_count, 1);
    EXPECT_EQ(fake_runs[VblankRun].debt_on_entry, 7);
    EXPECT_EQ(fake_runs[VblankRun].executed, 2152);
}

TEST(FrameBudgets, SpriteCopyInVerticalBlankStallsThroughLineTwo) {
    quiet_machine();
    machine.ppu_ctrl = 0x80;
    fake_instructions = [](size_t run) {
        if (run == VblankRun) sprite_dma(0x02);
    };
    run_frame();
    EXPECT_EQ(fake_runs[VblankRun].executed, 2159 - 7) << "the copy is not paid inside its own run";
    for (size_t run = PrerenderRun; run <= FirstLineRun + 2; run++)
        EXPECT_EQ(fake_runs[run].executed, 0) << run;
    EXPECT_EQ(fake_runs[FirstLineRun + 3].debt_on_entry, 59);
    EXPECT_EQ(fake_runs[FirstLineRun + 3].executed, 113 - 59);
    EXPECT_EQ(sum_of_budgets(), 29780);
}

TEST(FrameBudgets, SpriteZeroHitSplitsTheLineAndLengthensTheFrame) {
    quiet_machine();
    sprite_zero_at(180, false);
    run_frame();
    const size_t split = FirstLineRun + 1; // line 1
    ASSERT_EQ(fake_runs.size(), 2u + 241u + 1u);
    EXPECT_EQ(fake_runs[FirstLineRun].budget, 113);
    EXPECT_EQ(fake_runs[split].budget, 60);
    EXPECT_EQ(fake_runs[split].status & 0x40, 0);
    EXPECT_EQ(fake_runs[split + 1].budget, 55);
    EXPECT_EQ(fake_runs[split + 1].status, 0x40) << "the sprite-0 flag alone, no overflow bit";
    const int32_t following[] = {173, 53, 175, 53, 173, 55};
    for (size_t i = 0; i < 6; i++)
        EXPECT_EQ(fake_runs[split + 2 + i].budget, following[i]) << i;
    EXPECT_EQ(fake_runs.back().budget, 288);
    EXPECT_EQ(sum_of_budgets(), 29840);
    EXPECT_EQ(fake_runs.back().status & 0x40, 0x40) << "the flag stays until the next frame";

    // A hit in column 0-2 splits with an empty run: the flag is up before
    // anything of the line runs.
    quiet_machine();
    sprite_zero_at(2, false);
    run_frame();
    EXPECT_EQ(fake_runs[split].budget, 0);
    EXPECT_EQ(fake_runs[split + 1].status & 0x40, 0x40);
    EXPECT_EQ(fake_runs[split + 1].budget, 228 - 113);
}

TEST(FrameBudgets, ALateHitAfterALongLineGivesANegativeBudget) {
    quiet_machine();
    sprite_zero_at(180, true);
    // Line 4's closing run (175 cycles) moves sprite 0 to the right edge, so
    // line 5 hits at column 255 and splits with 85 cycles.
    const size_t line4_closing = FirstLineRun + 1 + 4;
    fake_instructions = [&](size_t run) {
        if (run == line4_closing) machine.oam[3] = 255;
    };
    run_frame();
    ASSERT_EQ(fake_runs[line4_closing].budget, 175);
    EXPECT_EQ(fake_runs[line4_closing + 1].budget, 85);
    const FakeRun& negative = fake_runs[line4_closing + 2];
    EXPECT_EQ(negative.budget, -32);
    EXPECT_EQ(negative.executed, 0);
    const FakeRun& after = fake_runs[line4_closing + 3];
    EXPECT_EQ(after.budget, 226 + 32);
    EXPECT_EQ(after.debt_on_entry, 32);
    EXPECT_EQ(after.executed, 226);
    EXPECT_EQ(sum_of_budgets(), 29780 + 60 + 85);
}

TEST(FrameBudgets, ScrollCopyAndSpriteLayerFollowTheMaskOfTheMoment) {
    // Background off at the copy: vram_addr keeps its vertical bits.
    quiet_machine();
    machine.vram_addr = 0x1234;
    machine.temp_addr = 0x7BE0;
    run_frame();
    EXPECT_EQ(fake_runs[PrerenderRun].vram_addr, 0x1234);
    EXPECT_EQ(machine.vram_addr, 0x1234);

    // On: fine Y, coarse Y and the vertical table come from temp_addr.
    quiet_machine();
    machine.ppu_mask = 0x08;
    machine.vram_addr = 0x1234;
    machine.temp_addr = 0x7BE0 | 0x0400;
    run_frame();
    EXPECT_EQ(fake_runs[PrerenderRun].vram_addr, 0x7BE0 | (0x1234 & 0x041F));

    // A machine with one sprite whose pixel at line 100, column 50 shows as
    // 0xABCDEF when the layer is drawn.
    auto one_sprite = [] {
        quiet_machine();
        for (int r = 0; r < 8; r++)
            machine.chr_mem[16 + r] = 0xFF;
        machine.oam[0] = 99;
        machine.oam[1] = 1;
        machine.oam[2] = 0;
        machine.oam[3] = 50;
        machine.palette_ram[0x11] = 0x21;
        machine.palette[0x21] = 0xABCDEF;
    };

    // Bit 3 alone decides the copy and bit 4 alone the sprite layer, whatever
    // the other six bits say: each bit on its own, and all but it.
    for (int bit = 0; bit < 8; bit++)
        for (bool alone : {true, false}) {
            const uint8_t mask = uint8_t(alone ? 1 << bit : ~(1 << bit));
            one_sprite();
            machine.ppu_mask = mask;
            machine.vram_addr = 0x1234;
            machine.temp_addr = 0x7BE0 | 0x0400;
            run_frame();
            const bool copied = mask & 0x08, drawn = mask & 0x10;
            EXPECT_EQ(fake_runs[PrerenderRun].vram_addr, copied ? 0x7BE0 | (0x1234 & 0x041F) : 0x1234)
                << "mask " << int(mask);
            EXPECT_EQ(FrameBuffer[100 * 256 + 50] == 0xABCDEFu, drawn) << "mask " << int(mask);
        }

    // Sprites enabled only at the end of the frame are drawn; enabled during
    // the lines but not at the end, they are not.
    for (bool on_at_end : {true, false}) {
        one_sprite();
        machine.ppu_mask = on_at_end ? 0x00 : 0x14;
        fake_instructions = [on_at_end](size_t run) {
            if (run == fake_runs.size() - 1 && run > FirstLineRun + 239)
                machine.ppu_mask = on_at_end ? 0x14 : 0x00;
        };
        run_frame();
        EXPECT_EQ(FrameBuffer[100 * 256 + 50], on_at_end ? 0xABCDEFu : 0u) << on_at_end;
    }
}
