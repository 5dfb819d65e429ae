// The player: start-up, the exit handler, and the hand-over to the main loop.
//
// Start-up runs in a fixed order: the window exists (hidden) before the
// audio device, the sound plays before the game is loaded, the settings are
// applied before the menu is built and the window mode set, and the window
// is shown last. Every failure on the way is a fatal stop with its message.
// The process only ever ends through `exit`, so `Shutdown` sees every end:
// a confirmed quit, a termination signal, a lost display or a fatal stop.
#include <SDL.h>
#include <SDL_image.h>
#include <cstdio>
#include <cstdlib>

#include "audio/device.h"
#include "core/machine.h"
#include "host/host.h"
#include "host/icon.h"
#include "host/input.h"
#include "host/loop.h"
#include "host/present.h"
#include "host/shutdown.h"
#include "overlay/menu.h"
#include "overlay/settings.h"

namespace {

constexpr int PictureWidth = 256;
constexpr int PictureHeight = 224;

void CreateWindow() {
    Host.Window = SDL_CreateWindow("Halvenor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, PictureWidth,
                                   PictureHeight, SDL_WINDOW_HIDDEN);
    if (!Host.Window) fatal_error("Error: %s\n", SDL_GetError());
    Host.Renderer = SDL_CreateRenderer(Host.Window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!Host.Renderer) fatal_error("Error: %s\n", SDL_GetError());
    Host.PictureTexture = SDL_CreateTexture(Host.Renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET,
                                            PictureWidth, PictureHeight);
    if (!Host.PictureTexture) fatal_error("Error: %s\n", SDL_GetError());
}

void LoadArtwork() {
    SDL_Surface* artwork = IMG_Load("artwork.jpg");
    if (!artwork) {
        std::printf("Warning: artwork file is not found\n");
        std::fflush(stdout);
        return;
    }
    // A texture that cannot be made only means no artwork is drawn.
    Host.ArtworkTexture = SDL_CreateTextureFromSurface(Host.Renderer, artwork);
    SDL_FreeSurface(artwork);
}

} // namespace

int main(int, char**) {
    ResetHostState();
    std::atexit(Shutdown);
    PrepareEnding();
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) < 0)
        fatal_error("Error: Can't initialize SDL\n");
    IMG_Init(IMG_INIT_JPG);
    CreateWindow();
    SetWindowIcon(Host.Window);
    LoadArtwork();
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    OpenAudioDevice();
    SDL_JoystickEventState(SDL_IGNORE);
    PauseSound(false);
    if (!machine_init()) fatal_error("Unable to initialize emulator\n");
    OpenJoysticks();
    ApplyDefaultSettings();
    LoadSettings();
    BuildMenu();
    SyncVideoChoices();
    SetFullscreen(!Config.Windowed);
    SDL_ShowWindow(Host.Window);
    static FrameClock clock;
    FrameClockStart(&clock, SDL_GetPerformanceCounter());
    RunMainLoop(&clock);
}
