// The fatal stop: the one way the program ends on an error.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/machine.h"

void fatal_error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
    std::exit(-1);
}
