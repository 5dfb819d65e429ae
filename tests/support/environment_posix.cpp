#include "support/environment.h"

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace {

rlimit SavedLimit;
void (*SavedHandler)(int) = SIG_DFL;

} // namespace

void unset_environment(const char* name) {
    unsetenv(name);
}

// The file size limit stands in for a full disk: root ignores permissions,
// but not this. Its signal would end the process instead of failing the
// write.
bool fill_disk_after(long bytes) {
    if (getrlimit(RLIMIT_FSIZE, &SavedLimit) != 0) return false;
    rlimit small = SavedLimit;
    small.rlim_cur = rlim_t(bytes);
    SavedHandler = std::signal(SIGXFSZ, SIG_IGN);
    return setrlimit(RLIMIT_FSIZE, &small) == 0;
}

void free_disk() {
    setrlimit(RLIMIT_FSIZE, &SavedLimit);
    std::signal(SIGXFSZ, SavedHandler);
}

const int fatal_exit_status = 255;
const bool display_can_be_missing = true;
