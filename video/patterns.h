// Pattern rows spread over the eight pixels they cover, so that a row of a
// tile is drawn at once: one pattern value (0..3) per byte, the leftmost
// pixel in the lowest byte. Used by the background and the sprite layer.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "pattern rows are spread into little-endian words");

constexpr uint64_t PatternByteOnes = 0x0101010101010101ull;

// Byte i of entry b is bit 7 - i of b, or bit i when `mirrored`: one plane
// spread over eight pixels.
constexpr std::array<uint64_t, 256> pattern_spread_planes(bool mirrored) {
    std::array<uint64_t, 256> bits{};
    for (int b = 0; b < 256; b++)
        for (int i = 0; i < 8; i++)
            bits[size_t(b)] |= uint64_t((b >> (mirrored ? i : 7 - i)) & 1) << (8 * i);
    return bits;
}
inline constexpr std::array<uint64_t, 256> pattern_spread = pattern_spread_planes(false);
inline constexpr std::array<uint64_t, 256> pattern_spread_mirrored = pattern_spread_planes(true);

// The eight pattern values of a row from its two planes, mirrored for a
// sprite flipped horizontally.
inline uint64_t pattern_row_values(uint8_t low, uint8_t high, bool mirrored) {
    const std::array<uint64_t, 256>& spread = mirrored ? pattern_spread_mirrored : pattern_spread;
    return spread[low] | spread[high] << 1;
}

// 0x01 in each byte whose value is not 0: the row's opaque pixels.
inline uint64_t pattern_opaque_bytes(uint64_t values) {
    return (values | values >> 1) & PatternByteOnes;
}
