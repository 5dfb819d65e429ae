// Picture-unit registers and video memory, driven through the processor's
// bus as a game drives them.
#include <gtest/gtest.h>

#include "core/bus.h"
#include "core/machine.h"
#include "support/cartridge.h"
#include "video/ppu.h"

namespace {

void load_cartridge(int chr_banks, uint8_t flags6 = 0) {
    Image image = make_image(1, chr_banks, flags6);
    put_program(image, 0xC000, {0x4C, 0x00, 0xC0});
    ASSERT_TRUE(load_image(image));
}

void set_address(uint16_t address) {
    bus_write(0x2006, uint8_t(address >> 8));
    bus_write(0x2006, uint8_t(address));
}

// Palette reads answer at once, with no buffered byte before them.
uint8_t read_palette(uint16_t address) {
    set_address(address);
    return bus_read(0x2007);
}

uint8_t read_at(uint16_t address) {
    set_address(address);
    bus_read(0x2007); // the buffered byte of the previous address
    return bus_read(0x2007);
}

} // namespace

TEST(PpuMemory, BufferedReadsAndTheImmediatePalette) {
    load_cartridge(1);
    machine.nametable_ram[0] = 0x11;
    machine.nametable_ram[1] = 0x22;
    machine.read_buffer = 0x99;
    set_address(0x2000);
    EXPECT_EQ(bus_read(0x2007), 0x99); // stale buffer first
    EXPECT_EQ(bus_read(0x2007), 0x11);
    EXPECT_EQ(machine.vram_addr, 0x2002);

    // A palette read answers at once and leaves the buffer (now 0x22) alone.
    machine.palette_ram[1] = 0x2C;
    set_address(0x3F01);
    EXPECT_EQ(bus_read(0x2007), 0x2C);
    EXPECT_EQ(machine.read_buffer, 0x22);
    set_address(0x2000);
    EXPECT_EQ(bus_read(0x2007), 0x22);
    EXPECT_EQ(bus_read(0x3FFF), 0x11); // $3FFF is $2007 too

    // Pattern bytes come through the selected character bank.
    machine.chr_mem[2 * ChrBankSize + 5] = 0x5A;
    bus_write(0x8000, 0x40);
    EXPECT_EQ(read_at(0x0005), 0x5A);
}

TEST(PpuMemory, PaletteMirrorsAndSixBitEntries) {
    load_cartridge(1);
    set_address(0x3F14);
    bus_write(0x2007, 0x21);
    EXPECT_EQ(read_palette(0x3F00), 0x21);
    EXPECT_EQ(machine.palette_ram[0x14], 0x0F) << "the sprite backdrop cells are never reached";

    const uint16_t backdrops[] = {0x3F10, 0x3F18, 0x3F1C, 0x3F30, 0x3FF0};
    for (uint16_t address : backdrops) {
        set_address(address);
        bus_write(0x2007, uint8_t(address & 0x3F));
        EXPECT_EQ(machine.palette_ram[0], address & 0x3F) << std::hex << address;
    }
    // $3F04, $3F08 and $3F0C are cells of their own.
    set_address(0x3F04);
    bus_write(0x2007, 0xFF);
    EXPECT_EQ(machine.palette_ram[4], 0x3F);
    EXPECT_EQ(read_palette(0x3F24), 0x3F);
    EXPECT_EQ(machine.palette_ram[0], 0x30) << "still the last backdrop write";
    for (int cell : {0x10, 0x14, 0x18, 0x1C})
        EXPECT_EQ(machine.palette_ram[cell], 0x0F);
}

TEST(PpuRegisters, ScrollAndAddressWritesShareOneToggle) {
    load_cartridge(1);
    bus_write(0x2000, 0x03);
    EXPECT_EQ(machine.temp_addr, 0x0C00);
    bus_write(0x2005, 0x7D); // coarse X 15, fine X 5
    EXPECT_EQ(machine.fine_x, 5);
    EXPECT_EQ(machine.write_toggle, 1);
    bus_write(0x2005, 0x5E); // coarse Y 11, fine Y 6
    EXPECT_EQ(machine.temp_addr, 0x6000 | 0x0C00 | (11 << 5) | 15);
    EXPECT_EQ(machine.vram_addr, 0) << "scroll writes only assemble temp_addr";

    // The first $2006 write keeps seven bits, so bit 14 comes from value bit 6.
    bus_write(0x2006, 0x7F);
    bus_write(0x2006, 0x05);
    EXPECT_EQ(machine.vram_addr, 0x7F05);
    machine.palette_ram[5] = 0x15;
    EXPECT_EQ(bus_read(0x2007), 0x15);

    // A $2002 read between the two writes makes the next one a first write again.
    bus_write(0x2006, 0x21);
    bus_read(0x2002);
    bus_write(0x2006, 0x23);
    bus_write(0x2006, 0x45);
    EXPECT_EQ(machine.vram_addr, 0x2345);
    // ... and a $2005 after a lone $2006 write is a second write.
    bus_write(0x2006, 0x00);
    bus_write(0x2005, 0xFF);
    EXPECT_EQ(machine.write_toggle, 0);
    EXPECT_EQ(machine.temp_addr & 0x73E0, 0x73E0);

    // Each write replaces its bits whole: nametable bits and every vertical
    // bit written as 0 are 0 again.
    bus_write(0x2000, 0x03);
    bus_write(0x2000, 0x00);
    EXPECT_EQ(machine.temp_addr & 0x0C00, 0);
    bus_write(0x2005, 0x00);
    bus_write(0x2005, 0x00);
    EXPECT_EQ(machine.temp_addr, 0);
}

TEST(PpuRegisters, DataPortStepsAndWrapsAtFifteenBits) {
    load_cartridge(1);
    set_address(0x2400);
    bus_write(0x2007, 1);
    EXPECT_EQ(machine.vram_addr, 0x2401);
    bus_write(0x2000, 0x04);
    bus_write(0x2007, 2);
    bus_read(0x2007);
    EXPECT_EQ(machine.vram_addr, 0x2441);
    machine.vram_addr = 0x7FF0;
    bus_read(0x2007);
    EXPECT_EQ(machine.vram_addr, 0x0010);
    machine.vram_addr = 0x7FFF;
    bus_write(0x2000, 0x00);
    bus_write(0x2007, 0);
    EXPECT_EQ(machine.vram_addr, 0x0000);
    // The step carries into bit 14, which the scroll takes as fine Y ...
    machine.vram_addr = 0x3FFF;
    bus_write(0x2007, 0);
    EXPECT_EQ(machine.vram_addr, 0x4000);
    // ... while memory is reached through the low 14 bits only.
    set_address(0x6001);
    bus_write(0x2007, 0x77);
    EXPECT_EQ(machine.nametable_ram[1], 0x77);
    EXPECT_EQ(machine.palette_ram[1], 0x0F);
    machine.chr_mem[5] = 0x5A;
    EXPECT_EQ(read_at(0x4005), 0x5A);
}

TEST(PpuMemory, CharacterRomIsReadOnlyCharacterRamGoesThroughTheBank) {
    load_cartridge(1);
    const uint8_t before = machine.chr_mem[0x0123];
    set_address(0x0123);
    bus_write(0x2007, uint8_t(before + 1));
    EXPECT_EQ(machine.chr_mem[0x0123], before);
    EXPECT_EQ(machine.vram_addr, 0x0124);

    load_cartridge(0);
    bus_write(0x8000, 0x60); // character bank 3
    set_address(0x1FFF);
    bus_write(0x2007, 0xAB);
    EXPECT_EQ(machine.chr_mem[3 * ChrBankSize + 0x1FFF], 0xAB);
    EXPECT_EQ(machine.chr_mem[0x1FFF], 0);
    EXPECT_EQ(read_at(0x1FFF), 0xAB);
}

TEST(PpuMemory, BothNametableArrangements) {
    for (int mirroring : {0, 1}) {
        SCOPED_TRACE(mirroring);
        load_cartridge(1, uint8_t(mirroring));
        set_address(0x2805);
        bus_write(0x2007, 0x77);
        const uint16_t same = mirroring ? 0x2005 : 0x2C05;
        const uint16_t other = mirroring ? 0x2C05 : 0x2005;
        EXPECT_EQ(read_at(same), 0x77);
        EXPECT_EQ(read_at(0x3805), 0x77);
        EXPECT_EQ(read_at(other), 0x00);
    }
}

TEST(PpuRegisters, StatusSpriteMemoryAndTheCopy) {
    load_cartridge(1);
    machine.ppu_status = 0xC0;
    bus_write(0x2001, 0x1B);
    EXPECT_EQ(machine.ppu_mask, 0x1B);
    EXPECT_EQ(bus_read(0x2002), 0xC0 | 0x1B);
    EXPECT_EQ(bus_read(0x2002), 0x40 | 0x1B) << "a read clears the vertical blank only";
    bus_write(0x2002, 0xE4);
    EXPECT_EQ(machine.ppu_status, 0x40 | 0x04);
    for (uint32_t r : {0x2000u, 0x2001u, 0x2003u, 0x2004u, 0x2005u, 0x2006u})
        EXPECT_EQ(bus_read(r), 0);

    bus_write(0x2003, 0xFF);
    bus_write(0x2004, 0x12);
    EXPECT_EQ(machine.oam[255], 0x12);
    EXPECT_EQ(machine.oam_addr, 0);

    for (int i = 0; i < 256; i++)
        machine.ram[0x200 + i] = uint8_t(i ^ 0x5A);
    machine.cycle_debt = 0;
    bus_write(0x2003, 0x40);
    bus_write(0x4014, 0x02);
    EXPECT_EQ(machine.cycle_debt, 513);
    EXPECT_EQ(machine.oam_addr, 0x40);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(machine.oam[i], uint8_t(i ^ 0x5A)) << i;

    // A page in the register range reads with its side effects.
    machine.ppu_status = 0x80;
    machine.write_toggle = 1;
    sprite_dma(0x20);
    EXPECT_EQ(machine.ppu_status & 0x80, 0);
    EXPECT_EQ(machine.write_toggle, 0);
    EXPECT_EQ(machine.cycle_debt, 2 * 513);
}
