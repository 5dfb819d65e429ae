// The sound on Windows: the host library's stream to the system's mixer
// needs nothing asked beforehand, and it already runs its audio thread at
// the time-critical priority, which the system's scheduler honours across
// processes.
#include "host/sound_server.h"

void PrepareSoundServer() {}

void RaiseSoundThread() {}
