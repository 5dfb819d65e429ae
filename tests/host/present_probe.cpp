// Preloaded into the player by the end-to-end test: counts presents and
// notes when the first one happened, so that the test can see the pass rate
// and the start-up time from outside. The player knows nothing of it.
//
// Every half second it rewrites the file named by HALVENOR_PROBE_FILE with
// one line: the wall-clock time of the first present in nanoseconds, and the
// number of presents so far.
//
// When HALVENOR_PROBE_LOG names a file, it also appends a line for every
// present, "present INDEX TIME RRGGBB" with the colour at the centre of the
// picture it showed, and one for every key press the event polling hands
// the player, "key KEYCODE PRESENTS TIME" with the presents made before it.
// Together they tell in which pass a key arrived and in which the game's
// picture answered.
#include <SDL.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>

namespace {

constexpr int64_t ReportInterval = 500000000; // ns
// The centre of the 256 x 224 picture the player uploads each pass.
constexpr int CentreRow = 112;
constexpr int CentreColumn = 128;

int64_t Now() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int64_t FirstPresent = 0;
int64_t LastReport = 0;
uint64_t Presents = 0;
uint32_t Centre = 0; // 0x00BBGGRR, as uploaded

void Report() {
    const char* path = std::getenv("HALVENOR_PROBE_FILE");
    if (!path) return;
    FILE* file = std::fopen(path, "w");
    if (!file) return;
    std::fprintf(file, "%lld %llu\n", static_cast<long long>(FirstPresent),
                 static_cast<unsigned long long>(Presents));
    std::fclose(file);
}

FILE* Log() {
    static FILE* log = [] {
        const char* path = std::getenv("HALVENOR_PROBE_LOG");
        return path ? std::fopen(path, "a") : nullptr;
    }();
    return log;
}

template <typename Call> Call Real(const char* name) {
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int SDL_UpdateTexture(SDL_Texture* texture, const SDL_Rect* rect, const void* pixels, int pitch) {
    using UpdateCall = int (*)(SDL_Texture*, const SDL_Rect*, const void*, int);
    static const UpdateCall real = Real<UpdateCall>("SDL_UpdateTexture");
    if (pixels && !rect)
        Centre = static_cast<const uint32_t*>(pixels)[CentreRow * (pitch / 4) + CentreColumn];
    return real(texture, rect, pixels, pitch);
}

extern "C" int SDL_PollEvent(SDL_Event* event) {
    using PollCall = int (*)(SDL_Event*);
    static const PollCall real = Real<PollCall>("SDL_PollEvent");
    const int got = real(event);
    if (got && event && event->type == SDL_KEYDOWN && !event->key.repeat && Log()) {
        std::fprintf(Log(), "key %d %llu %lld\n", int(event->key.keysym.sym),
                     static_cast<unsigned long long>(Presents), static_cast<long long>(Now()));
        std::fflush(Log());
    }
    return got;
}

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
    using PresentCall = void (*)(SDL_Renderer*);
    static const PresentCall real = Real<PresentCall>("SDL_RenderPresent");
    real(renderer);
    const int64_t now = Now();
    if (Log()) {
        std::fprintf(Log(), "present %llu %lld %02x%02x%02x\n", static_cast<unsigned long long>(Presents),
                     static_cast<long long>(now), Centre & 0xFF, (Centre >> 8) & 0xFF, (Centre >> 16) & 0xFF);
        std::fflush(Log());
    }
    if (Presents++ == 0) {
        FirstPresent = now;
        LastReport = now;
        Report();
    } else if (now - LastReport >= ReportInterval) {
        LastReport = now;
        Report();
    }
}
