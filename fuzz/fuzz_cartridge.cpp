// Fuzz target: arbitrary bytes as "game.nes", loaded and run for up to
// 100,000 processor cycles through whole frames.
//
// An unknown opcode is the program's one expected stop. This target links its
// own `fatal_error`, which jumps back here instead of ending the process, so
// the fuzzer goes on with the next input.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/cpu.h"
#include "core/machine.h"
#include "fuzz/files.h"
#include "video/scheduler.h"

namespace {

constexpr int32_t CycleLimit = 100000;
constexpr int32_t FrameCycles = 29780;

std::jmp_buf stop_point;

} // namespace

void fatal_error(const char*, ...) {
    std::longjmp(stop_point, 1);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    enter_work_folder();
    uint8_t palette[192];
    for (int i = 0; i < 192; i++)
        palette[i] = uint8_t(i);
    write_bytes("palette.pal", palette, sizeof palette);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    write_bytes("game.nes", data, size);
    // Every input starts from the zero-filled record of a fresh process.
    std::memset(static_cast<void*>(&machine), 0, sizeof machine);
    if (!machine_init()) return 0;
    if (setjmp(stop_point) == 0) {
        int32_t spent = 0;
        while (spent + FrameCycles <= CycleLimit) {
            run_frame();
            spent += FrameCycles;
        }
        cpu_run(CycleLimit - spent);
    }
    return 0;
}
