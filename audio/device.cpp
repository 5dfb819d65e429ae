// Audio device: to be written.
#include "audio/device.h"

void OpenAudioDevice() {}
void audio_callback(void*, uint8_t*, int) {}
