// The host audio device: opened once with a fixed request, then fed from
// the host library's audio thread.
//
// The callback reads two flags of the main thread, the overlay's and the
// synthesis choice, as whole relaxed atomic loads; the synthesis itself
// shares the sound fields the same way. The main thread controls this
// thread only by pausing the device.
#include "audio/device.h"

#include <SDL.h>
#include <cstring>

#include "audio/synth.h"
#include "core/machine.h"
#include "host/host.h"
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

// What the device gave; kept for the life of the process.
SDL_AudioSpec* Obtained = nullptr;
SDL_AudioDeviceID Device = 0;

} // namespace

void OpenAudioDevice() {
    SDL_AudioSpec* requested = new SDL_AudioSpec();
    requested->freq = OutputRate;
    requested->format = AUDIO_S16LSB;
    requested->channels = OutputChannels;
    requested->samples = BufferFrames;
    requested->callback = audio_callback;
    requested->userdata = nullptr;
    Obtained = new SDL_AudioSpec();
    Device = SDL_OpenAudioDevice(nullptr, 0, requested, Obtained, NoChangesAllowed);
    if (Device == 0) fatal_error("Unable to set audio: %s\n", SDL_GetError());
    // The synthesis writes exactly this layout; a device that handed another
    // through would play noise. The buffer size is the device's own business.
    if (Obtained->freq != requested->freq || Obtained->format != requested->format ||
        Obtained->channels != requested->channels)
        fatal_error("Unable to get requested audio buffer (%ihz 16bit %ich)\n", requested->freq,
                    int(requested->channels));
    delete requested;
}

void PauseSound(bool paused) {
    SDL_PauseAudioDevice(Device, paused ? 1 : 0);
}

void audio_callback(void*, uint8_t* stream, int length) {
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
