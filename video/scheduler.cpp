// Frame scheduler: to be written.
#include "video/scheduler.h"

void run_frame() {}
