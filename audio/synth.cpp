// Sample synthesis: the five channels advanced frame by frame and mixed into
// signed 16-bit stereo, on the audio thread.
//
// Index
//   working copies of the shared fields
//   one frame: ramps, noise step, sample step, wave values
//   one buffer
//
// Sharing with the main thread. The registers write phase steps, waves and
// target volumes at any moment; a buffer reads each of them once, so a change
// is heard from the next buffer on, as the design promises. Phases, volumes
// and the noise and sample-channel state belong to this thread, except for
// the resets the registers make (a silent triangle restarting, a sample
// starting or stopping). Those fields are worked on in locals for the whole
// buffer and stored back at its end, unless the main thread has reset them in
// the meantime: then its reset stands, as it would have between two buffers.
#include "audio/synth.h"

#include <algorithm>

#include "audio/apu.h"
#include "core/bus.h"
#include "core/machine.h"

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

constexpr uint32_t PhaseOne = 0x10000; // one step of a phase accumulator
constexpr int PhaseFractionBits = 16;
constexpr uint32_t PhaseFractionMask = 0xFFFF;
constexpr uint32_t WaveStepMask = WaveSteps - 1;

constexpr int32_t PulseWeight = 492;
constexpr int32_t TriangleWeight = 557;
constexpr int32_t NoiseWeight = 323;
constexpr int32_t SampleWeight = 5256; // per unit of `dmc_level`
constexpr int32_t CrossFeed = 4;       // each pulse is heard at a quarter on the far side
constexpr int MixShift = 4;

// Volumes rise by one every other frame and fall by one every 64th frame of
// a buffer: notes start fast and end without a click.
constexpr int32_t RampDownMask = 63;
constexpr int32_t RampDownFrame = 32;

constexpr int32_t MaxSampleLevel = 63;
constexpr int32_t SampleWindow = 0xC000;
constexpr int32_t SampleWindowMask = 0x3FFF;
constexpr int32_t ByteBitMask = 7;

constexpr int ToneCount = 4; // pulse 1, pulse 2, triangle, noise: the channels with a volume
constexpr int BytesPerFrame = 4;

// --- Working copies of the shared fields ----------------------------------------

struct Tone {
    uint32_t phase;
    uint32_t loaded_phase; // as read at the start of the buffer
    uint32_t step;
    int32_t wave_base; // pulses: their duty wave; triangle: its wave; noise: the mode
    int32_t volume;
    int32_t target;
};

struct Sample {
    uint32_t phase;
    uint32_t step;
    int32_t address;
    int32_t bytes_left;
    int32_t loaded_bytes_left;
    int32_t byte;
    int32_t bit;
    int32_t level;
};

Tone load_tone(int index) {
    const ToneChannel& c = machine.channels[index];
    Tone t;
    t.phase = t.loaded_phase = c.phase.load(relaxed);
    t.step = uint32_t(c.phase_step.load(relaxed));
    t.wave_base = index == ChannelTriangle ? TriangleWaveBase : c.wave_offset.load(relaxed);
    t.volume = c.volume.load(relaxed);
    t.target = c.target_volume.load(relaxed);
    return t;
}

void store_tone(int index, const Tone& t) {
    ToneChannel& c = machine.channels[index];
    // A phase that changed under us was reset by the registers: keep the reset.
    if (c.phase.load(relaxed) == t.loaded_phase) c.phase.store(t.phase, relaxed);
    c.volume.store(t.volume, relaxed);
}

Sample load_sample() {
    const ToneChannel& c = machine.channels[ChannelSample];
    Sample s;
    s.phase = c.phase.load(relaxed);
    s.step = uint32_t(c.phase_step.load(relaxed));
    s.address = machine.dmc_address.load(relaxed);
    s.bytes_left = s.loaded_bytes_left = machine.dmc_bytes_left.load(relaxed);
    s.byte = machine.dmc_byte.load(relaxed);
    s.bit = machine.dmc_bit.load(relaxed);
    s.level = machine.dmc_level.load(relaxed);
    return s;
}

void store_sample(const Sample& s) {
    // The registers change the byte count only to start a sample (from 0) or
    // to stop one (to 0). A start made during this buffer brought fresh
    // state that stands; a stop keeps its 0 while the level decays from
    // where this buffer left it.
    const int32_t bytes_left_now = machine.dmc_bytes_left.load(relaxed);
    const bool started = bytes_left_now != s.loaded_bytes_left && bytes_left_now != 0;
    if (started) return;
    if (bytes_left_now == s.loaded_bytes_left) machine.dmc_bytes_left.store(s.bytes_left, relaxed);
    machine.channels[ChannelSample].phase.store(s.phase, relaxed);
    machine.dmc_address.store(s.address, relaxed);
    machine.dmc_byte.store(s.byte, relaxed);
    machine.dmc_bit.store(s.bit, relaxed);
    machine.dmc_level.store(s.level, relaxed);
}

// --- One frame ----------------------------------------------------------------------

void ramp_up(Tone* tones) {
    for (int n = 0; n < ToneCount; n++)
        if (tones[n].volume < tones[n].target) tones[n].volume++;
}

void ramp_down(Tone* tones) {
    for (int n = 0; n < ToneCount; n++)
        if (tones[n].volume > tones[n].target) tones[n].volume--;
}

// At most one step per frame however fast the noise runs: the faster
// periods make the phase run ahead and wrap, and the noise then steps on
// almost every frame.
void step_noise(Tone& noise, int32_t& noise_sample, uint32_t& noise_position) {
    if (noise.phase < PhaseOne) return;
    noise.phase -= PhaseOne;
    noise_sample = noise.wave_base == 0 ? machine.noise_long_table[noise_position % NoiseLongLength]
                                        : machine.noise_short_table[noise_position % NoiseShortLength];
    noise_position++;
}

void step_sample(Sample& s) {
    if (s.phase < PhaseOne) return;
    s.phase -= PhaseOne;
    // The count is tested before the fetch: once the last byte is fetched the
    // next step already decays, so only bit 0 of that byte is played.
    if (s.bytes_left <= 0) {
        if (s.level > 0) s.level--;
        return;
    }
    if (s.bit == 0) {
        // Masked into the fixed program window: even an address caught half
        // way through a sample start never reaches RAM or the registers.
        s.byte = bus_read(uint32_t((s.address & SampleWindowMask) | SampleWindow));
        s.address = ((s.address + 1) & SampleWindowMask) | SampleWindow;
        s.bytes_left--;
    }
    if ((s.byte >> s.bit) & 1) {
        if (s.level < MaxSampleLevel) s.level++;
    } else if (s.level > 0) {
        s.level--;
    }
    s.bit = (s.bit + 1) & ByteBitMask;
}

// The wave value of a pulse or the triangle; the interpolated form slides
// linearly from the current step to the next, taking the edges off the
// square waves.
template <bool Interpolated> int32_t wave_value(const Tone& t) {
    const uint32_t k = t.phase >> PhaseFractionBits;
    const int32_t x = wave_table[t.wave_base + int32_t(k & WaveStepMask)];
    if constexpr (!Interpolated) {
        return x;
    } else {
        const int32_t y = wave_table[t.wave_base + int32_t((k + 1) & WaveStepMask)];
        const int32_t f = int32_t(t.phase & PhaseFractionMask);
        return x + (((y - x) * f) >> PhaseFractionBits);
    }
}

// At full level the mix exceeds 16 bits; it is held at the limit rather than
// wrapped into noise.
void put_sample(uint8_t* out, int32_t value) {
    const int32_t s = std::clamp<int32_t>(value, INT16_MIN, INT16_MAX);
    out[0] = uint8_t(s);
    out[1] = uint8_t(s >> 8);
}

// --- One buffer ---------------------------------------------------------------------

template <bool Interpolated> void synthesize(uint8_t* buffer, int32_t frame_count) {
    if (frame_count <= 0) return;
    Tone tones[ToneCount];
    for (int n = 0; n < ToneCount; n++)
        tones[n] = load_tone(n);
    Tone& pulse1 = tones[ChannelPulse1];
    Tone& pulse2 = tones[ChannelPulse2];
    Tone& triangle = tones[ChannelTriangle];
    Tone& noise = tones[ChannelNoise];
    Sample sample = load_sample();
    int32_t noise_sample = machine.noise_sample.load(relaxed);
    uint32_t noise_position = machine.noise_position.load(relaxed);

    for (int32_t i = 0; i < frame_count; i++) {
        for (Tone& t : tones)
            t.phase += t.step;
        sample.phase += sample.step;
        if ((i & 1) == 0) ramp_up(tones);
        if ((i & RampDownMask) == RampDownFrame) ramp_down(tones);
        step_noise(noise, noise_sample, noise_position);
        step_sample(sample);

        const int32_t p1 = wave_value<Interpolated>(pulse1) * pulse1.volume * PulseWeight;
        const int32_t p2 = wave_value<Interpolated>(pulse2) * pulse2.volume * PulseWeight;
        const int32_t centre = wave_value<Interpolated>(triangle) * triangle.volume * TriangleWeight +
                               noise_sample * noise.volume * NoiseWeight + sample.level * SampleWeight;
        put_sample(buffer, (p1 + p2 / CrossFeed + centre) >> MixShift);
        put_sample(buffer + 2, (p2 + p1 / CrossFeed + centre) >> MixShift);
        buffer += BytesPerFrame;
    }

    for (int n = 0; n < ToneCount; n++)
        store_tone(n, tones[n]);
    store_sample(sample);
    machine.noise_sample.store(noise_sample, relaxed);
    machine.noise_position.store(noise_position, relaxed);
}

} // namespace

void synthesize_plain(uint8_t* buffer, int32_t frame_count) {
    synthesize<false>(buffer, frame_count);
}

void synthesize_interpolated(uint8_t* buffer, int32_t frame_count) {
    synthesize<true>(buffer, frame_count);
}
