// The overlay font: the glyphs whose bytes are fixed, the blank codes, and the
// spacing that text set cell by cell relies on.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>

#include "overlay/toolkit.h"

namespace {

using Rows = std::array<uint8_t, 8>;

Rows rows_of(int code) {
    Rows rows;
    std::memcpy(rows.data(), OverlayFont[code - 32], 8);
    return rows;
}

bool blank_code(int code) {
    return code == 32 || code == 64 || (code >= 97 && code <= 119) || (code >= 121 && code <= 126) ||
           (code >= 128 && code <= 157);
}

} // namespace

TEST(OverlayFont, FixedGlyphsAndBlankCodes) {
    EXPECT_EQ(rows_of('A'), (Rows{0x38, 0x6C, 0xC6, 0xC6, 0xFE, 0xC6, 0xC6, 0x00}));
    EXPECT_EQ(rows_of('x'), (Rows{0x00, 0x00, 0xC6, 0x6C, 0x38, 0x6C, 0xC6, 0x00}));
    EXPECT_EQ(rows_of(96), (Rows{0x64, 0xFC, 0x98, 0, 0, 0, 0, 0}));
    EXPECT_EQ(rows_of(127), (Rows{0x64, 0xFC, 0x98, 0, 0, 0, 0, 0}));
    EXPECT_EQ(rows_of(158), (Rows{0xFE, 0x82, 0x82, 0x82, 0x82, 0x82, 0xFE, 0x00}));
    EXPECT_EQ(rows_of(159), (Rows{0xFE, 0x82, 0xBA, 0xBA, 0xBA, 0x82, 0xFE, 0x00}));
    for (int code = 32; code < 160; ++code) {
        for (int i = 8; i < 16; ++i)
            ASSERT_EQ(OverlayFont[code - 32][i], 0) << "code " << code << " byte " << i;
        if (blank_code(code)) {
            EXPECT_EQ(rows_of(code), Rows{}) << "code " << code;
        }
    }
}

TEST(OverlayFont, TextGlyphsAreDrawnDistinctAndSpaced) {
    std::map<Rows, int> seen;
    for (int code = 33; code <= 95; ++code) {
        if (code == 64) continue;
        Rows rows = rows_of(code);
        EXPECT_NE(rows, Rows{}) << "code " << code << " is blank";
        auto [it, fresh] = seen.emplace(rows, code);
        EXPECT_TRUE(fresh) << "codes " << it->second << " and " << code << " look alike";
        // The last column and row of the cell are the gap to the next
        // character and line.
        bool wide = code == '*' || code == '_';
        for (int row = 0; row < 8 && !wide; ++row) {
            EXPECT_EQ(rows[row] & 1, 0) << "code " << code << " reaches the last column";
        }
        if (code != ',') {
            EXPECT_EQ(rows[7], 0) << "code " << code << " reaches the last row";
        }
    }
    EXPECT_NE(rows_of('*')[3] & 1, 0);
    EXPECT_NE(rows_of('_')[6] & 1, 0);
    EXPECT_NE(rows_of(',')[7], 0);
}
