// The player: to be written.
#include <cstdio>

#include "core/machine.h"

int main() {
    if (!machine_init())
        fatal_error("Unable to initialize emulator\n");
    return 0;
}
