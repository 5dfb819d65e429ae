// The player's icon: a rounded tile of night sky over a grassy hill, and a
// faceted golden star falling towards it with its trail behind.
//
// The scene is a set of shapes in a unit square, tested point by point; each
// pixel averages a grid of such points, which smooths every edge at any
// size. Details too fine to read at small sizes are left out there.
#include "host/icon.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Colour {
    double r, g, b;
};

struct Point {
    double x, y;
};

// The tile: inset a little, as icon themes expect, with round corners.
constexpr double TileInset = 0.055;
constexpr double TileCorner = 0.19;
constexpr double RimWidth = 0.035; // a lighter edge round the sky, so the tile stands out on dark panels
constexpr Colour SkyTop = {0.020, 0.045, 0.180};
constexpr Colour SkyBottom = {0.000, 0.210, 0.480}; // the game's own sky at the horizon
constexpr Colour Rim = {0.300, 0.420, 0.780};
constexpr double RimStrength = 0.45;

// The hill: a wide circle whose top shows above the tile's bottom edge.
constexpr Point HillCentre = {0.50, 1.62};
constexpr double HillRadius = 0.84;
constexpr double GrassDepth = 0.045;
constexpr Colour Grass = {0.400, 0.820, 0.100};
constexpr Colour Soil = {0.400, 0.160, 0.020}; // the game's earth, in the dark

// The star: five points, turned a little as if tumbling.
constexpr Point StarCentre = {0.42, 0.50};
constexpr double StarOuter = 0.285;
constexpr double StarInner = 0.130;
constexpr double StarTurn = 0.24; // radians: a valley faces the trail
constexpr int StarPoints = 5;
constexpr Colour StarLit = {1.000, 0.950, 0.580};
constexpr Colour StarShaded = {0.930, 0.560, 0.080};
constexpr double LightAngle = -0.75 * Pi; // from the upper left
constexpr Colour GlowColour = {1.000, 0.820, 0.350};
constexpr double GlowSpread = 0.17; // where the glow has fallen to a third
constexpr double GlowStrength = 0.45;

// The trail, from the star back up to the upper right, thinning and fading.
constexpr Point TrailEnd = {0.88, 0.115};
constexpr double TrailWidth = 0.17; // half its width where it leaves the star
constexpr Colour TrailColour = {1.000, 0.900, 0.550};
constexpr double TrailStrength = 0.9;
constexpr double TrailFadeIn = 0.25; // of its length

// Small four-pointed twinkles in the sky, shown from this size up.
constexpr int32_t TwinkleMinSize = 32;
struct Twinkle {
    Point centre;
    double radius;
};
constexpr Twinkle Twinkles[] = {
    {{0.20, 0.20}, 0.060}, {{0.80, 0.52}, 0.045}, {{0.16, 0.70}, 0.040}, {{0.58, 0.16}, 0.035}};
constexpr double TwinkleWaist = 0.22; // inner radius, of the outer
constexpr Colour TwinkleColour = {0.950, 0.960, 1.000};

// Points averaged per pixel, along each axis.
constexpr int SamplesPerAxis = 6;

constexpr int32_t WindowIconSize = 64;
uint32_t WindowIconPixels[WindowIconSize * WindowIconSize];

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Signed distance to the rounded tile's edge: negative inside.
double TileDistance(Point p) {
    const double half = 0.5 - TileInset - TileCorner;
    const double qx = std::fabs(p.x - 0.5) - half;
    const double qy = std::fabs(p.y - 0.5) - half;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - TileCorner;
}

// Whether p lies in the star of `points` points with the given radii, turned
// by `turn`: the star's outline is straight between alternating tips and
// valleys, so a point is inside when it lies within the triangle of its
// sector.
bool InStar(Point p, Point centre, double outer, double inner, int points, double turn) {
    const double dx = p.x - centre.x;
    const double dy = p.y - centre.y;
    const double radius = std::hypot(dx, dy);
    if (radius > outer) return false;
    const double step = Pi / points;                   // from a tip to the next valley
    double angle = std::atan2(dy, dx) - turn + Pi / 2; // tips measured from straight up
    angle = std::fmod(angle + 4 * Pi, 2 * step);
    const double offset = angle > step ? 2 * step - angle : angle; // 0 at a tip, step at a valley
    // The outline from the tip (outer, 0) to the valley (inner, step), in
    // polar form along the ray at `offset`.
    const double tip_x = outer, tip_y = 0.0;
    const double valley_x = inner * std::cos(step), valley_y = inner * std::sin(step);
    const double ray_x = std::cos(offset), ray_y = std::sin(offset);
    const double edge_x = valley_x - tip_x, edge_y = valley_y - tip_y;
    const double reach = (tip_x * edge_y - tip_y * edge_x) / (ray_x * edge_y - ray_y * edge_x);
    return radius <= reach;
}

// The star's shade at p: each arm has two facets, sloping down from the
// ridge along the arm to the outline, and the one facing the light is the
// brighter.
Colour StarShade(Point p) {
    const double dx = p.x - StarCentre.x;
    const double dy = p.y - StarCentre.y;
    const double step = 2 * Pi / StarPoints;
    const double angle = std::atan2(dy, dx) - StarTurn + Pi / 2;
    const double arm = std::floor(angle / step + 0.5);
    const double side = angle - arm * step < 0 ? -1.0 : 1.0;
    // The facet faces out through its outline edge, from the tip at angle 0
    // to the valley half a step on.
    const double edge_x = StarInner * std::cos(step / 2) - StarOuter;
    const double edge_y = StarInner * std::sin(step / 2);
    const double normal = std::atan2(-edge_x, edge_y);
    const double facing = arm * step + StarTurn - Pi / 2 + side * normal;
    const double light = 0.5 + 0.5 * std::cos(facing - LightAngle);
    return Mix(StarShaded, StarLit, light);
}

// How much of the trail covers p, from 0 to 1.
double TrailCover(Point p) {
    const double ex = TrailEnd.x - StarCentre.x;
    const double ey = TrailEnd.y - StarCentre.y;
    const double along = ((p.x - StarCentre.x) * ex + (p.y - StarCentre.y) * ey) / (ex * ex + ey * ey);
    if (along < 0 || along > 1) return 0;
    const double across = std::hypot(p.x - StarCentre.x - along * ex, p.y - StarCentre.y - along * ey);
    const double width = TrailWidth * (1 - along);
    if (across > width) return 0;
    // It fades in over its first stretch, so that where it starts behind the
    // star no edge shows between the arms.
    const double fade_in = std::min(along / TrailFadeIn, 1.0);
    return TrailStrength * fade_in * (1 - along) * std::sqrt(1 - across / width);
}

// The scene's colour at p, which lies on the tile.
Colour SceneColour(Point p, int32_t size) {
    Colour c = Mix(SkyTop, SkyBottom, std::clamp((p.y - TileInset) / (1 - 2 * TileInset), 0.0, 1.0));
    if (size >= TwinkleMinSize)
        for (const Twinkle& t : Twinkles)
            if (InStar(p, t.centre, t.radius, t.radius * TwinkleWaist, 4, 0.0)) c = TwinkleColour;

    const double star_distance = std::hypot(p.x - StarCentre.x, p.y - StarCentre.y);
    c = Mix(c, GlowColour, GlowStrength * std::exp(-std::pow(star_distance / GlowSpread, 2)));
    c = Mix(c, TrailColour, TrailCover(p));

    if (TileDistance(p) > -RimWidth) c = Mix(c, Rim, RimStrength);

    // The hill runs out to the tile's edge, under the rim.
    const double hill = std::hypot(p.x - HillCentre.x, p.y - HillCentre.y);
    if (hill <= HillRadius) c = hill > HillRadius - GrassDepth ? Grass : Soil;

    if (InStar(p, StarCentre, StarOuter, StarInner, StarPoints, StarTurn)) c = StarShade(p);
    return c;
}

uint32_t ToByte(double v) {
    return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

} // namespace

void DrawIcon(uint32_t* pixels, int32_t size) {
    for (int32_t y = 0; y < size; y++) {
        for (int32_t x = 0; x < size; x++) {
            // Straight alpha: the colour is the mean over the samples on the
            // tile, the alpha the share of them that are.
            Colour sum = {0, 0, 0};
            int covered = 0;
            for (int sy = 0; sy < SamplesPerAxis; sy++) {
                for (int sx = 0; sx < SamplesPerAxis; sx++) {
                    const Point p = {(x + (sx + 0.5) / SamplesPerAxis) / size,
                                     (y + (sy + 0.5) / SamplesPerAxis) / size};
                    if (TileDistance(p) > 0) continue;
                    const Colour c = SceneColour(p, size);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    covered++;
                }
            }
            const double share = double(covered) / (SamplesPerAxis * SamplesPerAxis);
            const double n = covered ? covered : 1;
            pixels[y * size + x] =
                ToByte(share) << 24 | ToByte(sum.r / n) << 16 | ToByte(sum.g / n) << 8 | ToByte(sum.b / n);
        }
    }
}

void SetWindowIcon(SDL_Window* window) {
    DrawIcon(WindowIconPixels, WindowIconSize);
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(WindowIconPixels, WindowIconSize, WindowIconSize,
                                                           32, WindowIconSize * 4, SDL_PIXELFORMAT_ARGB8888);
    // Without a surface the window only keeps the desktop's default icon:
    // not worth stopping the game for.
    if (!icon) return;
    // The window keeps a copy of its own.
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}
