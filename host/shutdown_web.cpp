// How the player ends in a web page: it does not. The browser closes the
// page, no system asks the player to end, and no quit is offered (the loop
// drops F10 and quit events, host/loop_web.cpp). What is left is the fatal
// stop, whose message takes the game's place on the page.
#include "host/shutdown.h"

#include <emscripten.h>

#include "core/machine.h"

// The page's own notice (web/shell.html) replaces the canvas: a page has no
// console a player would look at.
EM_JS(void, ShowStopOnPage, (const char* message), { Module.showStop(UTF8ToString(message)); });

void PrepareEnding() {
    fatal_notice = ShowStopOnPage;
}

bool EndRequested() {
    return false;
}

// A page cannot hold a box open while the player waits on it, and no quit
// asks for one; were one asked for, the answer is "No" and the page stays.
int ShowEndableMessageBox(const SDL_MessageBoxData*, int* chosen) {
    *chosen = 0;
    return 0;
}

bool BeginShutdown() {
    return true;
}
