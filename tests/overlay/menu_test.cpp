// The configuration menu with the front-end around it: the items it builds,
// the names its rows show, binding capture and its cancellation, and the
// video choices. A hidden window on the host library's dummy video driver
// stands in for the player's window.
#include <gtest/gtest.h>

#include <SDL.h>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/host.h"
#include "host/input.h"
#include "host/loop.h"
#include "host/present.h"
#include "overlay/menu.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"

namespace {

constexpr int32_t UpRow = 2, ARow = 9; // slots of the first and last binding rows
constexpr int32_t Choice1x = 11, Choice2x = 12, Choice3x = 13, ChoiceFull = 15;
constexpr uint8_t ScancodeK = 14, ScancodeX = 27, ScancodeEscape = 41;

SDL_Window* window = nullptr;
std::array<uint8_t, 512> keys{};

class Menu : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("menu test", 0, 0, 768, 672, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
    }
    static void TearDownTestSuite() {
        SDL_DestroyWindow(window);
        SDL_Quit();
    }
    void SetUp() override {
        ResetHostState();
        Host.Window = window;
        ApplyDefaultSettings();
        keys.fill(0);
        KeyboardState = keys.data();
        BuildMenu();
        SyncVideoChoices();
        Host.OverlayOpen = true;
        Overlay.Interactive = true;
    }
};

// The five choice marks, "1" for each marked one, 1x first.
std::string marks() {
    std::string text;
    for (int32_t item : Host.VideoChoiceItems)
        text += Overlay.Items[item].Selected ? '1' : '0';
    return text;
}

std::string name_of_row(int32_t slot) {
    std::strcpy(Overlay.NameBuffer, "unchanged");
    OnBindingRow(slot | NameQuery);
    return Overlay.NameBuffer;
}

void press(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    HandleEvent(event);
}

void click(Uint8 button) {
    SDL_Event event{};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.button = button;
    event.button.clicks = 1;
    HandleEvent(event);
}

// A double click in the middle of the A row's label, as the toolkit gets it.
void double_click_a_row() {
    PointAt(30, 118, 1);
    PointAt(30, 118, 2);
}

} // namespace

TEST_F(Menu, BuildsItsSixteenItemsAndShowsBindingsAtColumn76) {
    // Built twice, as a rebuild frees the old items first.
    BuildMenu();
    int32_t used = 0;
    for (const OverlayItem& item : Overlay.Items)
        used += item.Kind != KindFree;
    EXPECT_EQ(used, 16);
    EXPECT_EQ(Overlay.Items[15].Kind, KindChoice);
    EXPECT_STREQ(Overlay.Items[0].Label, "HALVENOR CONFIG");
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(Host.BindingRowItems[row], UpRow + row);
    for (int choice = 0; choice < 5; ++choice)
        EXPECT_EQ(Host.VideoChoiceItems[choice], Choice1x + choice);
    EXPECT_EQ(Overlay.Pixels, Canvas);
    EXPECT_EQ(Overlay.Height, 224);
    EXPECT_FALSE(Overlay.Interactive);

    // Fully shown over a black picture, the A row reads "X" from column 76,
    // picture row 116 (Canvas row 124), in white.
    std::memset(Canvas, 0, sizeof Canvas);
    DrawOverlay();
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < 8; ++column) {
            bool lit = (OverlayFont['X' - 32][row] >> (7 - column)) & 1;
            EXPECT_EQ(Canvas[(124 + row) * 256 + 76 + column] == 0xFFFFFFu, lit) << row << "," << column;
        }
    // The panel ends at Canvas row 160.
    EXPECT_EQ(Canvas[159 * 256 + 255], 0x401010u);
    EXPECT_EQ(Canvas[160 * 256 + 255], 0u);
}

TEST_F(Menu, RowsNameTheirOwnBindings) {
    Config.ButtonUp = 0x40000000;    // joystick 0, button 0
    Config.ButtonDown = 0x40010003;  // joystick 1, button 3
    Config.ButtonLeft = 0x80000001;  // joystick 0, axis 1, negative side
    Config.ButtonRight = 0x80018000; // joystick 1, axis 0, positive side
    Config.ButtonSelect = 0;         // scancode 0 has no name
    Config.ButtonStart = 0xC0000000; // never produced
    Config.ButtonB = 0x28;
    Config.ButtonA = ScancodeK;
    const char* expected[8] = {"J0 BUTTON 0", "J1 BUTTON 3", "J0 AXIS 1 -", "J1 AXIS 0 +",
                               "UNKNOWN",     "UNKNOWN",     "RETURN",      "K"};
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(name_of_row(UpRow + row), expected[row]) << "row " << row;
    // Items that are not binding rows leave the buffer alone.
    for (int32_t slot : {0, 1, 10, ChoiceFull, 16, 0x7FFF})
        EXPECT_EQ(name_of_row(slot), "unchanged") << "slot " << slot;
}

TEST_F(Menu, DoubleClickCapturesTheNextInputHeld) {
    // A single click only marks the row.
    PointAt(30, 118, 1);
    EXPECT_TRUE(Overlay.Items[ARow].Hover);
    EXPECT_FALSE(Host.CapturePending);

    // A key already held when the capture starts is the one captured.
    keys[ScancodeK] = 1;
    double_click_a_row();
    EXPECT_TRUE(Host.CapturePending);
    EXPECT_EQ(Host.CaptureItem, ARow);
    EXPECT_TRUE(Overlay.Items[ARow].Selected);
    EXPECT_FALSE(Overlay.Interactive);
    // The field is now the label and the three-cell prompt wide.
    PointAt(99, 118, 0);
    EXPECT_TRUE(Overlay.Items[ARow].Hover);
    PointAt(100, 118, 0);
    EXPECT_FALSE(Overlay.Items[ARow].Hover);

    ReadControls();
    EXPECT_EQ(Config.ButtonA, ScancodeK);
    EXPECT_EQ(Config.ButtonUp, 0x52u);
    EXPECT_FALSE(Host.CapturePending);
    EXPECT_FALSE(Overlay.Items[ARow].Selected);
    EXPECT_TRUE(Overlay.Interactive);
    EXPECT_EQ(name_of_row(ARow), "K");
    EXPECT_FALSE(EndCapture());

    // With nothing held the capture waits, pass after pass.
    keys.fill(0);
    PointAt(30, 62, 2);
    for (int pass = 0; pass < 3; ++pass)
        ReadControls();
    EXPECT_TRUE(Host.CapturePending);
    EXPECT_EQ(Host.CaptureItem, UpRow);
    EXPECT_EQ(Config.ButtonUp, 0x52u);
}

TEST_F(Menu, EscapeRightButtonAndQuitCancelACapture) {
    // Escape: its own key-down event ends the capture before a scan can see
    // the key, and the overlay stays open.
    double_click_a_row();
    press(SDLK_ESCAPE);
    keys[ScancodeEscape] = 1;
    ReadControls();
    EXPECT_FALSE(Host.CapturePending);
    EXPECT_EQ(Config.ButtonA, ScancodeX);
    EXPECT_FALSE(Overlay.Items[ARow].Selected);
    EXPECT_TRUE(Overlay.Interactive);
    EXPECT_TRUE(Host.OverlayOpen);
    // The next Escape closes the overlay.
    press(SDLK_ESCAPE);
    EXPECT_FALSE(Host.OverlayOpen);
    keys.fill(0);

    // The right button likewise, and only the second one closes.
    Host.OverlayOpen = true;
    double_click_a_row();
    click(SDL_BUTTON_RIGHT);
    EXPECT_FALSE(Host.CapturePending);
    EXPECT_TRUE(Host.OverlayOpen);
    EXPECT_TRUE(Overlay.Interactive);
    click(SDL_BUTTON_RIGHT);
    EXPECT_FALSE(Host.OverlayOpen);

    // A quit request ends the capture and asks for confirmation.
    Host.OverlayOpen = true;
    double_click_a_row();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    HandleEvent(quit);
    EXPECT_FALSE(Host.CapturePending);
    EXPECT_FALSE(Overlay.Items[ARow].Selected);
    EXPECT_TRUE(Host.CloseRequested);
    EXPECT_EQ(Config.ButtonA, ScancodeX);
}

TEST_F(Menu, VideoChoicesMarkAndSetTheWindowMode) {
    EXPECT_EQ(marks(), "00100");
    for (int32_t scale : {0, 5, 7, -1}) {
        Config.Scale = scale;
        SyncVideoChoices();
        EXPECT_EQ(marks(), "00000") << "scale " << scale;
    }

    // Outside 1..4, choosing a scale sets it.
    PointAt(Overlay.Items[Choice2x].X + 3, 134, 1);
    EXPECT_EQ(Config.Scale, 2);
    EXPECT_TRUE(Config.Windowed);
    EXPECT_EQ(marks(), "01000");
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 448);

    // The current scale while windowed does nothing at all: a window of any
    // other size keeps it.
    SDL_SetWindowSize(window, 300, 200);
    OnVideoChoice(Choice2x);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);

    // FULL, also when already in full screen.
    for (int pass = 0; pass < 2; ++pass) {
        OnVideoChoice(ChoiceFull);
        EXPECT_FALSE(Config.Windowed);
        EXPECT_EQ(Config.Scale, 2);
        EXPECT_EQ(marks(), "00001");
    }

    // The current scale from full screen only leaves it.
    OnVideoChoice(Choice2x);
    EXPECT_TRUE(Config.Windowed);
    EXPECT_EQ(Config.Scale, 2);
    EXPECT_EQ(marks(), "01000");

    // Another scale from full screen: windowed at that scale.
    OnVideoChoice(ChoiceFull);
    OnVideoChoice(Choice3x);
    EXPECT_TRUE(Config.Windowed);
    EXPECT_EQ(Config.Scale, 3);
    EXPECT_EQ(marks(), "00100");
}

// Each scale choice, from a window at every other scale and from full screen
// at every scale, leaves a window of that scale with only its own mark; FULL
// from every scale keeps the scale to come back to.
TEST_F(Menu, EveryChoiceGivesItsOwnModeFromEveryOther) {
    const char* const own_marks[] = {"10000", "01000", "00100", "00010"};
    for (int32_t chosen = 1; chosen <= 4; ++chosen)
        for (int32_t from = 1; from <= 4; ++from)
            for (bool full : {false, true}) {
                if (!full && from == chosen) continue; // does nothing at all, as above
                SetScale(from);
                if (full) SetFullscreen(true);
                OnVideoChoice(Choice1x + chosen - 1);
                SCOPED_TRACE(testing::Message()
                             << chosen << "x from " << (full ? "full screen at " : "") << from << "x");
                EXPECT_TRUE(Config.Windowed);
                EXPECT_EQ(Config.Scale, chosen);
                EXPECT_EQ(marks(), own_marks[chosen - 1]);
                int w = 0, h = 0;
                SDL_GetWindowSize(window, &w, &h);
                EXPECT_EQ(w, 256 * chosen);
                EXPECT_EQ(h, 224 * chosen);
            }
    for (int32_t from = 1; from <= 4; ++from) {
        SetScale(from);
        OnVideoChoice(ChoiceFull);
        EXPECT_FALSE(Config.Windowed) << from;
        EXPECT_EQ(Config.Scale, from);
        EXPECT_EQ(marks(), "00001") << from;
    }
}

// A scale from the settings file so large, either way, that scale x 256
// and scale x 224 wrap round 32 bits to 256 x 224: held at the ends of the
// range instead, it never asks for a window of scale 1.
TEST_F(Menu, AScaleFromTheFileNeverWrapsIntoAWindowSize) {
    for (int32_t scale : {(1 << 27) + 1, -(1 << 27) + 1}) {
        SetScale(2);
        SetScale(scale);
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        EXPECT_FALSE(w == 256 && h == 224) << "scale " << scale;
    }
}
