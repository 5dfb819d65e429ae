// Preloaded into the player by the end-to-end test: counts presents and
// notes when the first one happened, so that the test can see the pass rate
// and the start-up time from outside. The player knows nothing of it.
//
// Every half second it rewrites the file named by HALVENOR_PROBE_FILE with
// one line: the wall-clock time of the first present in nanoseconds, and the
// number of presents so far.
#include <SDL.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>

namespace {

constexpr int64_t ReportInterval = 500000000; // ns

int64_t Now() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int64_t FirstPresent = 0;
int64_t LastReport = 0;
uint64_t Presents = 0;

void Report() {
    const char* path = std::getenv("HALVENOR_PROBE_FILE");
    if (!path) return;
    FILE* file = std::fopen(path, "w");
    if (!file) return;
    std::fprintf(file, "%lld %llu\n", static_cast<long long>(FirstPresent),
                 static_cast<unsigned long long>(Presents));
    std::fclose(file);
}

} // namespace

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
    using PresentCall = void (*)(SDL_Renderer*);
    static const PresentCall real = reinterpret_cast<PresentCall>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    real(renderer);
    const int64_t now = Now();
    if (Presents++ == 0) {
        FirstPresent = now;
        LastReport = now;
        Report();
    } else if (now - LastReport >= ReportInterval) {
        LastReport = now;
        Report();
    }
}
