// The widget toolkit on its own: the panel tint, glyph clipping, item drawing
// and the pointer, on a picture buffer owned by the test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "overlay/toolkit.h"

namespace {

constexpr int W = 256;
constexpr int H = 224;
constexpr int Rows = 240; // the Canvas has more rows than the overlay may draw on
constexpr uint32_t Backdrop = 0x00123456;
constexpr uint32_t Fence = 0xDEADBEEF;

// A picture of Rows rows with fence rows above and below it, so that any store
// past the drawable area lands where the test can see it.
struct Picture {
    std::vector<uint32_t> buffer = std::vector<uint32_t>((Rows + 2) * W, Fence);
    uint32_t* pixels() { return buffer.data() + W; }
    uint32_t& at(int x, int y) { return pixels()[y * W + x]; }
    void fill(uint32_t colour) { std::fill(pixels(), pixels() + Rows * W, colour); }
    bool fences_intact() const {
        for (int i = 0; i < W; ++i)
            if (buffer[i] != Fence || buffer[(Rows + 1) * W + i] != Fence) return false;
        return true;
    }
};

Picture picture;

void reset_overlay() {
    std::memset(&Overlay, 0, sizeof Overlay);
    picture.buffer.assign((Rows + 2) * W, Fence);
    picture.fill(Backdrop);
    Overlay.Pixels = picture.pixels();
    Overlay.Width = W;
    Overlay.Height = H;
}

// Pixels that glyph `code` sets, as (column, row) pairs within its cell,
// straight from the font bytes.
bool glyph_bit(int code, int column, int row) {
    return (OverlayFont[code - 32][row] >> (7 - column)) & 1;
}

// Counts activations and answers name queries with a fixed name.
std::vector<int32_t> activations;
const char* answered_name = "LONGNAME";
void recording_callback(int32_t value) {
    if (value & NameQuery) {
        std::strcpy(Overlay.NameBuffer, answered_name);
        return;
    }
    activations.push_back(value);
}

} // namespace

TEST(OverlayTint, DarkensToBlueByBrightness) {
    reset_overlay();
    picture.at(0, 0) = 0x000000;
    picture.at(1, 0) = 0xFFFFFF;
    picture.at(2, 0) = 0x808080;
    picture.at(3, 0) = 0xFF000000; // the top byte is not kept
    Overlay.PanelWidth = 4;
    Overlay.PanelHeight = 1;
    DrawOverlay();
    EXPECT_EQ(picture.at(0, 0), 0x401010u);
    EXPECT_EQ(picture.at(1, 0), 0xFE1717u);
    EXPECT_EQ(picture.at(2, 0), 0x9F1313u);
    EXPECT_EQ(picture.at(3, 0), 0x401010u);
    EXPECT_EQ(picture.at(4, 0), Backdrop);
    EXPECT_EQ(picture.at(0, 1), Backdrop);
}

TEST(OverlayTint, PanelRangesAreClampedAndEmptyRangesTintNothing) {
    // Sliding up out of sight: the bottom edge passes the top one.
    for (int32_t offset : {-160, -200}) {
        reset_overlay();
        Overlay.PanelWidth = 256;
        Overlay.PanelHeight = 160;
        Overlay.OffsetY = offset;
        DrawOverlay();
        for (uint32_t pixel : picture.buffer)
            ASSERT_TRUE(pixel == Backdrop || pixel == Fence);
    }

    // Partly slid: only the rows still inside are tinted, from row 0.
    reset_overlay();
    Overlay.PanelWidth = 256;
    Overlay.PanelHeight = 160;
    Overlay.OffsetY = -152;
    Overlay.OffsetX = -10;
    DrawOverlay();
    EXPECT_NE(picture.at(0, 0), Backdrop);
    EXPECT_NE(picture.at(245, 7), Backdrop);
    EXPECT_EQ(picture.at(246, 7), Backdrop);
    EXPECT_EQ(picture.at(0, 8), Backdrop);

    // A panel reaching past the drawable area stays inside it and never wraps
    // into the next row.
    reset_overlay();
    Overlay.PanelX = 200;
    Overlay.PanelY = 200;
    Overlay.PanelWidth = 100;
    Overlay.PanelHeight = 100;
    DrawOverlay();
    EXPECT_NE(picture.at(255, 223), Backdrop);
    EXPECT_EQ(picture.at(0, 201), Backdrop);
    EXPECT_EQ(picture.at(200, 224), Backdrop);
    EXPECT_TRUE(picture.fences_intact());
}

TEST(OverlayDraw, SlidOutOverlayChangesNoPixel) {
    reset_overlay();
    for (int i = 0; i < Rows * W; ++i)
        picture.pixels()[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    std::vector<uint32_t> before = picture.buffer;
    Overlay.PanelWidth = 256;
    Overlay.PanelHeight = 160;
    Overlay.OffsetY = -160;
    // Items anywhere the menu puts them, down to the lowest row it uses.
    AddItem("HALVENOR CONFIG", KindLabel, 20, 20, 0x80FF80, nullptr);
    int32_t row = AddItem("     A:", KindBinding, 20, 116, 0xFFFFFF, recording_callback);
    int32_t full = AddItem("FULL", KindChoice, 192, 132, 0xFFFFFF, recording_callback);
    Overlay.Items[row].Selected = true;
    Overlay.Items[full].Selected = true;
    for (int pass = 0; pass < 16; ++pass)
        DrawOverlay();
    EXPECT_TRUE(picture.buffer == before);
}

TEST(OverlayGlyph, ClipsAtEveryEdge) {
    const int a = 'A';
    struct Place {
        int x, y;
    };
    for (Place place : {Place{-3, 10}, Place{252, 10}, Place{100, -5}, Place{100, H - 3}, Place{-7, -7},
                        Place{255, 223}, Place{-8, 10}, Place{256, 10}, Place{100, H}}) {
        reset_overlay();
        DrawGlyph(a - 32, place.x, place.y, 0xFFFFFF);
        for (int y = 0; y < Rows; ++y) {
            for (int x = 0; x < W; ++x) {
                int column = x - place.x, row = y - place.y;
                bool inside = y < H && column >= 0 && column < 8 && row >= 0 && row < 8;
                bool lit = inside && glyph_bit(a, column, row);
                ASSERT_EQ(picture.at(x, y), lit ? 0xFFFFFFu : Backdrop)
                    << "glyph at " << place.x << "," << place.y << " pixel " << x << "," << y;
            }
        }
        EXPECT_TRUE(picture.fences_intact());
    }
}

TEST(OverlayDraw, ItemRowsFrom224OnAreCut) {
    // Item row y lands on picture row y + 8: row 215 keeps only its top glyph
    // row (row 223), row 216 and below nothing, though the buffer goes on.
    reset_overlay();
    AddItem("EEEE", KindLabel, 0, 215, 0xFFFFFF, nullptr);
    AddItem("EEEE", KindLabel, 100, 216, 0xFFFFFF, nullptr);
    DrawOverlay();
    EXPECT_EQ(picture.at(0, 223), 0xFFFFFFu); // top bar of the E
    for (int y = 224; y < Rows; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_EQ(picture.at(x, y), Backdrop) << x << "," << y;
    for (int x = 100; x < 140; ++x)
        EXPECT_EQ(picture.at(x, 223), Backdrop);
    EXPECT_TRUE(picture.fences_intact());
}

TEST(OverlayDraw, LabelsCarryShadowsAndLeaveGapsForUndrawnCodes) {
    reset_overlay();
    AddItem("A\xC1"
            "A",
            KindLabel, 10, 0, 0x00FF00, nullptr);
    DrawOverlay();
    // Row 0 of "A" is 00111000: columns 2-4 lit, its shadow one down and right.
    EXPECT_EQ(picture.at(12, 8), 0x00FF00u);
    EXPECT_EQ(picture.at(13, 9), 0x000000u);
    // The middle cell stays untouched.
    for (int y = 8; y < 16; ++y)
        for (int x = 18; x < 26; ++x)
            ASSERT_EQ(picture.at(x, y), Backdrop) << x << "," << y;
    // The third letter stands two cells on.
    EXPECT_EQ(picture.at(28, 8), 0x00FF00u);

    // Code 127, the last the font draws, is text too: its wave starts at column 1.
    AddItem("\x7F", KindLabel, 10, 20, 0x00FF00, nullptr);
    DrawOverlay();
    EXPECT_EQ(picture.at(11, 28), 0x00FF00u);
}

TEST(OverlayDraw, HoverWarmsOnlyItemsThatAct) {
    reset_overlay();
    int32_t label = AddItem("E", KindLabel, 0, 0, 0xFFFFFF, nullptr);
    int32_t choice = AddItem("E", KindChoice, 0, 20, 0xFFFFFF, recording_callback);
    int32_t binding = AddItem("E", KindBinding, 0, 40, 0x204060, recording_callback);
    int32_t edge = AddItem("E", KindLabel, 0, 60, 0x610000, recording_callback);
    for (int32_t slot : {label, choice, binding, edge})
        Overlay.Items[slot].Hover = true;
    DrawOverlay();
    EXPECT_EQ(picture.at(0, 68), 0x012020u); // blue 97 keeps 1
    EXPECT_EQ(picture.at(0, 8), 0xFFFFFFu);  // label: unchanged
    EXPECT_EQ(picture.at(8, 28), 0x9FFFFFu); // choice: the E after its marker
    EXPECT_EQ(picture.at(0, 28), 0x9FFFFFu); // and its marker
    EXPECT_EQ(picture.at(0, 48), 0x006080u); // blue cannot drop below 0
    EXPECT_EQ(picture.at(2, 49), 0x000000u); // the shadow stays black
}

TEST(OverlayDraw, ChoiceMarkersAndBindingFields) {
    reset_overlay();
    AddItem("X", KindChoice, 0, 0, 0xFFFFFF, recording_callback);
    int32_t on = AddItem("X", KindChoice, 30, 0, 0xFFFFFF, recording_callback);
    int32_t binding = AddItem("B:", KindBinding, 0, 20, 0xFFFFFF, recording_callback);
    Overlay.Items[on].Selected = true;
    answered_name = "E";
    DrawOverlay();
    // Both boxes have the same frame; only the chosen one is filled (row 3 of
    // the box: 10000010 against 10111010).
    EXPECT_EQ(picture.at(0, 8), 0xFFFFFFu);
    EXPECT_EQ(picture.at(30, 8), 0xFFFFFFu);
    EXPECT_EQ(picture.at(3, 11), Backdrop);
    EXPECT_EQ(picture.at(33, 11), 0xFFFFFFu);
    EXPECT_EQ(picture.at(7, 9), 0x000000u) << "the box's shadow";
    // The binding's name follows its label: "E" at column 16 (top bar lit).
    EXPECT_EQ(picture.at(16, 28), 0xFFFFFFu);

    // While captured, the prompt blinks: shown for 8 draws, hidden for 8.
    Overlay.Items[binding].Selected = true;
    std::string shown;
    Overlay.BlinkCounter = 0;
    for (int pass = 0; pass < 32; ++pass) {
        picture.fill(Backdrop);
        DrawOverlay();
        // The "?" top bar (row 0) is lit in the first cell after the label.
        shown += picture.at(18, 28) == 0xFFFFFFu ? '#' : '.';
        EXPECT_NE(picture.at(16, 28), 0xFFFFFFu) << "no name while capturing";
    }
    EXPECT_EQ(shown, "........########........########");
    EXPECT_EQ(Overlay.BlinkCounter, 32);
    answered_name = "LONGNAME";
}

TEST(OverlayPointer, HoverMarksFollowThePointerInsideThePicture) {
    reset_overlay();
    activations.clear();
    int32_t label = AddItem("HEAD", KindLabel, 10, 10, 0xFFFFFF, nullptr);
    int32_t choice = AddItem("2x", KindChoice, 100, 10, 0xFFFFFF, recording_callback);
    // "2x" with its marker is 24 wide, from its first column on.
    PointAt(100, 10, 0);
    EXPECT_TRUE(Overlay.Items[choice].Hover);
    PointAt(99, 10, 0);
    EXPECT_FALSE(Overlay.Items[choice].Hover);
    PointAt(123, 17, 0);
    EXPECT_TRUE(Overlay.Items[choice].Hover);
    EXPECT_FALSE(Overlay.Items[label].Hover);
    // Off the picture in every direction: the marks stay.
    for (auto [x, y] : {std::pair{-1, 12}, std::pair{256, 12}, std::pair{120, -1}, std::pair{120, 224}}) {
        PointAt(x, y, 1);
        EXPECT_TRUE(Overlay.Items[choice].Hover) << x << "," << y;
    }
    EXPECT_TRUE(activations.empty());
    // Just past the item, or below it: every mark is cleared.
    PointAt(124, 12, 0);
    EXPECT_FALSE(Overlay.Items[choice].Hover);
    PointAt(12, 12, 0);
    EXPECT_TRUE(Overlay.Items[label].Hover);
    PointAt(12, 18, 0);
    EXPECT_FALSE(Overlay.Items[label].Hover);
}

TEST(OverlayPointer, ClickCountsActByKind) {
    reset_overlay();
    activations.clear();
    int32_t choice = AddItem("1x", KindChoice, 0, 0, 0xFFFFFF, recording_callback);
    int32_t binding = AddItem("A:", KindBinding, 0, 20, 0xFFFFFF, recording_callback);
    int32_t label = AddItem("L", KindLabel, 0, 40, 0xFFFFFF, recording_callback);
    struct Case {
        int32_t slot, y, clicks;
        bool acts;
    };
    for (Case c : {Case{choice, 0, 0, false}, Case{choice, 0, 1, true}, Case{choice, 0, 2, false},
                   Case{choice, 0, 3, false}, Case{binding, 20, 0, false}, Case{binding, 20, 1, false},
                   Case{binding, 20, 2, true}, Case{binding, 20, 3, false}, Case{label, 40, 1, false},
                   Case{label, 40, 2, false}}) {
        activations.clear();
        Overlay.Items[c.slot].Hover = false;
        PointAt(2, c.y + 3, c.clicks);
        EXPECT_EQ(activations, c.acts ? std::vector<int32_t>{c.slot} : std::vector<int32_t>{})
            << "slot " << c.slot << " clicks " << c.clicks;
        EXPECT_TRUE(Overlay.Items[c.slot].Hover);
    }
}

// Items without a callback are drawn and hovered like the others, but
// nothing is asked of them: no name, no activation.
TEST(OverlayDraw, ItemsFollowTheSideOffsetAndMayHaveNoCallback) {
    reset_overlay();
    Overlay.OffsetX = 40;
    AddItem("E", KindLabel, 10, 0, 0xFFFFFF, nullptr);
    int32_t choice = AddItem("E", KindChoice, 10, 20, 0xFFFFFF, nullptr);
    int32_t binding = AddItem("E", KindBinding, 10, 40, 0xFFFFFF, nullptr);
    DrawOverlay();
    EXPECT_EQ(picture.at(50, 8), 0xFFFFFFu);
    EXPECT_EQ(picture.at(10, 8), Backdrop);
    EXPECT_EQ(picture.at(58, 28), 0xFFFFFFu); // the E after the marker
    EXPECT_EQ(picture.at(50, 48), 0xFFFFFFu);
    EXPECT_EQ(picture.at(58, 48), Backdrop) << "no name follows";

    PointAt(10, 20, 1);
    EXPECT_TRUE(Overlay.Items[choice].Hover);
    PointAt(10, 40, 2);
    EXPECT_TRUE(Overlay.Items[binding].Hover);
}

TEST(OverlayPointer, BindingFieldWidthFollowsItsNameOrPrompt) {
    reset_overlay();
    activations.clear();
    int32_t binding = AddItem("  A:", KindBinding, 0, 0, 0xFFFFFF, recording_callback);
    // Label 4 cells plus the name "LONGNAME", 8 cells.
    answered_name = "LONGNAME";
    PointAt(95, 0, 0);
    EXPECT_TRUE(Overlay.Items[binding].Hover);
    PointAt(96, 0, 0);
    EXPECT_FALSE(Overlay.Items[binding].Hover);
    answered_name = "K";
    PointAt(39, 0, 0);
    EXPECT_TRUE(Overlay.Items[binding].Hover);
    PointAt(40, 0, 0);
    EXPECT_FALSE(Overlay.Items[binding].Hover);
    // While capturing, the three-cell prompt counts instead of the name.
    Overlay.Items[binding].Selected = true;
    answered_name = "LONGNAME";
    PointAt(55, 0, 0);
    EXPECT_TRUE(Overlay.Items[binding].Hover);
    PointAt(56, 0, 0);
    EXPECT_FALSE(Overlay.Items[binding].Hover);
    EXPECT_TRUE(activations.empty());
}

TEST(OverlayItems, TableFillsInOrderAndLabelsAreCut) {
    reset_overlay();
    std::string long_label(300, 'Q');
    EXPECT_EQ(AddItem(long_label.c_str(), KindLabel, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(std::strlen(Overlay.Items[0].Label), 129u);
    for (int32_t slot = 1; slot < OverlaySlots; ++slot)
        ASSERT_EQ(AddItem("X", KindLabel, slot, 0, 0, nullptr), slot);
    static OverlayState before;
    std::memcpy(&before, &Overlay, sizeof Overlay);
    EXPECT_EQ(AddItem("Y", KindChoice, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(std::memcmp(&before, &Overlay, sizeof Overlay), 0);
    // A freed slot is taken again, with its marks cleared.
    Overlay.Items[5].Kind = KindFree;
    Overlay.Items[5].Selected = Overlay.Items[5].Hover = true;
    EXPECT_EQ(AddItem("Z", KindChoice, 7, 8, 0x123, nullptr), 5);
    EXPECT_FALSE(Overlay.Items[5].Selected || Overlay.Items[5].Hover);
    EXPECT_STREQ(Overlay.Items[5].Label, "Z");
}
