// The exit handler, the same on every system: the settings first, then the
// host objects, when the platform says they can still be released.
#include "host/shutdown.h"

#include <SDL.h>
#include <SDL_image.h>

#include "host/host.h"
#include "host/input.h"
#include "overlay/settings.h"

void Shutdown() {
    const bool releasable = BeginShutdown();
    // Writes only once the defaults were applied: a stop before that keeps
    // the stored settings.
    SaveSettings();
    if (!releasable) return;
    // Destroying a handle that was never created only sets the host's error
    // text, so an early fatal stop comes through here safely.
    SDL_DestroyTexture(Host.PictureTexture);
    SDL_DestroyTexture(Host.ArtworkTexture);
    SDL_DestroyRenderer(Host.Renderer);
    SDL_DestroyWindow(Host.Window);
    for (int32_t i = 0; i < JoystickCount; i++)
        SDL_JoystickClose(Joysticks[i]);
    IMG_Quit();
    SDL_Quit();
}
