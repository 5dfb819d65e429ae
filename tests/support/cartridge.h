// Test helpers: cartridge images made in the test, loaded into the machine
// through the real loader from a temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An iNES image: a 16-byte header and zero-filled banks.
struct Image {
    std::vector<uint8_t> bytes;
    int prg_banks;
};

Image make_image(int prg_banks, int chr_banks, uint8_t flags6 = 0);

// Byte at processor address `address` ($C000-$FFFF) of the fixed last bank.
uint8_t& fixed_byte(Image& image, uint32_t address);

// Places `code` at `origin` in the last bank and points the reset vector there.
void put_program(Image& image, uint32_t origin, const std::vector<uint8_t>& code);

// Sets the NMI vector ($FFFA) of the last bank.
void set_nmi_vector(Image& image, uint32_t address);

// A fresh temporary folder; removed with its contents by remove_folder.
std::string make_temp_folder();
void remove_folder(const std::string& path);

// Writes `name` in `folder` with the given bytes.
void write_file(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes);

// A palette whose entry n is (n, n+1, n+2) unless another is given.
std::vector<uint8_t> test_palette();

// Zero-fills the whole machine record, as at process start.
void clear_machine();

// Clears the machine, writes image and palette into a temporary folder and
// runs machine_init there. Returns its result.
bool load_image(const Image& image);
bool load_image(const Image& image, const std::vector<uint8_t>& palette);
