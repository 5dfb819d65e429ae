// make-artwork: draws "artwork.jpg", the quiet picture around the game: a
// dark night gradient with a soft glow behind the game picture, faint
// stars, and low hills along the bottom.
//
//   make-artwork FILE
//
// Everything is computed per pixel from fixed formulas, so the picture is
// the same on every build.
#include <SDL.h>
#include <SDL_image.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int JpegQuality = 90;

struct Colour {
    double r, g, b;
};

constexpr Colour SkyTop = {0.008, 0.011, 0.032};
constexpr Colour SkyBottom = {0.040, 0.022, 0.060};
constexpr Colour Glow = {0.045, 0.055, 0.105};
constexpr Colour HillFar = {0.020, 0.018, 0.042};
constexpr Colour HillNear = {0.009, 0.008, 0.022};
constexpr double StarChance = 0.0009;
constexpr double Pi = 3.14159265358979323846;

Colour mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double smoothstep(double edge0, double edge1, double x) {
    double t = (x - edge0) / (edge1 - edge0);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}

// A well-mixed 32-bit hash of a pixel, for the star field.
uint32_t hash(uint32_t x, uint32_t y) {
    uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Height of a hill line above the bottom edge, in pixels, at column x.
double hill_height(double x, double base, double amplitude, double phase) {
    return base + amplitude * (0.6 * std::sin(x * 2 * Pi / 900.0 + phase) +
                               0.3 * std::sin(x * 2 * Pi / 410.0 + 2.1 * phase) +
                               0.1 * std::sin(x * 2 * Pi / 170.0 + 3.7 * phase));
}

Colour pixel(int x, int y) {
    const double v = double(y) / (Height - 1);
    Colour c = mix(SkyTop, SkyBottom, smoothstep(0.0, 1.0, v));

    // A soft glow where the game picture sits, so that its edges blend in.
    const double dx = (x - Width / 2.0) / (Width * 0.45);
    const double dy = (y - Height * 0.48) / (Height * 0.6);
    const double glow = std::exp(-(dx * dx + dy * dy) * 2.2);
    c = mix(c, Glow, 0.55 * glow);

    // Faint stars, fewer towards the horizon.
    const uint32_t h = hash(uint32_t(x), uint32_t(y));
    if (double(h % 1000000u) / 1000000.0 < StarChance * (1.0 - v)) {
        const double brightness = 0.25 + 0.35 * double((h >> 20) & 0xFF) / 255.0;
        c = mix(c, {0.85, 0.85, 1.0}, brightness);
    }

    // Two ranges of hills, the nearer darker.
    const double from_bottom = Height - 1 - y;
    const double far = hill_height(x, 150, 60, 0.7);
    const double near = hill_height(x, 80, 40, 2.3);
    c = mix(c, HillFar, smoothstep(far + 1.5, far - 1.5, from_bottom));
    c = mix(c, HillNear, smoothstep(near + 1.5, near - 1.5, from_bottom));

    // Darker corners keep the eye on the middle.
    const double cx = (x - Width / 2.0) / (Width / 2.0);
    const double cy = (y - Height / 2.0) / (Height / 2.0);
    const double vignette = 1.0 - 0.35 * smoothstep(0.6, 1.6, std::sqrt(cx * cx + cy * cy));
    return {c.r * vignette, c.g * vignette, c.b * vignette};
}

uint8_t to_byte(double v) {
    v = v < 0 ? 0 : (v > 1 ? 1 : v);
    return uint8_t(std::lround(std::pow(v, 1.0 / 2.2) * 255.0));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork FILE\n");
        return 2;
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, Width, Height, 24, SDL_PIXELFORMAT_RGB24);
    if (!surface) {
        std::fprintf(stderr, "make-artwork: %s\n", SDL_GetError());
        return 1;
    }
    auto* pixels = static_cast<uint8_t*>(surface->pixels);
    for (int y = 0; y < Height; y++) {
        uint8_t* row = pixels + size_t(y) * size_t(surface->pitch);
        for (int x = 0; x < Width; x++) {
            const Colour c = pixel(x, y);
            row[3 * x] = to_byte(c.r);
            row[3 * x + 1] = to_byte(c.g);
            row[3 * x + 2] = to_byte(c.b);
        }
    }
    const bool saved = IMG_SaveJPG(surface, argv[1], JpegQuality) == 0;
    if (!saved) std::fprintf(stderr, "make-artwork: cannot write %s: %s\n", argv[1], SDL_GetError());
    SDL_FreeSurface(surface);
    return saved ? 0 : 1;
}
