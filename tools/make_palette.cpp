// make-palette: computes the 64-colour master palette "palette.pal" from a
// model of the console's composite video signal.
//
//   make-palette FILE
//
// Colour n has a luma level (bits 4-5) and a hue column (bits 0-3). The
// picture unit draws every pixel as a square wave at the colour subcarrier
// frequency that switches between a low and a high signal level; the wave's
// phase is the hue and its two levels come from the luma level. Column 0
// holds the wave at its high level throughout (a grey), column 13 at its low
// level (a darker grey), columns 14 and 15 the black level. A television
// decodes such a signal into luma (its mean) and two chroma components (its
// projection on the subcarrier), which a YIQ matrix turns into RGB.
//
// Index:
//   signal model  - levels and the square wave of one colour
//   decoding      - YIQ from the wave, then sRGB bytes
//   main          - writes the 192 bytes
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// ---------------------------------------------------------------------------
// Signal model
// ---------------------------------------------------------------------------

constexpr int Colours = 64;
constexpr int Hues = 16;
constexpr int PhaseSteps = 12; // the wave is sampled 12 times per subcarrier cycle
constexpr int ChromaHues = 12; // columns 1-12 each start the wave one step later

// Signal levels in volts for luma levels 0-3, measured from sync tip.
constexpr std::array<double, 4> LowLevel = {0.350, 0.518, 0.962, 1.550};
constexpr std::array<double, 4> HighLevel = {1.094, 1.506, 1.962, 1.962};
constexpr double BlackLevel = 0.518;
constexpr double WhiteLevel = 1.962;

// Column 8 is in phase with the colour burst, the decoder's reference. The
// angle is where that column lands in the I/Q plane after the decoder's hue
// setting; the other columns follow 30 degrees apart.
constexpr double BurstColumn = 8.0;
constexpr double BurstAngleDegrees = -33.0;

// Chroma gain of the decoder, and the display's picture gamma against sRGB.
constexpr double Saturation = 0.85;
constexpr double DisplayGamma = 2.2;
constexpr double SrgbGamma = 2.2;

constexpr double Pi = 3.14159265358979323846;

// Signal voltage of colour (level, hue) at subcarrier step `step`.
double signal_at(int level, int hue, int step) {
    if (hue == 0) return HighLevel[level];
    if (hue == 13) return LowLevel[level];
    if (hue >= 14) return BlackLevel;
    const bool high = (step + hue) % PhaseSteps < PhaseSteps / 2;
    return high ? HighLevel[level] : LowLevel[level];
}

// ---------------------------------------------------------------------------
// Decoding
// ---------------------------------------------------------------------------

struct Rgb {
    uint8_t r, g, b;
};

uint8_t to_byte(double linear_display) {
    double v = linear_display < 0 ? 0 : (linear_display > 1 ? 1 : linear_display);
    // The television shows the signal through its own gamma; re-encode that
    // light for an sRGB screen.
    v = std::pow(std::pow(v, DisplayGamma), 1.0 / SrgbGamma);
    return uint8_t(std::lround(v * 255.0));
}

Rgb decode(int level, int hue) {
    double y = 0, i = 0, q = 0;
    const double burst_shift = BurstAngleDegrees * Pi / 180.0;
    for (int step = 0; step < PhaseSteps; step++) {
        const double v = (signal_at(level, hue, step) - BlackLevel) / (WhiteLevel - BlackLevel);
        // Step `step` of the wave lies at this angle of the subcarrier,
        // measured so that the burst column lands on the burst angle.
        const double angle =
            2 * Pi * (step + BurstColumn - 0.5 * (PhaseSteps / 2 - 1)) / ChromaHues + burst_shift;
        y += v;
        i += v * std::cos(angle);
        q += v * std::sin(angle);
    }
    y /= PhaseSteps;
    i *= 2.0 * Saturation / PhaseSteps;
    q *= 2.0 * Saturation / PhaseSteps;
    const double r = y + 0.956 * i + 0.621 * q;
    const double g = y - 0.272 * i - 0.647 * q;
    const double b = y - 1.106 * i + 1.703 * q;
    return {to_byte(r), to_byte(g), to_byte(b)};
}

} // namespace

// ---------------------------------------------------------------------------
// Main
// ---------------------------------------------------------------------------

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-palette FILE\n");
        return 2;
    }
    std::array<uint8_t, Colours * 3> bytes{};
    for (int n = 0; n < Colours; n++) {
        const Rgb c = decode(n / Hues, n % Hues);
        bytes[size_t(3 * n)] = c.r;
        bytes[size_t(3 * n + 1)] = c.g;
        bytes[size_t(3 * n + 2)] = c.b;
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "make-palette: cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "make-palette: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
