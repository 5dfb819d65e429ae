// The audio device: the request, what an unfit device gets, and what the
// callback hands the device. The host library's opening call is replaced
// below by one that answers as the test says.
#include <SDL.h>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

#include "audio/device.h"
#include "audio/synth.h"
#include "core/bus.h"
#include "core/machine.h"
#include "host/host.h"
#include "overlay/settings.h"
#include "support/cartridge.h"

namespace {

SDL_AudioSpec Requested;
int AllowedChanges = -1;
SDL_AudioSpec Offered;
bool OpenFails = false;

} // namespace

extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char*, int, const SDL_AudioSpec* desired,
                                                 SDL_AudioSpec* obtained, int allowed_changes) {
    Requested = *desired;
    AllowedChanges = allowed_changes;
    if (OpenFails) {
        SDL_SetError("no sound card here");
        return 0;
    }
    *obtained = Offered;
    return 2;
}

namespace {

SDL_AudioSpec Fitting() {
    SDL_AudioSpec offer = {};
    offer.freq = 44100;
    offer.format = AUDIO_S16LSB;
    offer.channels = 2;
    offer.samples = 1024;
    return offer;
}

// The fatal stop prints to standard output; the death test reads the error
// stream, so the one is sent to the other.
void OpenWithOutputOnErrors() {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    OpenAudioDevice();
    std::exit(0);
}

// A device whose own format is float or 48 kHz (every Windows mixer, every
// browser) must play: the library is asked to convert to the request.
TEST(AudioDevice, RequestsTheFixedFormatConvertedByTheLibrary) {
    OpenFails = false;
    Offered = Fitting();
    Offered.samples = 2048;
    OpenAudioDevice();
    EXPECT_EQ(Requested.freq, 44100);
    EXPECT_EQ(Requested.format, AUDIO_S16LSB);
    EXPECT_EQ(Requested.channels, 2);
    EXPECT_EQ(Requested.samples, 1024);
    EXPECT_EQ(Requested.callback, &audio_callback);
    EXPECT_EQ(Requested.userdata, nullptr);
    EXPECT_EQ(AllowedChanges, 0);
}

// The library converts, so only a library that broke that promise reaches
// the second message.
TEST(AudioDevice, AnUnfitDeviceStopsThePlayer) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const char* const mismatch = "^Unable to get requested audio buffer \\(44100hz 16bit 2ch\\)\n$";
    OpenFails = false;
    Offered = Fitting();
    Offered.freq = 48000;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(255), mismatch);
    Offered = Fitting();
    Offered.format = AUDIO_U8;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(255), mismatch);
    Offered = Fitting();
    Offered.format = AUDIO_F32LSB;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(255), mismatch);
    Offered = Fitting();
    Offered.channels = 1;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(255), mismatch);

    OpenFails = true;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(255),
                "^Unable to set audio: no sound card here\n$");
    OpenFails = false;
}

// A tone on pulse 1, set through the registers as the game sets it.
void StartTone() {
    Image image = make_image(1, 1);
    put_program(image, 0xC000, {0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
    bus_write(0x4000, 0xBF);
    bus_write(0x4002, 0xFD);
    bus_write(0x4003, 0x00);
}

// What the synthesis makes of the present state, leaving the state as it was
// (only the fields a pulse tone moves).
std::vector<uint8_t> Expected(void (*synthesize)(uint8_t*, int32_t), int32_t frames) {
    ToneChannel& pulse = machine.channels[ChannelPulse1];
    const uint32_t phase = pulse.phase.load();
    const int32_t volume = pulse.volume.load();
    std::vector<uint8_t> out(size_t(frames) * 4);
    synthesize(out.data(), frames);
    pulse.phase.store(phase);
    pulse.volume.store(volume);
    return out;
}

TEST(AudioDevice, CallbackIsSilentWhileTheOverlayIsOpenAndKeepsTheNote) {
    ResetHostState();
    ApplyDefaultSettings();
    StartTone();
    std::vector<uint8_t> stream(4096 + 2, 0xAB);

    Host.OverlayOpen = true;
    const uint32_t phase = machine.channels[ChannelPulse1].phase.load();
    audio_callback(nullptr, stream.data(), 4096);
    for (size_t i = 0; i < 4096; i++)
        ASSERT_EQ(stream[i], 0) << i;
    EXPECT_EQ(machine.channels[ChannelPulse1].phase.load(), phase) << "the note waits where it stood";

    // Open: plain synthesis of length / 4 frames; the odd bytes past the
    // last whole frame stay untouched.
    Host.OverlayOpen = false;
    std::fill(stream.begin(), stream.end(), 0xAB);
    const std::vector<uint8_t> plain = Expected(synthesize_plain, 1024);
    audio_callback(nullptr, stream.data(), 4096 + 2);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), stream.begin()));
    EXPECT_EQ(stream[4096], 0xAB);
    EXPECT_EQ(stream[4097], 0xAB);
    EXPECT_NE(machine.channels[ChannelPulse1].phase.load(), phase);

    // Any nonzero setting selects interpolation, chosen anew per buffer.
    Config.SoundInterpolation = 2;
    const std::vector<uint8_t> smooth = Expected(synthesize_interpolated, 1024);
    audio_callback(nullptr, stream.data(), 4096);
    EXPECT_TRUE(std::equal(smooth.begin(), smooth.end(), stream.begin()));
    Config.SoundInterpolation = 0;
}

} // namespace
