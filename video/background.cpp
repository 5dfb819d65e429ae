// Background renderer: to be written.
#include "video/background.h"

void render_background_line(int) {}
int32_t fetch_attribute() { return 0; }
