// The fatal stop: the one way the program ends on an error.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/machine.h"

void (*fatal_notice)(const char* message) = nullptr;

namespace {

// The longest message is a host library's error text behind a short
// prefix; a longer one is cut, never overrun.
constexpr int FatalMessageSize = 1024;

} // namespace

void fatal_error(const char* format, ...) {
    static char message[FatalMessageSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::fputs(message, stdout);
    std::fflush(stdout);
    if (fatal_notice) fatal_notice(message);
    std::exit(-1);
}
