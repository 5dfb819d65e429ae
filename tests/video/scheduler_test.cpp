// The frame scheduler with the real processor: what a game sees of the
// vertical blank and the NMI.
#include <gtest/gtest.h>

#include <vector>

#include "core/cpu.h"
#include "core/machine.h"
#include "support/cartridge.h"
#include "video/scheduler.h"

namespace {

struct Step {
    uint16_t pc;
    bool vblank;
    uint8_t status;
    uint16_t vram_addr;
};
std::vector<Step> steps;

void record_step(uint8_t) {
    steps.push_back({machine.PC, (machine.ppu_status & 0x80) != 0, machine.ppu_status, machine.vram_addr});
}

} // namespace

TEST(FrameScheduler, NmiOnlyWhenEnabled) {
    Image image = make_image(1, 1);
    // Main: JMP to itself. NMI handler: INC $10, RTI.
    put_program(image, 0xC000, {0x4C, 0x00, 0xC0});
    fixed_byte(image, 0xC100) = 0xE6;
    fixed_byte(image, 0xC101) = 0x10;
    fixed_byte(image, 0xC102) = 0x40;
    set_nmi_vector(image, 0xC100);
    ASSERT_TRUE(load_image(image));
    for (int i = 0; i < 3; i++)
        run_frame();
    EXPECT_EQ(machine.ram[0x10], 0);
    machine.ppu_ctrl = 0x80;
    for (int i = 0; i < 4; i++)
        run_frame();
    EXPECT_EQ(machine.ram[0x10], 4);
}

TEST(FrameScheduler, VerticalBlankFlagIsSeenOnlyInTheFirstRun) {
    // A game polling $2002 sees the flag once per frame: the read clears it.
    Image image = make_image(1, 1);
    // loop: LDA $2002 ; BPL loop ; INC $10 ; JMP loop
    put_program(image, 0xC000, {0xAD, 0x02, 0x20, 0x10, 0xFB, 0xE6, 0x10, 0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    for (int i = 0; i < 5; i++)
        run_frame();
    EXPECT_EQ(machine.ram[0x10], 5);

    // A game that never reads it sees it through the 2,159-cycle run and then
    // no more: LDA $00 (3 cycles) ; JMP loop (3 cycles).
    image = make_image(1, 1);
    put_program(image, 0xC000, {0xA5, 0x00, 0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    machine.cycle_debt = 0;
    steps.clear();
    cpu_trace_hook = record_step;
    run_frame();
    const size_t first_frame = steps.size();
    run_frame();
    cpu_trace_hook = nullptr;
    ASSERT_GT(first_frame, 0u);
    size_t flagged = 0;
    while (flagged < first_frame && steps[flagged].vblank)
        flagged++;
    EXPECT_EQ(flagged, (2159 + 2) / 3) << "every instruction of the first run and none after";
    for (size_t i = flagged; i < first_frame; i++)
        ASSERT_FALSE(steps[i].vblank) << i;
    EXPECT_TRUE(steps[first_frame].vblank) << "set again at the next frame";
}

TEST(FrameScheduler, TheEndOfVerticalBlankClearsTheWholeStatusAndTakesTheVerticalScroll) {
    // LDA $00 ; JMP loop, with the background on and status bits 0-4 left by
    // a register write.
    Image image = make_image(1, 1);
    put_program(image, 0xC000, {0xA5, 0x00, 0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    machine.ppu_mask = 0x08;
    machine.ppu_status = 0x1F;
    machine.vram_addr = 0x7FFF;
    machine.temp_addr = 0x0000;
    steps.clear();
    cpu_trace_hook = record_step;
    run_frame();
    cpu_trace_hook = nullptr;
    size_t first_after = 0;
    while (first_after < steps.size() && steps[first_after].vblank)
        first_after++;
    ASSERT_GT(first_after, 0u);
    ASSERT_LT(first_after, steps.size());
    EXPECT_EQ(steps[first_after - 1].status, 0x9F);
    EXPECT_EQ(steps[first_after].status, 0) << "the written low bits go with the flags";
    // Coarse X and the horizontal nametable bit stay; all else is temp_addr's.
    EXPECT_EQ(steps[first_after].vram_addr, 0x041F);
}
