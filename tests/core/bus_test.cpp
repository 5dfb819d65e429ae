// The address decode, the bank register and the loader.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/bus.h"
#include "core/machine.h"
#include "support/cartridge.h"

namespace {

std::vector<uint8_t> snapshot() {
    std::vector<uint8_t> bytes(sizeof machine);
    std::memcpy(bytes.data(), static_cast<const void*>(&machine), sizeof machine);
    return bytes;
}

// The pixels of test_palette(): entry n is (n, n+1, n+2).
std::vector<uint32_t> test_palette_pixels() {
    std::vector<uint32_t> pixels(64);
    for (uint32_t n = 0; n < 64; n++)
        pixels[n] = n | (n + 1) << 8 | (n + 2) << 16;
    return pixels;
}

size_t palette_offset() {
    return size_t(reinterpret_cast<const uint8_t*>(&machine.palette) -
                  reinterpret_cast<const uint8_t*>(&machine));
}

// Runs machine_init in a folder holding the given files, without clearing
// the record first; a file given as nullptr is left out.
bool init_with(const std::vector<uint8_t>* game, const std::vector<uint8_t>* palette) {
    const std::string folder = make_temp_folder();
    if (game) write_file(folder, "game.nes", *game);
    if (palette) write_file(folder, "palette.pal", *palette);
    char previous[4096];
    if (!getcwd(previous, sizeof previous)) return false;
    bool ok = chdir(folder.c_str()) == 0 && machine_init();
    ok = chdir(previous) == 0 && ok;
    remove_folder(folder);
    return ok;
}

// An image of `banks` program banks whose every byte holds its bank number.
Image numbered_banks(int banks) {
    Image image = make_image(banks, 1);
    for (int b = 0; b < banks; b++)
        std::memset(&image.bytes[16 + size_t(b) * PrgBankSize], b, PrgBankSize);
    return image;
}

} // namespace

TEST(Bus, WorkRamIsSeenFourTimesAndAddressesWrapAt16Bits) {
    clear_machine();
    machine.ram[0x0000] = 0x11;
    machine.ram[0x07FF] = 0x22;
    for (uint32_t mirror : {0x0000u, 0x0800u, 0x1000u, 0x1800u, 0x10000u, 0x11800u})
        EXPECT_EQ(0x11, bus_read(mirror)) << std::hex << mirror;
    EXPECT_EQ(0x22, bus_read(0x1FFF));
    bus_write(0x1801, 0x33);
    EXPECT_EQ(0x33, machine.ram[0x0001]);
    bus_write(0x10005, 0x44);
    EXPECT_EQ(0x44, machine.ram[0x0005]);
    EXPECT_EQ(0x44, bus_read(0x10005));
}

TEST(Bus, PictureUnitRegistersRepeatEveryEightBytes) {
    ASSERT_TRUE(load_image(make_image(1, 0)));
    bus_write(0x2008, 0x04); // control, step 32
    EXPECT_EQ(0x04, machine.ppu_ctrl);
    machine.vram_addr = 0x0100;
    bus_write(0x3FFF, 0x5A); // data
    EXPECT_EQ(0x5A, machine.chr_mem[0x0100]);
    EXPECT_EQ(0x0120, machine.vram_addr);
    machine.ppu_status = 0x80;
    EXPECT_EQ(0x80, bus_read(0x3FFA)); // status, which the read clears
    EXPECT_EQ(0x00, bus_read(0x2002));
}

// Write-only and absent registers read 0, and writes where nothing listens
// leave the whole record as it was.
TEST(Bus, UnmappedAddressesReadZeroAndIgnoreWrites) {
    Image image = make_image(2, 1);
    put_program(image, 0xC000, {0xEA});
    ASSERT_TRUE(load_image(image));
    machine.oam[0] = 0x77;
    machine.ppu_status = 0x1F;
    // Work RAM holds no zero, so a register read that reached it would show.
    std::fill(std::begin(machine.ram), std::end(machine.ram), uint8_t(0x5A));
    for (uint32_t address : {0x2000u, 0x2004u, 0x2018u, 0x3FF9u, 0x4000u, 0x4015u, 0x4017u, 0x401Fu, 0x4020u,
                             0x5000u, 0x6000u, 0x7FFFu})
        EXPECT_EQ(0, bus_read(address)) << std::hex << address;

    const std::vector<uint8_t> before = snapshot();
    for (uint32_t address : {0x4001u, 0x4005u, 0x4009u, 0x400Du, 0x400Fu, 0x4011u, 0x4017u, 0x4018u, 0x401Fu,
                             0x4020u, 0x5FFFu, 0x6000u, 0x7FFFu})
        bus_write(address, 0xFF);
    EXPECT_TRUE(before == snapshot());
}

// The bank register takes the written value itself: bits 0-4 choose the
// program bank at $8000, bits 5-6 the character bank, bit 7 nothing; ROM is
// never written and $C000-$FFFF always shows the last bank.
TEST(Bus, BankRegisterSwitchesTheLowerWindowOnly) {
    ASSERT_TRUE(load_image(numbered_banks(8)));
    const std::vector<uint8_t> rom(machine.prg_rom, machine.prg_rom + sizeof machine.prg_rom);
    EXPECT_EQ(0, bus_read(0x8000));
    EXPECT_EQ(7, bus_read(0xC000));

    bus_write(0x8000, 0xE3);
    EXPECT_EQ(49152, machine.prg_bank_offset);
    EXPECT_EQ(24576, machine.chr_bank_offset);
    EXPECT_EQ(3, bus_read(0x8000));
    EXPECT_EQ(3, bus_read(0xBFFF));
    EXPECT_EQ(7, bus_read(0xFFFF));

    bus_write(0xFFFF, 0x20);
    EXPECT_EQ(0, machine.prg_bank_offset);
    EXPECT_EQ(8192, machine.chr_bank_offset);

    bus_write(0xA000, 0x09); // beyond the image: bank 9 of 8 is bank 1
    EXPECT_EQ(9 * PrgBankSize, machine.prg_bank_offset);
    EXPECT_EQ(1, bus_read(0x8000));
    EXPECT_EQ(1, bus_read(0xBFFF));

    bus_write(0xC000, 0x9F); // bank 31 of 8 is bank 7; bit 7 ignored
    EXPECT_EQ(31 * PrgBankSize, machine.prg_bank_offset);
    EXPECT_EQ(0, machine.chr_bank_offset);
    EXPECT_EQ(7, bus_read(0x9234));
    EXPECT_TRUE(rom == std::vector<uint8_t>(machine.prg_rom, machine.prg_rom + sizeof machine.prg_rom));

    // One bank fills both windows whatever bank is chosen.
    Image one = make_image(1, 1);
    one.bytes[16 + 0x0123] = 0xAB;
    ASSERT_TRUE(load_image(one));
    EXPECT_EQ(0xAB, bus_read(0x8123));
    EXPECT_EQ(0xAB, bus_read(0xC123));
    bus_write(0x8000, 0x05);
    EXPECT_EQ(0xAB, bus_read(0x8123));
}

TEST(Loader, ResetVectorComesFromTheLastBank) {
    Image one = make_image(1, 1);
    one.bytes[16 + 0x3FFC] = 0x34;
    one.bytes[16 + 0x3FFD] = 0x92;
    ASSERT_TRUE(load_image(one));
    EXPECT_EQ(16384, machine.prg_size);
    EXPECT_EQ(0x3FFF, machine.prg_mask);
    EXPECT_EQ(0, machine.prg_fixed_offset);
    EXPECT_EQ(0x9234, machine.PC);

    Image eight = make_image(8, 2);
    eight.bytes[16 + 0x3FFC] = 0x11; // first bank: not the vector
    eight.bytes[16 + 0x3FFD] = 0x11;
    eight.bytes[16 + 0x1FFFC] = 0x78;
    eight.bytes[16 + 0x1FFFD] = 0xE5;
    ASSERT_TRUE(load_image(eight));
    EXPECT_EQ(0x1FFFF, machine.prg_mask);
    EXPECT_EQ(7 * PrgBankSize, machine.prg_fixed_offset);
    EXPECT_EQ(0xE578, machine.PC);
    EXPECT_EQ(machine.PC, bus_read(0xFFFC) | bus_read(0xFFFD) << 8);

    Image largest = make_image(MaxPrgBanks, MaxChrBanks);
    largest.bytes[largest.bytes.size() - 1] = 0x66; // last byte of the last character bank
    ASSERT_TRUE(load_image(largest));
    EXPECT_EQ(0x66, machine.chr_mem[sizeof machine.chr_mem - 1]);
}

// Power-on sets every field it owns, whatever was there before: only P, the
// work RAM and the status register are left to the zero-filled start.
TEST(Loader, PowerOnStateAndCharacterRam) {
    clear_machine();
    std::memset(machine.chr_mem, 0xA5, sizeof machine.chr_mem);
    std::memset(machine.oam, 0x12, sizeof machine.oam);
    std::memset(machine.palette_ram, 0x12, sizeof machine.palette_ram);
    std::memset(machine.nametable_ram, 0x12, sizeof machine.nametable_ram);
    machine.A = machine.X = machine.Y = machine.S = 0x12;
    machine.prg_bank_offset = machine.chr_bank_offset = PrgBankSize;
    machine.page_crossed = 1;
    machine.vram_addr = machine.temp_addr = 0x1234;
    machine.ppu_ctrl = machine.ppu_mask = machine.oam_addr = machine.read_buffer = 0x12;
    machine.fine_x = machine.write_toggle = 1;
    machine.PadState = machine.pad_shift = 0x12;
    machine.channels[ChannelNoise].volume.store(9);
    machine.dmc_bytes_left.store(9);

    Image image = make_image(2, 0, 0x01);
    const std::vector<uint8_t> palette = test_palette();
    ASSERT_TRUE(init_with(&image.bytes, &palette));
    EXPECT_EQ(0, machine.chr_size);
    EXPECT_EQ(1, machine.mirroring);
    EXPECT_EQ(std::vector<uint8_t>(sizeof machine.chr_mem, 0),
              std::vector<uint8_t>(machine.chr_mem, machine.chr_mem + sizeof machine.chr_mem));
    EXPECT_EQ(std::vector<uint8_t>(256, 0xFF), std::vector<uint8_t>(machine.oam, machine.oam + 256));
    EXPECT_EQ(std::vector<uint8_t>(32, 0x0F),
              std::vector<uint8_t>(machine.palette_ram, machine.palette_ram + 32));
    EXPECT_EQ(std::vector<uint8_t>(2048, 0),
              std::vector<uint8_t>(machine.nametable_ram, machine.nametable_ram + 2048));
    EXPECT_EQ(0, machine.A | machine.X | machine.Y | machine.S | machine.P);
    EXPECT_EQ(7, machine.cycle_debt);
    EXPECT_EQ(0, machine.page_crossed);
    EXPECT_EQ(0, machine.prg_bank_offset);
    EXPECT_EQ(PrgBankSize, machine.prg_fixed_offset);
    EXPECT_EQ(0, machine.chr_bank_offset);
    EXPECT_EQ(0, machine.vram_addr | machine.temp_addr | machine.fine_x | machine.write_toggle);
    EXPECT_EQ(0, machine.ppu_ctrl | machine.ppu_mask | machine.oam_addr | machine.read_buffer);
    EXPECT_EQ(0, machine.PadState | machine.pad_shift);
    EXPECT_EQ(0, machine.channels[ChannelNoise].volume.load());
    EXPECT_EQ(0, machine.dmc_bytes_left.load());
    EXPECT_EQ(0x00030201u, machine.palette[1]);

    // Character RAM takes writes through the picture unit.
    bus_write(0x2006, 0x00);
    bus_write(0x2006, 0x10);
    bus_write(0x2007, 0x99);
    EXPECT_EQ(0x99, machine.chr_mem[0x0010]);
}

// Only bit 0 of byte 6 and the two sizes count: no signature check and no
// trainer skip, so a trainer in the file becomes the start of program ROM.
TEST(Loader, HeaderBitsBeyondMirroringAreIgnored) {
    Image image = make_image(1, 1, 0x05);
    image.bytes[0] = 'X';
    image.bytes[3] = 0;
    image.bytes[7] = 0xFF;
    image.bytes[16] = 0xDE;
    image.bytes[16 + PrgBankSize] = 0xAD; // first character byte
    ASSERT_TRUE(load_image(image));
    EXPECT_EQ(1, machine.mirroring);
    EXPECT_EQ(0xDE, machine.prg_rom[0]);
    EXPECT_EQ(0xAD, machine.chr_mem[0]);
    EXPECT_EQ(ChrBankSize, machine.chr_size);

    ASSERT_TRUE(load_image(make_image(1, 1, 0xFE)));
    EXPECT_EQ(0, machine.mirroring);
}

// A header the record cannot hold, or a missing game, is refused after the
// palette is loaded and before anything else changes; a missing palette
// changes nothing at all.
TEST(Loader, RefusedImagesChangeNothingBeyondThePalette) {
    const std::vector<uint8_t> palette = test_palette();
    std::vector<Image> refused = {make_image(0, 1), make_image(33, 0), make_image(1, 5)};
    Image huge = make_image(1, 1);
    huge.bytes[4] = 0xFF;
    huge.bytes[5] = 0xFF;
    refused.push_back(huge);
    std::vector<uint8_t> tiny = {'N', 'E', 'S'};

    for (size_t i = 0; i <= refused.size(); i++) {
        std::memset(static_cast<void*>(&machine), 0x5A, sizeof machine);
        std::vector<uint8_t> expected = snapshot();
        std::memcpy(&expected[palette_offset()], static_cast<const void*>(test_palette_pixels().data()),
                    sizeof machine.palette);
        const std::vector<uint8_t>& game = i < refused.size() ? refused[i].bytes : tiny;
        EXPECT_FALSE(init_with(&game, &palette)) << "image " << i;
        EXPECT_TRUE(expected == snapshot()) << "image " << i;
    }

    std::memset(static_cast<void*>(&machine), 0x5A, sizeof machine);
    std::vector<uint8_t> expected = snapshot();
    std::memcpy(&expected[palette_offset()], static_cast<const void*>(test_palette_pixels().data()),
                sizeof machine.palette);
    EXPECT_FALSE(init_with(nullptr, &palette));
    EXPECT_TRUE(expected == snapshot());

    const Image good = make_image(1, 1);
    const std::vector<uint8_t> untouched = snapshot();
    EXPECT_FALSE(init_with(&good.bytes, nullptr));
    EXPECT_TRUE(untouched == snapshot());
}

// Short files are no error: missing palette entries are black, missing
// program bytes stay 0.
TEST(Loader, ShortFilesLeaveTheRestBlackOrZero) {
    clear_machine();
    std::memset(machine.palette, 0x77, sizeof machine.palette);
    Image image = make_image(2, 1);
    image.bytes[16] = 0x01;
    image.bytes.resize(16 + 100);
    const std::vector<uint8_t> palette = {0x10, 0x20, 0x30, 0x40};
    ASSERT_TRUE(init_with(&image.bytes, &palette));
    EXPECT_EQ(0x00302010u, machine.palette[0]);
    EXPECT_EQ(0x00000040u, machine.palette[1]);
    for (int n = 2; n < 64; n++)
        EXPECT_EQ(0u, machine.palette[n]) << n;
    EXPECT_EQ(0x01, machine.prg_rom[0]);
    EXPECT_EQ(0x0000, machine.PC); // the vector lies beyond the file's end
    EXPECT_EQ(2 * PrgBankSize, machine.prg_size);
}
