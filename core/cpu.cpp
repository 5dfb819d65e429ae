// Processor: to be written.
#include "core/cpu.h"

#include "core/machine.h"

int32_t cpu_run(int32_t budget) { return budget; }

void cpu_nmi() {}
