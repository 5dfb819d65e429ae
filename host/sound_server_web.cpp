// The sound in a web page: the browser's audio runs the callback on the one
// thread there is, and its buffering is the browser's.
#include "host/sound_server.h"

void PrepareSoundServer() {}

void RaiseSoundThread() {}
