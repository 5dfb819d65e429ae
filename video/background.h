// The background, drawn one scanline at a time.
#pragma once

#include <cstdint>

void render_background_line(int line);
int32_t fetch_attribute();
