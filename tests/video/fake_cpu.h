// A stand-in processor for timing tests: it keeps the budget contract of the
// real one (debt first, then "instructions" up to the budget) but never
// overshoots, and records every run, so that a frame's budgets can be read
// back exactly.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

struct FakeRun {
    int32_t budget;
    int32_t debt_on_entry;
    int32_t executed;   // cycles of instructions run, 0 when the debt covered the budget
    uint8_t status;     // ppu_status when the run began
    uint16_t vram_addr; // vram_addr when the run began
};

extern std::vector<FakeRun> fake_runs;
extern int fake_nmi_count;
// Called, with the run's index, when a run executes something: stands for
// what the game's instructions would do during it.
extern std::function<void(size_t)> fake_instructions;

void fake_cpu_reset();
