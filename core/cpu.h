// The processor: a 6502 without decimal arithmetic, run in whole
// instructions inside cycle budgets.
#pragma once

#include <cstdint>

// Runs instructions until at least `budget` cycles are counted (charging
// `cycle_debt` first) and returns the cycles consumed.
int32_t cpu_run(int32_t budget);

// Enters the NMI handler: pushes PC and P, loads the vector, adds 7 cycles
// to `cycle_debt`. Runs no instruction.
void cpu_nmi();

// While set, called before each instruction with its opcode, the registers
// still as they were before it: the developer tools' instruction trace. It is
// tested once per cpu_run call, so untraced runs pay nothing per instruction.
extern void (*cpu_trace_hook)(uint8_t opcode);

// Wait loops recognised since start-up: each time the passes of a spin begin
// to be counted instead of run. A budget that starts in the spin last
// recognised runs none of its passes and adds nothing. Bumped at most a few
// times a frame; the tests read it, so that losing the shortcut fails a test
// instead of only slowing every frame.
extern uint64_t cpu_spins_recognised;
