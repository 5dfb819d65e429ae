// Stereo sample synthesis from the channel parameters: 16-bit little-endian
// frames, left then right. A frame count of 0 or less does nothing.
#pragma once

#include <cstdint>

void synthesize_plain(uint8_t* buffer, int32_t frame_count);
void synthesize_interpolated(uint8_t* buffer, int32_t frame_count);
