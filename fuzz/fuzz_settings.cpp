// Fuzz target: arbitrary bytes as "config.cfg". Reading must never fail, and
// what is read must survive a write and a second read unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/files.h"
#include "overlay/settings.h"

namespace {

struct Snapshot {
    int32_t scale;
    bool windowed;
    BindingCode buttons[8];
    int32_t interpolation;
};

Snapshot take_snapshot() {
    return {Config.Scale,
            Config.Windowed,
            {Config.ButtonLeft, Config.ButtonRight, Config.ButtonUp, Config.ButtonDown, Config.ButtonSelect,
             Config.ButtonStart, Config.ButtonB, Config.ButtonA},
            Config.SoundInterpolation.load(std::memory_order_relaxed)};
}

bool same(const Snapshot& a, const Snapshot& b) {
    for (int i = 0; i < 8; i++)
        if (a.buttons[i] != b.buttons[i]) return false;
    return a.scale == b.scale && a.windowed == b.windowed && a.interpolation == b.interpolation;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    enter_work_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    write_bytes("config.cfg", data, size);
    ApplyDefaultSettings();
    LoadSettings();
    const Snapshot first = take_snapshot();
    SaveSettings();
    ApplyDefaultSettings();
    LoadSettings();
    if (!same(first, take_snapshot())) std::abort();
    return 0;
}
