// The sprite layer, drawn once per frame, and the per-line sprite-0 test.
#pragma once

#include <cstdint>

void render_sprite_layer();
int32_t sprite0_hit_x(int line);
