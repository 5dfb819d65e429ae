// The main loop: the event table, and whole passes over a real (off-screen)
// window with a game that counts its frames.
#include <SDL.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "core/machine.h"
#include "host/host.h"
#include "host/loop.h"
#include "host/present.h"
#include "overlay/menu.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"
#include "support/cartridge.h"
#include "support/environment.h"

namespace {

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
        // The passes keep "config.cfg" in the working folder, as the player
        // does in its game folder: each test has a fresh one.
        folder = make_temp_folder();
        ASSERT_FALSE(folder.empty());
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
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
        FrameClockStart(&clock, SDL_GetPerformanceCounter());
    }
    // One pass, `seconds` of wall-clock time after the last.
    void Pass(double seconds = 1.0 / 60.0) {
        RunLoopPass(&clock, clock.previous + uint64_t(seconds * double(SDL_GetPerformanceFrequency())));
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
    void TearDown() override {
        std::filesystem::current_path(previous);
        remove_folder(folder);
    }
    static std::string Stored() {
        std::ifstream file("config.cfg", std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    static FrameClock clock;
    std::string folder;
    std::filesystem::path previous;
};
FrameClock Loop::clock;

TEST_F(Loop, FramesRunWhenDueButNotWhileTheOverlayIsOpen) {
    Pass(0.1); // the game turns its NMI on during these
    const int before = Frames();
    EXPECT_GT(before, 0);

    Pass(10.0);
    EXPECT_EQ(Frames(), before + 5) << "at most five frames in one pass";
    EXPECT_EQ(std::memcmp(Canvas, FrameBuffer, sizeof Canvas), 0) << "the hidden overlay changes no pixel";
    for (int pass = 0; pass < 10; pass++)
        Pass();
    EXPECT_EQ(Frames(), before + 15) << "then a frame a pass";

    Host.OverlayOpen = true;
    for (int pass = 0; pass < 30; pass++)
        Pass();
    EXPECT_EQ(Frames(), before + 15) << "no frame while open";

    Host.OverlayOpen = false;
    Pass();
    EXPECT_EQ(Frames(), before + 16) << "the time while open was used up: no catch-up burst after closing";
}

TEST_F(Loop, OverlaySlidesEightRowsAPassAndTakesTheMouseOnceIn) {
    Host.OverlayOpen = true;
    for (int pass = 1; pass <= 19; pass++) {
        Pass();
        EXPECT_EQ(Host.OverlaySlide, OverlayHiddenSlide + 8 * pass);
        EXPECT_FALSE(Overlay.Interactive) << pass;
    }
    Pass();
    EXPECT_EQ(Host.OverlaySlide, 0);
    EXPECT_TRUE(Overlay.Interactive);
    Pass();
    EXPECT_EQ(Host.OverlaySlide, 0);

    // Closing takes the mouse away at once; toggling again mid-slide turns
    // back from where the panel stands.
    Key(SDLK_ESCAPE);
    EXPECT_FALSE(Host.OverlayOpen);
    Pass();
    EXPECT_FALSE(Overlay.Interactive);
    Pass();
    EXPECT_EQ(Host.OverlaySlide, -16);
    Button(SDL_BUTTON_RIGHT, 1);
    EXPECT_TRUE(Host.OverlayOpen);
    Pass();
    Pass();
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

TEST_F(Loop, ASettingChangedDuringPlayReachesTheFileWithinASecond) {
    ApplyDefaultSettings();
    LoadSettings(); // none there: the defaults stand as stored
    for (int pass = 0; pass < 60; pass++)
        Pass();
    EXPECT_FALSE(std::filesystem::exists("config.cfg")) << "nothing changed, nothing written";

    Key(SDLK_2);
    for (int pass = 0; pass < 60; pass++)
        Pass();
    EXPECT_NE(Stored().find("Scale=2\n"), std::string::npos);
}

// With no display to show the box on, the player must still be able to quit:
// the request stands as a "Yes".
TEST_F(Loop, AQuitThatCannotBeConfirmedIsTaken) {
    if (!display_can_be_missing) GTEST_SKIP() << "a desktop is always there to ask on";
    unset_environment("DISPLAY");
    unset_environment("WAYLAND_DISPLAY");
    EXPECT_TRUE(ConfirmClose());
    GTEST_FLAG_SET(death_test_style, "fast");
    Host.CloseRequested = true;
    EXPECT_EXIT(Pass(), ::testing::ExitedWithCode(0), "");
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
