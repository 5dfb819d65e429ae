// How the player ends: the exit handler, the signals that end a session, and
// a display connection that goes away under the player.
#pragma once

#include <SDL_messagebox.h>

// Right after the exit handler is registered, before the host library
// starts: termination signals end the player at once instead of asking, and
// a lost display connection ends it with its settings written.
void PrepareEnding();

// A termination signal arrived: the loop ends the process as after a
// confirmed quit.
bool EndRequested();

// The host's message box, which a termination signal closes.
int ShowEndableMessageBox(const SDL_MessageBoxData* box, int* chosen);

// The exit handler: the settings first, then the host objects, unless the
// display connection is gone.
void Shutdown();
