// Reads a screenshot of the player's window and answers what the end-to-end
// test asks about the overlay in it. The window is windowed at a whole scale,
// so picture pixel (x, y) covers the scale x scale block at (x * scale,
// y * scale).
//
//   overlay-shot-check SHOT.png SCALE tint
//       prints the percentage of the panel's picture rows (0..151) that carry
//       the panel's blue tint
//   overlay-shot-check SHOT.png SCALE text X Y RRGGBB TEXT
//       exits 0 when every pixel the font lights for TEXT at picture column X,
//       row Y shows colour RRGGBB; otherwise prints the misses and exits 1
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "overlay/toolkit.h"

constexpr int PictureWidth = 256;
constexpr int PanelPictureRows = 152; // the panel's 160 Canvas rows less the 8 never shown
constexpr int TintedMaxRedGreen = 0x17;
constexpr int TintedMinBlue = 0x40;

struct Rgb {
    int r, g, b;
};

static SDL_Surface* Shot;
static int Scale;

// The colour at the centre of picture pixel (x, y).
static Rgb PictureAt(int x, int y) {
    int sx = x * Scale + Scale / 2, sy = y * Scale + Scale / 2;
    uint32_t pixel = 0;
    const uint8_t* at = static_cast<const uint8_t*>(Shot->pixels) + sy * Shot->pitch + sx * 4;
    std::memcpy(&pixel, at, 4);
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetRGB(pixel, Shot->format, &r, &g, &b);
    return {r, g, b};
}

static int TintPercent() {
    int tinted = 0;
    for (int y = 0; y < PanelPictureRows; ++y)
        for (int x = 0; x < PictureWidth; ++x) {
            Rgb c = PictureAt(x, y);
            tinted += c.r == c.g && c.r <= TintedMaxRedGreen && c.b >= TintedMinBlue;
        }
    return tinted * 100 / (PanelPictureRows * PictureWidth);
}

static int TextMisses(int x, int y, uint32_t colour, const char* text) {
    Rgb want = {int(colour >> 16), int((colour >> 8) & 0xFF), int(colour & 0xFF)};
    int misses = 0;
    for (int k = 0; text[k] != '\0'; ++k) {
        int code = static_cast<unsigned char>(text[k]);
        if (code < 32 || code > 127) continue;
        for (int row = 0; row < 8; ++row)
            for (int column = 0; column < 8; ++column) {
                if (((OverlayFont[code - 32][row] >> (7 - column)) & 1) == 0) continue;
                Rgb got = PictureAt(x + 8 * k + column, y + row);
                if (got.r == want.r && got.g == want.g && got.b == want.b) continue;
                if (misses++ < 5)
                    std::printf("'%c' at %d,%d: %02x%02x%02x\n", text[k], x + 8 * k + column, y + row, got.r,
                                got.g, got.b);
            }
    }
    return misses;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: overlay-shot-check SHOT.png SCALE tint|text X Y RRGGBB TEXT\n");
        return 2;
    }
    SDL_Surface* loaded = IMG_Load(argv[1]);
    if (loaded == nullptr) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], SDL_GetError());
        return 2;
    }
    Shot = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    Scale = std::atoi(argv[2]);
    if (Shot == nullptr || Scale < 1 || Shot->w < PictureWidth * Scale || Shot->h < 224 * Scale) {
        std::fprintf(stderr, "%s is not a window at scale %s\n", argv[1], argv[2]);
        return 2;
    }
    if (std::strcmp(argv[3], "tint") == 0) {
        std::printf("%d\n", TintPercent());
        return 0;
    }
    if (std::strcmp(argv[3], "text") == 0 && argc == 8) {
        int misses = TextMisses(std::atoi(argv[4]), std::atoi(argv[5]),
                                uint32_t(std::strtoul(argv[6], nullptr, 16)), argv[7]);
        return misses == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "unknown check %s\n", argv[3]);
    return 2;
}
