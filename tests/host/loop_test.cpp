// The main loop: the frame clock, the pass stretch, the event table, and
// whole passes over a real (off-screen) window with a game that counts its
// frames.
#include <SDL.h>
#include <cstring>
#include <gtest/gtest.h>

#include "core/machine.h"
#include "host/host.h"
#include "host/loop.h"
#include "host/present.h"
#include "overlay/menu.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"
#include "support/cartridge.h"

namespace {

constexpr uint64_t Frequency = 1000000; // counter ticks per second in the clock tests

TEST(FrameClock, RunsWholeFramesAtSixtyASecondAndDropsLongStalls) {
    FrameClock clock = {0.0, 1000};
    EXPECT_EQ(FrameClockAdvance(&clock, 1000, Frequency), 0);
    EXPECT_EQ(FrameClockAdvance(&clock, 1000 + Frequency / 120, Frequency), 0) << "half a frame";
    EXPECT_EQ(FrameClockAdvance(&clock, 1000 + Frequency / 60 + 10, Frequency), 1) << "the halves add up";
    EXPECT_EQ(clock.previous, 1000 + Frequency / 60 + 10);

    // One second of wall clock in passes of a 144 Hz display: 60 frames.
    clock = {0.0, 0};
    int32_t frames = 0;
    for (uint64_t pass = 1; pass <= 144; pass++)
        frames += FrameClockAdvance(&clock, pass * Frequency / 144, Frequency);
    EXPECT_EQ(frames, 60);

    // A stall of ten seconds: five frames, and the rest is dropped rather
    // than played as a burst later.
    clock = {0.0, 0};
    EXPECT_EQ(FrameClockAdvance(&clock, 10 * Frequency, Frequency), 5);
    EXPECT_LT(clock.accumulator, 1.0);
    EXPECT_EQ(FrameClockAdvance(&clock, 10 * Frequency + Frequency / 60 + 1, Frequency), 1);

    // A counter that wrapped is a stall like any other.
    clock = {0.0, UINT64_MAX - 5};
    EXPECT_EQ(FrameClockAdvance(&clock, 5, 1), 5);
}

TEST(FrameClock, ShortPassesAreStretchedToTheMinimum) {
    const uint64_t ms = Frequency / 1000;
    EXPECT_EQ(PassDelayMs(0, Frequency), 4u);
    EXPECT_EQ(PassDelayMs(ms, Frequency), 3u);
    EXPECT_EQ(PassDelayMs(3 * ms + ms / 2, Frequency), 1u);
    EXPECT_EQ(PassDelayMs(4 * ms, Frequency), 0u);
    EXPECT_EQ(PassDelayMs(16 * ms, Frequency), 0u) << "a display-paced pass never sleeps";
    // Whatever the pass took, with its sleep it lasts at least 4 ms.
    for (uint64_t ticks = 0; ticks < 5 * ms; ticks += 37)
        EXPECT_GE(double(ticks) / Frequency + PassDelayMs(ticks, Frequency) / 1000.0, MinPassSeconds)
            << ticks;
}

// A game whose NMI handler counts frames at $00.
Image CountingGame() {
    Image image = make_image(1, 1);
    put_program(image, 0xC000, {0xA9, 0x80, 0x8D, 0x00, 0x20, 0x4C, 0x05, 0xC0}); // NMI on; idle
    fixed_byte(image, 0xC100) = 0xE6;                                             // INC $00
    fixed_byte(image, 0xC101) = 0x00;
    fixed_byte(image, 0xC102) = 0x40; // RTI
    set_nmi_vector(image, 0xC100);
    return image;
}

// The host library with its off-screen video driver: a real window, renderer
// and event queue without a display.
class Loop : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ResetHostState();
        Host.Window = SDL_CreateWindow("Halvenor", 0, 0, 768, 672, SDL_WINDOW_HIDDEN);
        ASSERT_NE(Host.Window, nullptr) << SDL_GetError();
        Host.Renderer = SDL_CreateRenderer(Host.Window, -1, SDL_RENDERER_SOFTWARE);
        ASSERT_NE(Host.Renderer, nullptr) << SDL_GetError();
        Host.PictureTexture =
            SDL_CreateTexture(Host.Renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET, 256, 224);
        ASSERT_NE(Host.PictureTexture, nullptr) << SDL_GetError();
    }
    static void TearDownTestSuite() {
        SDL_DestroyTexture(Host.PictureTexture);
        SDL_DestroyRenderer(Host.Renderer);
        SDL_DestroyWindow(Host.Window);
        SDL_Quit();
    }
    void SetUp() override {
        ASSERT_TRUE(load_image(CountingGame()));
        ApplyDefaultSettings();
        Host.OverlayOpen = false;
        Host.OverlaySlide = OverlayHiddenSlide;
        Host.CapturePending = false;
        Host.CloseRequested = false;
        Host.PictureMouseX = Host.PictureMouseY = -1;
        BuildMenu();
        SyncVideoChoices();
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        clock = {0.0, SDL_GetPerformanceCounter()};
    }
    // Makes `seconds` of wall-clock time look past before the next pass.
    void Elapse(double seconds) {
        clock.previous -= uint64_t(seconds * double(SDL_GetPerformanceFrequency()));
    }
    int Frames() const { return machine.ram[0]; }
    static void Key(SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
        SDL_Event event = {};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = sym;
        event.key.keysym.mod = mod;
        HandleEvent(event);
    }
    static void Button(Uint8 button, Uint8 clicks) {
        SDL_Event event = {};
        event.type = SDL_MOUSEBUTTONDOWN;
        event.button.button = button;
        event.button.clicks = clicks;
        HandleEvent(event);
    }
    static void Motion(int32_t x, int32_t y) {
        SDL_Event event = {};
        event.type = SDL_MOUSEMOTION;
        event.motion.x = x;
        event.motion.y = y;
        HandleEvent(event);
    }
    FrameClock clock;
};

TEST_F(Loop, FramesRunWhenDueButNotWhileTheOverlayIsOpen) {
    Elapse(0.1);
    RunLoopPass(&clock); // the game turns its NMI on during these
    const int before = Frames();
    EXPECT_GT(before, 0);

    Elapse(10.0);
    RunLoopPass(&clock);
    EXPECT_EQ(Frames(), before + 5) << "at most five frames in one pass";
    EXPECT_EQ(std::memcmp(Canvas, FrameBuffer, sizeof Canvas), 0) << "the hidden overlay changes no pixel";

    Host.OverlayOpen = true;
    Elapse(10.0);
    RunLoopPass(&clock);
    EXPECT_EQ(Frames(), before + 5) << "no frame while open";
    EXPECT_LT(clock.accumulator, 1.0) << "but the time is used up";

    Host.OverlayOpen = false;
    RunLoopPass(&clock);
    EXPECT_LE(Frames(), before + 6) << "no catch-up burst after closing";
}

TEST_F(Loop, OverlaySlidesEightRowsAPassAndTakesTheMouseOnceIn) {
    Host.OverlayOpen = true;
    for (int pass = 1; pass <= 19; pass++) {
        RunLoopPass(&clock);
        EXPECT_EQ(Host.OverlaySlide, OverlayHiddenSlide + 8 * pass);
        EXPECT_FALSE(Overlay.Interactive) << pass;
    }
    RunLoopPass(&clock);
    EXPECT_EQ(Host.OverlaySlide, 0);
    EXPECT_TRUE(Overlay.Interactive);
    RunLoopPass(&clock);
    EXPECT_EQ(Host.OverlaySlide, 0);

    // Closing takes the mouse away at once; toggling again mid-slide turns
    // back from where the panel stands.
    Key(SDLK_ESCAPE);
    EXPECT_FALSE(Host.OverlayOpen);
    RunLoopPass(&clock);
    EXPECT_FALSE(Overlay.Interactive);
    RunLoopPass(&clock);
    EXPECT_EQ(Host.OverlaySlide, -16);
    Button(SDL_BUTTON_RIGHT, 1);
    EXPECT_TRUE(Host.OverlayOpen);
    RunLoopPass(&clock);
    RunLoopPass(&clock);
    EXPECT_EQ(Host.OverlaySlide, 0);
    EXPECT_TRUE(Overlay.Interactive);
}

TEST_F(Loop, EscapeAndTheRightButtonEndACaptureBeforeTheyCloseTheOverlay) {
    Host.OverlayOpen = true;
    Host.OverlaySlide = 0;
    Overlay.Interactive = true;
    OnBindingRow(Host.BindingRowItems[7]); // capture A
    ASSERT_TRUE(Host.CapturePending);
    Key(SDLK_ESCAPE);
    EXPECT_FALSE(Host.CapturePending);
    EXPECT_TRUE(Host.OverlayOpen) << "the capture ended, the overlay stays";
    EXPECT_EQ(Config.ButtonA, 0x1Bu);

    OnBindingRow(Host.BindingRowItems[7]);
    Button(SDL_BUTTON_RIGHT, 1);
    EXPECT_FALSE(Host.CapturePending);
    EXPECT_TRUE(Host.OverlayOpen);
    Button(SDL_BUTTON_RIGHT, 1);
    EXPECT_FALSE(Host.OverlayOpen);
}

TEST_F(Loop, KeysChangeTheWindowModeAndAskToQuit) {
    Key(SDLK_2);
    EXPECT_EQ(Config.Scale, 2);
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(Host.Window, &w, &h);
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 448);
    Key(SDLK_5);
    EXPECT_EQ(Config.Scale, 2) << "only 1 to 4";

    Key(SDLK_RETURN);
    EXPECT_TRUE(Config.Windowed) << "Return alone is the game's";
    Key(SDLK_RETURN, KMOD_LALT);
    EXPECT_FALSE(Config.Windowed);
    Key(SDLK_3);
    EXPECT_EQ(Config.Scale, 2) << "digits do nothing in full screen";
    Key(SDLK_RETURN, KMOD_RALT);
    EXPECT_TRUE(Config.Windowed);

    Key(SDLK_RETURN, KMOD_LALT);
    Key(SDLK_F10);
    EXPECT_TRUE(Host.CloseRequested);
    EXPECT_TRUE(Config.Windowed) << "the confirmation comes in a window";
    Host.CloseRequested = false;
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    HandleEvent(quit);
    EXPECT_TRUE(Host.CloseRequested);
}

// With no display to show the box on, the player must still be able to quit:
// the request stands as a "Yes".
TEST_F(Loop, AQuitThatCannotBeConfirmedIsTaken) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_TRUE(ConfirmClose());
    GTEST_FLAG_SET(death_test_style, "fast");
    Host.CloseRequested = true;
    EXPECT_EXIT(RunLoopPass(&clock), ::testing::ExitedWithCode(0), "");
    Host.CloseRequested = false;
}

TEST_F(Loop, MouseActsWhereTheLastMotionLeftIt) {
    SetScale(3);
    Host.OverlayOpen = true;
    Host.OverlaySlide = 0;
    Overlay.Interactive = true;

    // A click before any motion hits nothing.
    Button(SDL_BUTTON_LEFT, 1);
    EXPECT_FALSE(Overlay.Items[Host.VideoChoiceItems[1]].Selected);

    // Onto the 2x choice (column 102, row 132 of the picture).
    Motion(104 * 3, 133 * 3);
    EXPECT_EQ(Host.PictureMouseX, 104);
    EXPECT_EQ(Host.PictureMouseY, 133);
    EXPECT_TRUE(Overlay.Items[Host.VideoChoiceItems[1]].Hover);
    Button(SDL_BUTTON_LEFT, 1);
    EXPECT_EQ(Config.Scale, 2);
    EXPECT_TRUE(Overlay.Items[Host.VideoChoiceItems[1]].Selected);

    // Without the overlay in, the mouse is only tracked.
    Overlay.Interactive = false;
    Motion(0, 0);
    EXPECT_EQ(Host.PictureMouseX, 0);
    EXPECT_TRUE(Overlay.Items[Host.VideoChoiceItems[1]].Hover);
}

} // namespace
