// The host audio device: 44,100 Hz, signed 16-bit, stereo, fed by the
// synthesis on the host library's audio thread.
#pragma once

#include <cstdint>

void OpenAudioDevice();
void audio_callback(void* user_data, uint8_t* stream, int length);
