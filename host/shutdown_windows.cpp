// How the player ends on Windows.
//
//   End of session ... OnSessionMessage, PrepareEnding, EndRequested
//   Fatal stop ....... ShowFatalMessage
//   The box .......... ShowEndableMessageBox, BeginShutdown
//
// A logoff or shutdown asks each window whether the session may end and
// then tells it that it ends; the process may be ended at any moment after
// that message is answered, and the host library does not answer it. So the
// settings are written while it is being answered, as a termination signal
// has them written on Linux. A program started from Explorer has no console
// to print to: a fatal stop shows its message in a box as well.
#include "host/shutdown.h"

#include <SDL.h>
#include <atomic>
#include <windows.h>

#include "core/machine.h"
#include "overlay/settings.h"

namespace {

std::atomic<bool> EndAsked{false};
HHOOK SessionHook = nullptr;

// Sees every message sent to the main thread's windows before their window
// procedure does, the box's and the host library's alike.
LRESULT CALLBACK OnSessionMessage(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lparam);
        if (message->message == WM_ENDSESSION && message->wParam) {
            EndAsked.store(true);
            SaveSettings();
        }
    }
    return CallNextHookEx(SessionHook, code, wparam, lparam);
}

void ShowFatalMessage(const char* message) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Halvenor", message, nullptr);
}

} // namespace

// ---------------------------------------------------------------------------
// End of session

void PrepareEnding() {
    fatal_notice = ShowFatalMessage;
    SessionHook = SetWindowsHookExW(WH_CALLWNDPROC, OnSessionMessage, nullptr, GetCurrentThreadId());
}

bool EndRequested() {
    return EndAsked.load();
}

// ---------------------------------------------------------------------------
// The box

// The box runs in the player's own thread, whose messages the hook still
// sees: a session that ends while it is up has the settings written.
int ShowEndableMessageBox(const SDL_MessageBoxData* box, int* chosen) {
    return SDL_ShowMessageBox(box, chosen);
}

// No connection here can die under the player: the host objects are always
// released.
bool BeginShutdown() {
    return true;
}
