// Where the picture lands in the window, where the mouse lands in the
// picture, and the window-mode state behind the video choices.
#include <gtest/gtest.h>

#include "host/host.h"
#include "host/present.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"

namespace {

struct Point {
    int32_t column;
    int32_t row;
};

Point ToPicture(int32_t w, int32_t h, int32_t x, int32_t y) {
    Point p;
    WindowToPicture(w, h, x, y, &p.column, &p.row);
    return p;
}

TEST(Geometry, PictureFillsTheHeightWithItsShapeKept) {
    const PictureRect scale3 = PictureRectFor(768, 672);
    EXPECT_EQ(scale3.width, 768);
    EXPECT_EQ(scale3.left, 0);

    const PictureRect desktop = PictureRectFor(1920, 1080);
    EXPECT_EQ(desktop.width, 1234);
    EXPECT_EQ(desktop.left, 343);

    // Narrower than 8:7: cut equally at both sides.
    const PictureRect narrow = PictureRectFor(500, 672);
    EXPECT_EQ(narrow.width, 768);
    EXPECT_EQ(narrow.left, -134);
    EXPECT_EQ(PictureRectFor(501, 672).left, -133) << "an odd cut leaves its odd pixel at the right";

    EXPECT_EQ(PictureRectFor(640, 0).width, 0);
}

TEST(Geometry, MouseLandsOnPictureColumnsAndRows) {
    Point p = ToPicture(768, 672, 0, 0);
    EXPECT_EQ(p.column, 0);
    EXPECT_EQ(p.row, 0);
    p = ToPicture(768, 672, 767, 671);
    EXPECT_EQ(p.column, 255);
    EXPECT_EQ(p.row, 223);
    p = ToPicture(768, 672, 384, 336);
    EXPECT_EQ(p.column, 128);
    EXPECT_EQ(p.row, 112);

    p = ToPicture(1920, 1080, 343, 1079);
    EXPECT_EQ(p.column, 0);
    EXPECT_EQ(p.row, 223);
    // Just left of the picture truncates toward zero, to column 0; further
    // left goes negative and hits nothing.
    EXPECT_EQ(ToPicture(1920, 1080, 342, 0).column, 0);
    EXPECT_EQ(ToPicture(1920, 1080, 338, 0).column, -1);
    EXPECT_EQ(ToPicture(1920, 1080, 1577, 0).column, 256);

    p = ToPicture(500, 672, 0, 0);
    EXPECT_EQ(p.column, 44);

    // A window without height has no picture: nowhere, not a division by 0.
    p = ToPicture(768, 0, 10, 10);
    EXPECT_EQ(p.column, -1);
    EXPECT_EQ(p.row, -1);
    p = ToPicture(0, 0, 0, 0);
    EXPECT_EQ(p.column, -1);
    EXPECT_EQ(p.row, -1);
}

// Without a window the host calls only fail quietly; the state is what
// matters here.
class WindowModes : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetHostState();
        ApplyDefaultSettings();
        for (int i = 0; i < 5; i++) {
            Host.VideoChoiceItems[i] = 11 + i;
            Overlay.Items[11 + i].Selected = false;
        }
    }
    static int Marked() {
        int marked = 0;
        for (int i = 0; i < 5; i++)
            if (Overlay.Items[11 + i].Selected) marked |= 1 << i;
        return marked;
    }
};

TEST_F(WindowModes, ChoicesFollowTheMode) {
    for (int32_t scale = 1; scale <= 4; scale++) {
        SetScale(scale);
        EXPECT_EQ(Marked(), 1 << (scale - 1)) << scale;
    }
    SetFullscreen(true);
    EXPECT_FALSE(Config.Windowed);
    EXPECT_EQ(Marked(), 1 << 4);
    EXPECT_EQ(Config.Scale, 4) << "kept as the size to come back to";
    SetFullscreen(false);
    EXPECT_TRUE(Config.Windowed);
    EXPECT_EQ(Marked(), 1 << 3);

    // A scale from the settings file outside 1..4 marks nothing while
    // windowed; 0 included, which is not full screen.
    Config.Scale = 7;
    SyncVideoChoices();
    EXPECT_EQ(Marked(), 0);
    Config.Scale = 0;
    SyncVideoChoices();
    EXPECT_EQ(Marked(), 0);
    Config.Scale = 1 << 30;
    SetFullscreen(false);
    EXPECT_EQ(Marked(), 0);

    // Choice items the menu never recorded are left alone.
    Host.VideoChoiceItems[0] = -1;
    Host.VideoChoiceItems[1] = OverlaySlots;
    SetScale(1);
    EXPECT_EQ(Marked(), 0);
}

TEST_F(WindowModes, AQuitRequestLeavesFullScreenAndEndsACapture) {
    SetFullscreen(true);
    Host.CapturePending = true;
    Host.CaptureItem = 9;
    Overlay.Items[9].Selected = true;
    Overlay.Interactive = false;
    RequestClose();
    EXPECT_TRUE(Host.CloseRequested);
    EXPECT_TRUE(Config.Windowed);
    EXPECT_EQ(Marked(), 1 << 2);
    EXPECT_FALSE(Host.CapturePending);
    EXPECT_FALSE(Overlay.Items[9].Selected);
    EXPECT_TRUE(Overlay.Interactive);
}

} // namespace
