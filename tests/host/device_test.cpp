// The audio device: the request, what an unfit device gets, what the
// callback hands the device, and the device opened again after a loss. The
// host library's opening, pausing and closing calls are replaced below by
// ones that answer as the test says and note what they were asked.
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
#include "support/environment.h"

namespace {

SDL_AudioSpec Requested;
int AllowedChanges = -1;
SDL_AudioSpec Offered;
bool OpenFails = false;
SDL_AudioDeviceID NextDevice = 2;
int Opens = 0;
// The last pause asked of a device, by number; -1 when never asked.
int PausedOf[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
SDL_AudioDeviceID Closed = 0;

} // namespace

extern "C" void SDL_PauseAudioDevice(SDL_AudioDeviceID device, int pause_on) {
    if (device < 8) PausedOf[device] = pause_on;
}

extern "C" void SDL_CloseAudioDevice(SDL_AudioDeviceID device) {
    Closed = device;
}

// The test's own thread calls the callback: it must stay an ordinary one,
// and the test's process keeps its environment.
int Raises = 0;
void RaiseSoundThread() {
    Raises++;
}
void PrepareSoundServer() {}

extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char*, int, const SDL_AudioSpec* desired,
                                                 SDL_AudioSpec* obtained, int allowed_changes) {
    Requested = *desired;
    AllowedChanges = allowed_changes;
    Opens++;
    if (OpenFails) {
        SDL_SetError("no sound card here");
        return 0;
    }
    *obtained = Offered;
    return NextDevice;
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
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(fatal_exit_status), mismatch);
    Offered = Fitting();
    Offered.format = AUDIO_U8;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(fatal_exit_status), mismatch);
    Offered = Fitting();
    Offered.format = AUDIO_F32LSB;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(fatal_exit_status), mismatch);
    Offered = Fitting();
    Offered.channels = 1;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(fatal_exit_status), mismatch);

    OpenFails = true;
    EXPECT_EXIT(OpenWithOutputOnErrors(), ::testing::ExitedWithCode(fatal_exit_status),
                "^Unable to set audio: no sound card here\n$");
    OpenFails = false;
}

// The server goes away and comes back: the device is closed once, the
// tries come at the paced rate whatever the pass rate, the new device gets
// the request of start-up and the pause last asked for, also when that was
// asked while no device was there, its thread is raised, and once it is
// open no try follows.
TEST(AudioDevice, ALostDeviceIsOpenedAgainWithItsRequestAndPauseAtAFewTriesASecond) {
    constexpr uint64_t Frequency = 1000000;
    constexpr uint64_t Pass = Frequency / 240; // a fast display
    OpenFails = false;
    Offered = Fitting();
    NextDevice = 2;
    OpenAudioDevice();
    const SDL_AudioSpec first = Requested;
    PauseSound(false);
    ASSERT_EQ(PausedOf[2], 0);

    SoundDeviceRemoved(5);
    EXPECT_EQ(Closed, 0u) << "another device's removal";
    SoundDeviceRemoved(2);
    EXPECT_EQ(Closed, 2u);
    SoundDeviceRemoved(2);
    PauseSound(true);
    EXPECT_EQ(PausedOf[2], 0) << "the closed device is left alone";

    testing::internal::CaptureStdout();
    OpenFails = true;
    Opens = 0;
    uint64_t now = 5 * Frequency;
    for (int pass = 0; pass < 10 * 240; pass++, now += Pass)
        KeepSoundOpen(now, Frequency);
    EXPECT_GE(Opens, int(10 * ReopenTriesPerSecond));
    EXPECT_LE(Opens, int(10 * ReopenTriesPerSecond) + 1);

    OpenFails = false;
    NextDevice = 3;
    Opens = 0;
    for (int pass = 0; pass < 240; pass++, now += Pass)
        KeepSoundOpen(now, Frequency);
    EXPECT_EQ(Opens, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(PausedOf[3], 1) << "paused while lost, so paused when back";
    EXPECT_EQ(std::memcmp(&Requested, &first, sizeof first), 0);
    EXPECT_EQ(AllowedChanges, 0);
    PauseSound(false);
    EXPECT_EQ(PausedOf[3], 0);
    // Each new device's thread is raised once, before its first buffer.
    uint8_t buffer[4096];
    Raises = 0;
    audio_callback(nullptr, buffer, sizeof buffer);
    audio_callback(nullptr, buffer, sizeof buffer);
    EXPECT_EQ(Raises, 1);

    // Lost again while playing: back playing, at the first pass.
    SoundDeviceRemoved(3);
    NextDevice = 4;
    KeepSoundOpen(now, Frequency);
    EXPECT_EQ(PausedOf[4], 0);
    audio_callback(nullptr, buffer, sizeof buffer);
    EXPECT_EQ(Raises, 2);
    NextDevice = 2;
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
