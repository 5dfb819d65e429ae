// The controller port as a game reads it through $4016.
#include <gtest/gtest.h>

#include "core/bus.h"
#include "core/machine.h"

namespace {

uint32_t read_bits(int count) {
    uint32_t bits = 0;
    for (int i = 0; i < count; i++)
        bits |= uint32_t(bus_read(0x4016)) << i;
    return bits;
}

} // namespace

TEST(ControllerPort, StrobeLoadsAndNineReadsShiftOut) {
    machine.PadState = 0;
    machine.pad_shift = 0;
    // Power-on with no strobe: the empty register hands out zeros until the
    // ones shifted in from the top reach the bottom.
    EXPECT_EQ(read_bits(8), 0u);
    EXPECT_EQ(bus_read(0x4016), 1);

    machine.PadState = 0xA5;
    bus_write(0x4016, 1);
    EXPECT_EQ(machine.pad_shift, 0xFF) << "a write with bit 0 set loads nothing";
    bus_write(0x4016, 0);
    machine.PadState = 0x00; // the register holds what the strobe loaded
    EXPECT_EQ(read_bits(8), 0xA5u);
    EXPECT_EQ(bus_read(0x4016), 1) << "the ninth read";
    EXPECT_EQ(bus_read(0x4016), 1);

    // Every write with bit 0 clear reloads; bits 1-7 of a read are 0.
    machine.PadState = 0x02;
    bus_write(0x4016, 0xFE);
    EXPECT_EQ(bus_read(0x4016), 0);
    EXPECT_EQ(bus_read(0x4016), 1);
    EXPECT_EQ(bus_read(0x4017), 0);
}
