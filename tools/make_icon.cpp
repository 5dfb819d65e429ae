// make-icon: writes the player's icon, from the player's own drawing:
//
//   make-icon SIZE FILE   one size as a PNG file with alpha, for the
//                         desktop's icon theme
//   make-icon ico FILE    the sizes Windows shows, as one icon file for the
//                         program's resources
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/icon.h"

namespace {

constexpr long LargestSize = 1024;

// Explorer's views, the title bar and the task bar pick from these.
constexpr int32_t IcoSizes[] = {16, 24, 32, 48, 64, 128, 256};
constexpr uint32_t IcoHeaderSize = 6;
constexpr uint32_t IcoEntrySize = 16;
constexpr uint32_t BitmapHeaderSize = 40;
// An entry's width and height bytes hold 0 for 256.
constexpr int32_t IcoLargestByte = 255;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One image of the icon file: a 32-bit bottom-up bitmap whose alpha is the
// transparency, then the one-bit mask the format still wants, left clear.
std::vector<uint8_t> IcoImage(int32_t size) {
    std::vector<uint32_t> pixels(size_t(size) * size);
    DrawIcon(pixels.data(), size);
    const uint32_t mask_row_bytes = uint32_t((size + 31) / 32 * 4);
    std::vector<uint8_t> out;
    Put32(out, BitmapHeaderSize);
    Put32(out, uint32_t(size));
    Put32(out, uint32_t(size * 2)); // the picture and the mask
    Put16(out, 1);                  // planes
    Put16(out, 32);                 // bits per pixel
    Put32(out, 0);                  // uncompressed
    Put32(out, uint32_t(size * size * 4) + mask_row_bytes * uint32_t(size));
    for (int i = 0; i < 4; i++)
        Put32(out, 0); // resolution and palette: unused
    // Drawn as 0xAARRGGBB words, which little-endian stores as the format's
    // blue, green, red, alpha bytes.
    for (int32_t y = size - 1; y >= 0; y--)
        for (int32_t x = 0; x < size; x++)
            Put32(out, pixels[size_t(y) * size + x]);
    out.resize(out.size() + mask_row_bytes * uint32_t(size), 0);
    return out;
}

bool WriteIco(const char* path) {
    constexpr uint32_t count = uint32_t(sizeof IcoSizes / sizeof IcoSizes[0]);
    std::vector<uint8_t> file;
    Put16(file, 0);
    Put16(file, 1); // an icon, not a cursor
    Put16(file, count);
    std::vector<uint8_t> images;
    uint32_t offset = IcoHeaderSize + IcoEntrySize * count;
    for (const int32_t size : IcoSizes) {
        const std::vector<uint8_t> image = IcoImage(size);
        const uint8_t side = uint8_t(size > IcoLargestByte ? 0 : size);
        file.push_back(side);
        file.push_back(side);
        file.push_back(0); // no palette
        file.push_back(0);
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, uint32_t(image.size()));
        Put32(file, offset);
        offset += uint32_t(image.size());
        images.insert(images.end(), image.begin(), image.end());
    }
    file.insert(file.end(), images.begin(), images.end());
    FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

bool WritePng(int32_t size, const char* path) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, size, size, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return false;
    // A 32-bit surface's rows are packed, so its pixels are the icon's
    // buffer as they stand.
    DrawIcon(static_cast<uint32_t*>(surface->pixels), size);
    const bool saved = IMG_SavePNG(surface, path) == 0;
    SDL_FreeSurface(surface);
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "ico") == 0) {
        if (WriteIco(argv[2])) return 0;
        std::fprintf(stderr, "make-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    char* end = nullptr;
    const long size = argc == 3 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc != 3 || *end != '\0' || size < 1 || size > LargestSize) {
        std::fprintf(stderr, "usage: make-icon SIZE FILE (SIZE from 1 to %ld), or make-icon ico FILE\n",
                     LargestSize);
        return 2;
    }
    if (WritePng(int32_t(size), argv[2])) return 0;
    std::fprintf(stderr, "make-icon: cannot write %s: %s\n", argv[2], SDL_GetError());
    return 1;
}
