// How the player ends on Linux and other POSIX systems with an X display.
//
//   Signals ............. OnEndSignal, PrepareEnding, EndRequested
//   The box's process ... AfterForkInChild, ShowEndableMessageBox
//   Lost display ........ OnDisplayLost, DisplayConnected, BeginShutdown
//
// A session that ends (a logout, a shutdown, Ctrl+C, a closed terminal)
// sends a termination signal and, a while later, kills what still runs; a
// player that asked "Please confirm" then would lose its settings. So these
// signals end it at once, as a confirmed quit does. A display server that
// goes away makes the display library end the process through `exit`; the
// exit handler then must not wait on the dead connection, and the settings
// are written before anything that talks to the display.
#include "host/shutdown.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "host/host.h"

namespace {

constexpr int EndSignals[] = {SIGTERM, SIGINT, SIGHUP};
// The display library's own status for a lost connection.
constexpr int LostDisplayStatus = 1;

// Lock-free atomics: the signal handler touches them.
std::atomic<bool> EndAsked{false};
std::atomic<bool> BoxShowing{false};
std::atomic<bool> ShuttingDown{false};
bool DisplayLost = false;
pid_t PlayerProcess = 0;

// The host shows the confirmation box from a child process of its own and
// waits for it. That child writes its process id here as it starts, so that
// a termination signal can close the box and the wait ends.
int BoxPipe[2] = {-1, -1};

void OnEndSignal(int) {
    EndAsked.store(true);
    pid_t box = 0;
    if (BoxShowing.load() && read(BoxPipe[0], &box, sizeof box) == ssize_t(sizeof box) && box > 0)
        kill(box, SIGKILL);
}

// Runs in every child the player's process forks; only the box's is ours to
// mind. It is a copy of the player, handlers included: it must die of the
// signals that end a session rather than take them for the player's, and
// must never outlive the player.
void AfterForkInChild() {
    if (!BoxShowing.load()) return;
    for (const int signal : EndSignals)
        std::signal(signal, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != PlayerProcess) _exit(1);
    const pid_t self = getpid();
    if (write(BoxPipe[1], &self, sizeof self) != ssize_t(sizeof self)) return;
}

void DrainBoxPipe() {
    pid_t stale = 0;
    while (read(BoxPipe[0], &stale, sizeof stale) > 0) {
    }
}

// The display library calls this when the connection breaks, and ends the
// process if it returns.
int OnDisplayLost(Display*) {
    // The box's own connection: the box fails, and the player sees it fail.
    if (getpid() != PlayerProcess) _exit(1);
    // Met while the exit handler releases the host objects: the settings
    // are written already, and nothing is left worth a wait.
    if (ShuttingDown.load()) _exit(LostDisplayStatus);
    DisplayLost = true;
    std::exit(LostDisplayStatus);
}

// Asked of the connection's socket, without a word to the server: closed by
// the server, it reads as the end of the stream.
bool DisplayConnected() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!Host.Window || !SDL_GetWindowWMInfo(Host.Window, &info) || info.subsystem != SDL_SYSWM_X11)
        return true;
    const int socket = ConnectionNumber(info.info.x11.display);
    pollfd ready = {socket, POLLIN, 0};
    if (poll(&ready, 1, 0) <= 0) return true;
    if (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
    char next = 0;
    return recv(socket, &next, 1, MSG_PEEK | MSG_DONTWAIT) != 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Signals

void PrepareEnding() {
    PlayerProcess = getpid();
    // The host library would turn these signals into a quit request, which
    // asks for confirmation.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A write to a display that is gone is then reported as an error, not
    // fatal before the settings are written.
    std::signal(SIGPIPE, SIG_IGN);
    if (pipe2(BoxPipe, O_NONBLOCK | O_CLOEXEC) != 0) BoxPipe[0] = BoxPipe[1] = -1;
    pthread_atfork(nullptr, nullptr, AfterForkInChild);
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : EndSignals)
        sigaction(signal, &action, nullptr);
    XSetIOErrorHandler(OnDisplayLost);
}

bool EndRequested() {
    return EndAsked.load();
}

// ---------------------------------------------------------------------------
// The box's process

int ShowEndableMessageBox(const SDL_MessageBoxData* box, int* chosen) {
    DrainBoxPipe();
    BoxShowing.store(true);
    const int shown = SDL_ShowMessageBox(box, chosen);
    BoxShowing.store(false);
    DrainBoxPipe();
    return shown;
}

// ---------------------------------------------------------------------------
// Lost display

bool BeginShutdown() {
    ShuttingDown.store(true);
    // The process's end releases the host objects too; over a dead
    // connection releasing them would wait forever.
    return !DisplayLost && DisplayConnected();
}
