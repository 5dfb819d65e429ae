// Sprite layer: to be written.
#include "video/sprites.h"

void render_sprite_layer() {}
int32_t sprite0_hit_x(int) { return -1; }
