// The background, drawn one scanline at a time.
#pragma once

#include <cstdint>

void render_background_line(int line);
int32_t fetch_attribute();

// The renderer keeps the tiles it has drawn and sees for itself when their
// nametable and attribute bytes, the background colours or the pattern
// table change. Pattern memory and the master palette it does not watch:
// whatever changes them (loading a cartridge, a character-RAM write) calls
// this, and every tile is drawn afresh when next shown.
void background_forget();
