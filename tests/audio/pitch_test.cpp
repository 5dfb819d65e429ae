// Pitch as a listener hears it: a small cartridge sets up one tone and the
// headless runner records what the synthesis makes of it; the fundamental
// measured in that recording is the note the game asked for.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cartridge.h"

namespace {

constexpr int SampleRate = 44100;
constexpr int RunFrames = 360; // six seconds of sound
constexpr int SettleFrames = 30;

// A program that writes the given registers once and then idles.
Image tone_cartridge(const std::vector<std::pair<uint16_t, uint8_t>>& writes) {
    std::vector<uint8_t> code;
    for (auto [address, value] : writes) {
        code.insert(code.end(), {0xA9, value});                                          // LDA #value
        code.insert(code.end(), {0x8D, uint8_t(address & 0xFF), uint8_t(address >> 8)}); // STA address
    }
    const uint16_t idle = uint16_t(0xC000 + code.size());
    code.insert(code.end(), {0x4C, uint8_t(idle & 0xFF), uint8_t(idle >> 8)}); // JMP idle
    Image image = make_image(1, 1);
    put_program(image, 0xC000, code);
    return image;
}

uint32_t little(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int n = bytes - 1; n >= 0; n--)
        v = v << 8 | b[at + size_t(n)];
    return v;
}

// The left channel of a 16-bit stereo 44,100 Hz WAV file; empty when the
// file is not one.
std::vector<int> read_left_channel(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) return {};
    bool format_ok = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = little(b, at + 4, 4);
        const size_t body = at + 8;
        if (!std::memcmp(b.data() + at, "fmt ", 4) && body + 16 <= b.size())
            format_ok = little(b, body, 2) == 1 && little(b, body + 2, 2) == 2 &&
                        little(b, body + 4, 4) == SampleRate && little(b, body + 14, 2) == 16;
        if (!std::memcmp(b.data() + at, "data", 4) && format_ok) {
            std::vector<int> left;
            for (size_t n = body; n + 4 <= std::min(b.size(), body + size); n += 4)
                left.push_back(int16_t(little(b, n, 2)));
            return left;
        }
        at = body + size + (size & 1);
    }
    return {};
}

// The fundamental from the rising zero crossings of the mean-removed signal,
// each placed between its two samples by linear interpolation: cycles
// counted over the span from the first crossing to the last.
double fundamental(const std::vector<int>& samples) {
    double mean = 0;
    for (int s : samples)
        mean += s;
    mean /= double(samples.size());
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t n = 1; n < samples.size(); n++) {
        const double a = samples[n - 1] - mean, b = samples[n] - mean;
        if (a < 0 && b >= 0) {
            const double at = double(n - 1) + a / (a - b);
            if (first < 0) first = at;
            last = at;
            crossings++;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * SampleRate / (last - first);
}

// Runs the cartridge through the headless runner and measures the left channel.
double measured_pitch(const Image& image, bool interpolated) {
    const std::string folder = make_temp_folder();
    write_file(folder, "game.nes", image.bytes);
    write_file(folder, "palette.pal", test_palette());
    const std::string wav = folder + "/sound.wav";
    const std::string command = std::string(HALVENOR_HEADLESS) + " " + folder + " --frames " +
                                std::to_string(RunFrames) + " --wav " + wav +
                                (interpolated ? " --interpolated" : "") + " > /dev/null";
    const int status = std::system(command.c_str());
    std::vector<int> left = read_left_channel(wav);
    remove_folder(folder);
    EXPECT_EQ(status, 0) << command;
    EXPECT_EQ(left.size(), size_t(RunFrames) * 735);
    if (left.size() <= size_t(SettleFrames) * 735) return 0;
    // Past the first frames: the notes have ramped up and are steady.
    left.erase(left.begin(), left.begin() + SettleFrames * 735);
    return fundamental(left);
}

TEST(Pitch, PulseAtPeriod253IsConcertA) {
    const Image image = tone_cartridge({{0x4000, 0xBF}, {0x4002, 0xFD}, {0x4003, 0x00}});
    for (bool interpolated : {false, true})
        EXPECT_NEAR(measured_pitch(image, interpolated), 440.0, 0.5) << "interpolated " << interpolated;
}

TEST(Pitch, TriangleAtPeriod100Is556Hz) {
    const Image image = tone_cartridge({{0x4008, 0xFF}, {0x400A, 100}, {0x400B, 0x00}});
    for (bool interpolated : {false, true})
        EXPECT_NEAR(measured_pitch(image, interpolated), 556.0, 0.5) << "interpolated " << interpolated;
}

} // namespace
