// The host audio device: opened at start-up with a fixed request, then fed
// from the host library's audio thread; opened again with the same request
// when the sound server goes away and comes back.
//
// The callback reads two flags of the main thread, the overlay's and the
// synthesis choice, as whole relaxed atomic loads; the synthesis itself
// shares the sound fields the same way. The main thread controls this
// thread only by pausing the device, and by closing and opening it, which
// the host library does with the audio thread stopped.
#include "audio/device.h"

#include <SDL.h>
#include <cstring>

#include "audio/synth.h"
#include "core/machine.h"
#include "host/host.h"
#include "host/sound_server.h"
#include "overlay/settings.h"

namespace {

constexpr int OutputRate = 44100;
constexpr int OutputChannels = 2;
constexpr int BufferFrames = 1024;
constexpr int BytesPerFrame = 4; // two 16-bit samples
// No change of rate, format, channels or buffer is allowed: the host library
// converts to what the device wants (the float mix formats of other systems
// and of browsers, 48 kHz sinks) behind the callback.
constexpr int NoChangesAllowed = 0;

// The request and what the device gave, kept for the life of the process:
// a lost device is opened again with the same request.
SDL_AudioSpec* Requested = nullptr;
SDL_AudioSpec* Obtained = nullptr;
// 0 while the device is lost.
SDL_AudioDeviceID Device = 0;
// Set by the present device's thread once it has been raised; cleared
// before a device is opened, while no audio thread runs.
bool ThreadRaised = false;
// What PauseSound last asked for; a device opens paused.
bool SoundPaused = true;
bool DeviceLost = false;
// The counter's reading before which no new try is made.
uint64_t NextTry = 0;

} // namespace

void OpenAudioDevice() {
    if (!Requested) Requested = new SDL_AudioSpec();
    Requested->freq = OutputRate;
    Requested->format = AUDIO_S16LSB;
    Requested->channels = OutputChannels;
    Requested->samples = BufferFrames;
    Requested->callback = audio_callback;
    Requested->userdata = nullptr;
    if (!Obtained) Obtained = new SDL_AudioSpec();
    SoundPaused = true;
    DeviceLost = false;
    ThreadRaised = false;
    PrepareSoundServer();
    Device = SDL_OpenAudioDevice(nullptr, 0, Requested, Obtained, NoChangesAllowed);
    if (Device == 0) fatal_error("Unable to set audio: %s\n", SDL_GetError());
    // The synthesis writes exactly this layout; a device that handed another
    // through would play noise. The buffer size is the device's own business.
    if (Obtained->freq != Requested->freq || Obtained->format != Requested->format ||
        Obtained->channels != Requested->channels)
        fatal_error("Unable to get requested audio buffer (%ihz 16bit %ich)\n", Requested->freq,
                    int(Requested->channels));
}

void PauseSound(bool paused) {
    SoundPaused = paused;
    if (Device != 0) SDL_PauseAudioDevice(Device, paused ? 1 : 0);
}

void SoundDeviceRemoved(uint32_t which) {
    if (Device == 0 || which != Device) return;
    // The lost device's thread only feeds a scratch buffer from here on;
    // closing it stops the channels where they stand until a new device
    // asks for them.
    SDL_CloseAudioDevice(Device);
    Device = 0;
    DeviceLost = true;
    NextTry = 0;
}

void KeepSoundOpen(uint64_t now, uint64_t frequency) {
    if (!DeviceLost || now < NextTry) return;
    NextTry = now + frequency / ReopenTriesPerSecond;
    // The library converts whatever the new device wants to the request, so
    // what it gives fits as it did at start-up. A failure only means the
    // server is not back yet: the next try says nothing either.
    ThreadRaised = false;
    Device = SDL_OpenAudioDevice(nullptr, 0, Requested, Obtained, NoChangesAllowed);
    if (Device == 0) return;
    DeviceLost = false;
    SDL_PauseAudioDevice(Device, SoundPaused ? 1 : 0);
}

void audio_callback(void*, uint8_t* stream, int length) {
    if (!ThreadRaised) {
        RaiseSoundThread();
        ThreadRaised = true;
    }
    // Silence without touching the channels: the notes resume where they
    // stood when the overlay closes.
    if (Host.OverlayOpen.load(std::memory_order_relaxed)) {
        std::memset(stream, 0, size_t(length > 0 ? length : 0));
        return;
    }
    const int32_t frames = length / BytesPerFrame;
    if (Config.SoundInterpolation.load(std::memory_order_relaxed) == 0)
        synthesize_plain(stream, frames);
    else
        synthesize_interpolated(stream, frames);
}
