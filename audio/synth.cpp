// Synthesis: to be written.
#include "audio/synth.h"

#include <cstring>

void synthesize_plain(uint8_t* buffer, int32_t frame_count) {
    if (frame_count > 0)
        std::memset(buffer, 0, size_t(frame_count) * 4);
}

void synthesize_interpolated(uint8_t* buffer, int32_t frame_count) { synthesize_plain(buffer, frame_count); }
