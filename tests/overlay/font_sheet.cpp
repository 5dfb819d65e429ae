// Writes every glyph of the overlay font, and a line of menu text, to a PNG
// so that the font can be looked at: overlay-font-sheet <file.png>
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "overlay/toolkit.h"

constexpr int Columns = 16;
constexpr int GlyphRows = 8; // 128 glyphs
constexpr int Cell = 10;     // each 8 x 8 glyph with a 2-pixel gap
constexpr int Zoom = 4;
constexpr int SheetWidth = Columns * Cell;
constexpr int SheetHeight = GlyphRows * Cell + 2 * Cell;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: overlay-font-sheet <file.png>\n");
        return 2;
    }
    std::vector<uint32_t> sheet(SheetWidth * SheetHeight, 0x603010);
    Overlay.Pixels = sheet.data();
    Overlay.Width = SheetWidth;
    Overlay.Height = SheetHeight;
    for (int glyph = 0; glyph < Columns * GlyphRows; ++glyph)
        DrawGlyph(glyph, (glyph % Columns) * Cell + 1, (glyph / Columns) * Cell + 1, 0xFFFFFF);
    const char* sample = "  A: X  2x FULL";
    for (size_t k = 0; k < std::strlen(sample); ++k)
        DrawGlyph(sample[k] - 32, 1 + 8 * int(k), GlyphRows * Cell + 6, 0x80FFFF);

    SDL_Surface* zoomed = SDL_CreateRGBSurfaceWithFormat(0, SheetWidth * Zoom, SheetHeight * Zoom, 32,
                                                         SDL_PIXELFORMAT_ABGR8888);
    if (zoomed == nullptr) return 1;
    for (int y = 0; y < SheetHeight * Zoom; ++y) {
        uint32_t* line =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(zoomed->pixels) + y * zoomed->pitch);
        for (int x = 0; x < SheetWidth * Zoom; ++x)
            line[x] = sheet[(y / Zoom) * SheetWidth + x / Zoom] | 0xFF000000;
    }
    int result = IMG_SavePNG(zoomed, argv[1]);
    SDL_FreeSurface(zoomed);
    return result == 0 ? 0 : 1;
}
