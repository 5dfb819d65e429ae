// make-icon: writes the player's icon at one size as a PNG file with alpha,
// for the desktop's icon theme.
//
//   make-icon SIZE FILE
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "host/icon.h"

namespace {

constexpr long LargestSize = 1024;

} // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const long size = argc == 3 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc != 3 || *end != '\0' || size < 1 || size > LargestSize) {
        std::fprintf(stderr, "usage: make-icon SIZE FILE (SIZE from 1 to %ld)\n", LargestSize);
        return 2;
    }
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, int(size), int(size), 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) {
        std::fprintf(stderr, "make-icon: %s\n", SDL_GetError());
        return 1;
    }
    // A 32-bit surface's rows are packed, so its pixels are the icon's
    // buffer as they stand.
    DrawIcon(static_cast<uint32_t*>(surface->pixels), int32_t(size));
    const bool saved = IMG_SavePNG(surface, argv[2]) == 0;
    if (!saved) std::fprintf(stderr, "make-icon: cannot write %s: %s\n", argv[2], SDL_GetError());
    SDL_FreeSurface(surface);
    return saved ? 0 : 1;
}
