#include "support/environment.h"

#include <cstdlib>

// An empty value removes the variable, from the runtime's copy and from the
// system's that the host library reads.
void unset_environment(const char* name) {
    _putenv_s(name, "");
}

// Windows has no per-process file size limit.
bool fill_disk_after(long) {
    return false;
}

void free_disk() {}

const int fatal_exit_status = -1;
const bool display_can_be_missing = false;
