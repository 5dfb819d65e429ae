// The host audio device: 44,100 Hz, signed 16-bit, stereo, fed by the
// synthesis on the host library's audio thread.
#pragma once

#include <cstdint>

void OpenAudioDevice();
// The main thread's one control over the audio thread: while paused the
// callback is not called and no channel moves. A device opened again after
// a loss takes the state last asked for here.
void PauseSound(bool paused);
// The host library reported the removal of the device numbered which; for
// ours, the device is closed and the game goes on silent.
void SoundDeviceRemoved(uint32_t which);
// Called once a pass with the counter's reading: while the device is lost,
// tries to open it again with the start-up request, at most
// ReopenTriesPerSecond times a second and silently.
void KeepSoundOpen(uint64_t now, uint64_t frequency);
void audio_callback(void* user_data, uint8_t* stream, int length);

constexpr uint64_t ReopenTriesPerSecond = 4;
