// The synthesis on its own thread while the main thread keeps writing the
// sound registers, as the audio device and the running game do. Built also
// under the thread checker, which must find nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "audio/synth.h"
#include "core/bus.h"
#include "core/machine.h"
#include "support/cartridge.h"

namespace {

constexpr int BufferFrames = 1024;
constexpr int MinWrites = 150000;
constexpr int MinBuffers = 40;

TEST(SoundThreads, SynthesisRunsWhileTheRegistersChange) {
    Image image = make_image(1, 1);
    for (uint32_t a = 0xC000; a <= 0xFFFF; a++)
        fixed_byte(image, a) = uint8_t(a * 37 >> 3);
    ASSERT_TRUE(load_image(image));
    bus_write(0x4015, 0x10); // from here on the sample address stays in the program window

    std::atomic<bool> stop{false};
    std::atomic<int> buffers{0};
    std::atomic<int> faults{0};
    std::thread audio([&] {
        std::vector<uint8_t> buffer(BufferFrames * 4);
        while (!stop.load()) {
            if (buffers.load() % 2)
                synthesize_interpolated(buffer.data(), BufferFrames);
            else
                synthesize_plain(buffer.data(), BufferFrames);
            // Every term of the mix is zero or positive.
            for (size_t n = 0; n < buffer.size(); n += 2)
                if (int16_t(buffer[n] | buffer[n + 1] << 8) < 0) faults.fetch_add(1);
            const int32_t level = machine.dmc_level.load(std::memory_order_relaxed);
            const int32_t address = machine.dmc_address.load(std::memory_order_relaxed);
            if (level < 0 || level > 63 || address < 0xC000 || address > 0xFFFF) faults.fetch_add(1);
            buffers.fetch_add(1);
        }
    });

    while (buffers.load() == 0)
        std::this_thread::yield();
    // Every register the game can write, sample starts and stops among them,
    // with short periods and fast rates so that the phases wrap and the
    // sample channel fetches often.
    std::mt19937 random(12345);
    int writes = 0;
    while (writes < MinWrites || buffers.load() < MinBuffers) {
        const uint32_t address = 0x4000 + random() % 0x18;
        if (address == 0x4014 || address == 0x4016) continue;
        bus_write(address, uint8_t(random()));
        writes++;
        if (writes % 1000 == 0) std::this_thread::yield();
    }
    stop.store(true);
    audio.join();

    EXPECT_EQ(faults.load(), 0);
    for (const ToneChannel& c : machine.channels) {
        EXPECT_GE(c.volume.load(), 0);
        EXPECT_LE(c.volume.load(), 15);
    }
}

} // namespace
