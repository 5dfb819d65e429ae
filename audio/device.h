// The host audio device: 44,100 Hz, signed 16-bit, stereo, fed by the
// synthesis on the host library's audio thread.
#pragma once

#include <cstdint>

void OpenAudioDevice();
// The main thread's one control over the audio thread: while paused the
// callback is not called and no channel moves.
void PauseSound(bool paused);
void audio_callback(void* user_data, uint8_t* stream, int length);
