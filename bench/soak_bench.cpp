// Soak: the bundled cartridge for a million frames with scripted input.
//
// Reports resident memory before and after the run, and counts every heap
// allocation made while frames run: the emulation allocates nothing after
// start-up, so the count must stay 0 and the resident size flat.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unistd.h>

#include "core/machine.h"
#include "video/scheduler.h"

namespace {

std::atomic<long> allocations{0};

constexpr int64_t WarmUpFrames = 20000;
constexpr uint8_t PadA = 0x01, PadB = 0x02, PadStart = 0x08, PadLeft = 0x40, PadRight = 0x80;

long resident_kib() {
    FILE* file = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (file) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A player who runs back and forth, jumps and fires, and every so often taps
// Start: that starts a game from the title, restarts one after game over, or
// pauses and resumes, so every screen of the game comes round.
uint8_t scripted_pad(int64_t frame) {
    const int64_t phase = frame % 1200;
    if (phase < 4 || (phase >= 40 && phase < 44))
        return PadStart;
    uint8_t pad = (frame / 90) % 2 ? PadRight : PadLeft;
    if (frame % 50 < 12)
        pad |= PadA;
    if (frame % 37 < 3)
        pad |= PadB;
    return pad;
}

void Soak(benchmark::State& state) {
    const int64_t frames = state.range(0);
    if (chdir(HALVENOR_PLAY_DIR) != 0 || !machine_init()) {
        state.SkipWithError("the play folder with game.nes and palette.pal is missing");
        return;
    }
    // A warm-up over every screen of the game first: the pages of the machine
    // record that a path touches for the first time are not growth.
    for (int64_t frame = 0; frame < WarmUpFrames; frame++) {
        machine.PadState = scripted_pad(frame);
        run_frame();
    }
    const long resident_before = resident_kib();
    const long allocations_before = allocations.load();
    long resident_halfway = 0;
    for (auto _ : state) {
        for (int64_t frame = 0; frame < frames; frame++) {
            machine.PadState = scripted_pad(frame);
            run_frame();
            if (frame == frames / 2)
                resident_halfway = resident_kib();
        }
    }
    // Read both before the counters below allocate their own entries.
    const long resident_after = resident_kib();
    const long allocated = allocations.load() - allocations_before;
    state.counters["allocations"] = double(allocated);
    state.counters["rss_start_kib"] = double(resident_before);
    state.counters["rss_half_kib"] = double(resident_halfway);
    state.counters["rss_end_kib"] = double(resident_after);
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(Soak)->Arg(1000000)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

// Counting allocator for this program alone. Its new takes from malloc, so
// its delete gives back to free, which the compiler cannot see as a pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
