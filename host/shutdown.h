// How the player ends: the exit handler, the requests to end that come from
// the system (signals, a logoff), and a display that goes away under the
// player. `Shutdown` is shared; the rest is each platform's own
// (shutdown_posix.cpp, shutdown_windows.cpp, shutdown_web.cpp).
#pragma once

#include <SDL_messagebox.h>

// Right after the exit handler is registered, before the host library
// starts: the system's requests to end (termination signals, a logoff or
// shutdown) end the player at once instead of asking, and a lost display
// ends it with its settings written.
void PrepareEnding();

// The system asked the player to end: the loop ends the process as after a
// confirmed quit.
bool EndRequested();

// The host's message box, which a request to end closes.
int ShowEndableMessageBox(const SDL_MessageBoxData* box, int* chosen);

// Called first by the exit handler: marks the end as begun, and tells
// whether the host objects can still be released (false when the display
// connection is gone and releasing would wait on it).
bool BeginShutdown();

// The exit handler: the settings first, then the host objects.
void Shutdown();
