// The stand-in processor: defines the processor's interface in place of the
// real one, which this test program therefore never links.
#include "fake_cpu.h"

#include "core/cpu.h"
#include "core/machine.h"

std::vector<FakeRun> fake_runs;
int fake_nmi_count;
std::function<void(size_t)> fake_instructions;

void (*cpu_trace_hook)(uint8_t opcode);

void fake_cpu_reset() {
    fake_runs.clear();
    fake_nmi_count = 0;
    fake_instructions = nullptr;
}

int32_t cpu_run(int32_t budget) {
    FakeRun run{budget, machine.cycle_debt, 0, machine.ppu_status, machine.vram_addr};
    if (machine.cycle_debt > budget) {
        machine.cycle_debt -= budget;
        fake_runs.push_back(run);
        return budget;
    }
    run.executed = budget - machine.cycle_debt;
    machine.cycle_debt = 0;
    fake_runs.push_back(run);
    if (run.executed > 0 && fake_instructions) fake_instructions(fake_runs.size() - 1);
    return budget;
}

void cpu_nmi() {
    fake_nmi_count++;
    machine.cycle_debt += 7;
}
