// Controller port at $4016: a write with bit 0 clear loads the shift
// register from `PadState`; each read hands out its lowest bit and shifts a 1
// in from the top, so reads past the eighth return 1.
#include "core/pad.h"

#include "core/machine.h"

namespace {

constexpr uint8_t StrobeBit = 0x01;
constexpr uint8_t ShiftFill = 0x80;

} // namespace

uint8_t pad_port_read() {
    const uint8_t bit = machine.pad_shift & 1;
    machine.pad_shift = uint8_t((machine.pad_shift >> 1) | ShiftFill);
    return bit;
}

void pad_port_write(uint8_t value) {
    if (!(value & StrobeBit)) machine.pad_shift = machine.PadState;
}
