// The controller port at $4016: the strobe loads the shift register from
// `PadState`, and each read hands the game one bit of it.
#pragma once

#include <cstdint>

uint8_t pad_port_read();
void pad_port_write(uint8_t value);
