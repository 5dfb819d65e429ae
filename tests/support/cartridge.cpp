#include "support/cartridge.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "core/machine.h"

Image make_image(int prg_banks, int chr_banks, uint8_t flags6) {
    Image image;
    image.prg_banks = prg_banks;
    image.bytes.assign(16 + size_t(prg_banks) * PrgBankSize + size_t(chr_banks) * ChrBankSize, 0);
    image.bytes[0] = 'N';
    image.bytes[1] = 'E';
    image.bytes[2] = 'S';
    image.bytes[3] = 0x1A;
    image.bytes[4] = uint8_t(prg_banks);
    image.bytes[5] = uint8_t(chr_banks);
    image.bytes[6] = flags6;
    return image;
}

uint8_t& fixed_byte(Image& image, uint32_t address) {
    const size_t last_bank = 16 + size_t(image.prg_banks - 1) * PrgBankSize;
    return image.bytes[last_bank + (address - 0xC000)];
}

void put_program(Image& image, uint32_t origin, const std::vector<uint8_t>& code) {
    for (size_t i = 0; i < code.size(); i++)
        fixed_byte(image, uint32_t(origin + i)) = code[i];
    fixed_byte(image, 0xFFFC) = uint8_t(origin & 0xFF);
    fixed_byte(image, 0xFFFD) = uint8_t(origin >> 8);
}

void set_nmi_vector(Image& image, uint32_t address) {
    fixed_byte(image, 0xFFFA) = uint8_t(address & 0xFF);
    fixed_byte(image, 0xFFFB) = uint8_t(address >> 8);
}

// A new folder under the system's temporary one: the first free name of
// the process's own, so that tests running at once never share one.
std::string make_temp_folder() {
    static unsigned made = 0;
    std::error_code failed;
    const std::filesystem::path base = std::filesystem::temp_directory_path(failed);
    if (failed) return std::string();
    for (int tries = 0; tries < 1000; tries++) {
        const std::filesystem::path path =
            base / ("halvenor-test-" + std::to_string(getpid()) + "-" + std::to_string(made++));
        if (std::filesystem::create_directory(path, failed)) return path.generic_string();
        if (failed) return std::string();
    }
    return std::string();
}

void remove_folder(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void write_file(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> test_palette() {
    std::vector<uint8_t> bytes(192);
    for (int n = 0; n < 64; n++) {
        bytes[size_t(3 * n)] = uint8_t(n);
        bytes[size_t(3 * n + 1)] = uint8_t(n + 1);
        bytes[size_t(3 * n + 2)] = uint8_t(n + 2);
    }
    return bytes;
}

void clear_machine() {
    // The record starts zero-filled at process start; tests restore that.
    // Its atomics are lock-free 32-bit words, for which all-zero bytes are 0.
    std::memset(static_cast<void*>(&machine), 0, sizeof machine);
}

bool load_image(const Image& image, const std::vector<uint8_t>& palette) {
    clear_machine();
    const std::string folder = make_temp_folder();
    write_file(folder, "game.nes", image.bytes);
    write_file(folder, "palette.pal", palette);
    char previous[4096];
    if (!getcwd(previous, sizeof previous))
        return false;
    bool ok = chdir(folder.c_str()) == 0 && machine_init();
    ok = (chdir(previous) == 0) && ok;
    remove_folder(folder);
    return ok;
}

bool load_image(const Image& image) { return load_image(image, test_palette()); }
