// Controller port: filled in with the picture unit.
#include "core/pad.h"

uint8_t pad_port_read() { return 0; }

void pad_port_write(uint8_t) {}
