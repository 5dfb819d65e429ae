// The sound on a Linux desktop, through its PulseAudio service (PulseAudio
// itself or PipeWire's).
//
// Two things broke the sound on a busy machine. The host library asks the
// service for a stream that holds one callback buffer (1,024 frames), of
// which PipeWire's service keeps three quarters, 17 ms: the audio thread
// must answer each of the service's requests within that. And the thread's priority, the
// highest plain one, counts only inside the player's scheduling group (the
// kernel groups processes by session): beside other sessions' busy
// processes it waits for the group's turn, which can be longer. So the
// stream is asked for a little more, and the thread is made real-time.
#include "host/sound_server.h"

#include <SDL.h>
#include <cstdlib>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Milliseconds the stream holds: with the callback buffer (23 ms) and the
// sink's own, a register write still leaves the sink within 60 ms.
constexpr const char* StreamLatencyMs = "25";
// Low among real-time priorities: the sound server's own threads, which
// must run before this one can be fed, are higher.
constexpr int SoundThreadPriority = 10;

} // namespace

void PrepareSoundServer() {
    // The PulseAudio client library's own setting for a stream's latency,
    // which it applies over the host library's request. One the player's
    // environment already holds is the player's own choice, and stays.
    setenv("PULSE_LATENCY_MSEC", StreamLatencyMs, 0);
}

void RaiseSoundThread() {
    sched_param parameter = {};
    parameter.sched_priority = SoundThreadPriority;
    // Directly where the process may; reset on fork, so that no process
    // forked from this thread inherits it.
    if (sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &parameter) == 0) return;
    // Else through the desktop's real-time broker.
    SDL_LinuxSetThreadPriorityAndPolicy(Sint64(syscall(SYS_gettid)), SDL_THREAD_PRIORITY_TIME_CRITICAL,
                                        SCHED_RR);
}
