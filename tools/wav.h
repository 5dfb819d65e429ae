// A 16-bit stereo 44,100 Hz WAV file written as the samples come: the header
// goes first with empty sizes, which wav_finish fills in.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int WavSampleRate = 44100;
constexpr int WavChannels = 2;
constexpr int WavFrameBytes = 4; // one 16-bit sample per channel
// The RIFF sizes are 32-bit: a file holds at most this many frames.
constexpr uint32_t WavMaxFrames = (0xFFFFFFFFu - 36) / WavFrameBytes;

// Creates `path` and writes the header. Null when the file cannot be made.
FILE* wav_begin(const char* path);

// Appends `frame_count` frames of 16-bit little-endian samples, left then right.
bool wav_append(FILE* file, const uint8_t* frames, uint32_t frame_count);

// Fills in the sizes for `frame_count` frames and closes the file.
bool wav_finish(FILE* file, uint32_t frame_count);
