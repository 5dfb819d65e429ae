// Frame scheduler: one frame of 29,780 counted processor cycles, with the
// background drawn at the start of each visible line's slot, the sprite-0
// test splitting a line's run, and the sprite layer drawn at the end.
#include "video/scheduler.h"

#include "core/cpu.h"
#include "core/machine.h"
#include "video/background.h"
#include "video/sprites.h"

namespace {

constexpr int32_t FrameCycles = 29780;
constexpr int32_t VblankCycles = 2159;
constexpr int32_t PrerenderCycles = 113;
constexpr int32_t LongLinePair = 228;  // two consecutive runs on most lines
constexpr int32_t ShortLinePair = 226; // on every third line, from line 0
constexpr int32_t DotsPerCycle = 3;

constexpr uint8_t CtrlNmi = 0x80;
constexpr uint8_t MaskBackground = 0x08;
constexpr uint8_t MaskSprites = 0x10;
constexpr uint8_t StatusVblank = 0x80;
constexpr uint8_t StatusSprite0 = 0x40;

constexpr uint16_t VerticalBits = 0x7BE0; // fine Y, coarse Y, vertical nametable
constexpr uint16_t HorizontalBits = 0x041F;

} // namespace

void run_frame() {
    machine.ppu_status |= StatusVblank;
    if (machine.ppu_ctrl & CtrlNmi) cpu_nmi();
    int32_t total = cpu_run(VblankCycles);

    machine.ppu_status = 0;
    if (machine.ppu_mask & MaskBackground)
        machine.vram_addr =
            uint16_t((machine.temp_addr & VerticalBits) | (machine.vram_addr & HorizontalBits));
    int32_t prev = cpu_run(PrerenderCycles);
    total += prev;

    for (int line = 0; line < ScreenHeight; line++) {
        render_background_line(line);
        const int32_t hit = sprite0_hit_x(line);
        if (hit >= 0) {
            // The split run belongs to this line's share: it shortens the
            // closing run through prev but is not counted in total, so the
            // frame's last run grows by it.
            prev += cpu_run(hit / DotsPerCycle);
            machine.ppu_status |= StatusSprite0;
        }
        const int32_t pair = line % 3 == 0 ? ShortLinePair : LongLinePair;
        prev = cpu_run(pair - prev);
        total += prev;
    }

    cpu_run(FrameCycles - total);
    if (machine.ppu_mask & MaskSprites) render_sprite_layer();
}
