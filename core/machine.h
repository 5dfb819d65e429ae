// The one record of all emulated-console state, its power-on, and the fatal
// stop shared by the whole program.
//
// Every field lives in `machine`, a zero-filled static record set up once by
// `machine_init`; there is no reset afterwards. Fields are grouped by the
// subsystem that owns them.
//
// The sound fields are shared with the audio thread: they are std::atomic and
// are only ever loaded and stored whole with relaxed order, so no access is a
// data race. Everything else belongs to the main thread alone.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int ScreenWidth = 256;
constexpr int ScreenHeight = 240;
constexpr int ScreenPixels = ScreenWidth * ScreenHeight;

constexpr int PrgBankSize = 16384;
constexpr int MaxPrgBanks = 32;
constexpr int ChrBankSize = 8192;
constexpr int MaxChrBanks = 4;

// Pixels are 0x00BBGGRR: red in the low byte, the host texture's ABGR8888.
using PaletteTable = uint32_t[64];

// Synthesis state of one sound channel.
struct ToneChannel {
    std::atomic<uint32_t> phase;       // 16 fractional bits per wave step
    std::atomic<int32_t> phase_step;   // added to phase once per output sample
    std::atomic<int32_t> wave_offset;  // pulse: duty wave start; noise: mode flag 0 or 0x80
    std::atomic<int32_t> volume;       // 0..15, moves toward target_volume
    std::atomic<int32_t> target_volume;
};

constexpr int ChannelPulse1 = 0;
constexpr int ChannelPulse2 = 1;
constexpr int ChannelTriangle = 2;
constexpr int ChannelNoise = 3;
constexpr int ChannelSample = 4;
constexpr int ChannelCount = 5;

constexpr int NoiseLongLength = 32767;
constexpr int NoiseShortLength = 93;

struct Machine {
    // --- Cartridge and master palette ---------------------------------------
    PaletteTable palette;
    uint8_t prg_rom[PrgBankSize * MaxPrgBanks];
    int32_t prg_size;
    int32_t prg_mask;
    uint8_t chr_mem[ChrBankSize * MaxChrBanks];
    int32_t chr_size; // 0: the cartridge has character RAM
    int32_t mirroring;

    // --- Bus and bank register ----------------------------------------------
    uint8_t ram[2048];
    int32_t prg_bank_offset;  // bank shown at $8000-$BFFF
    int32_t prg_fixed_offset; // last bank, shown at $C000-$FFFF
    int32_t chr_bank_offset;  // applies to $2007 pattern accesses only

    // --- Processor ----------------------------------------------------------
    uint8_t A, X, Y, S, P;
    uint16_t PC;
    int32_t cycle_debt; // cycles spent outside a budget, charged by the next cpu_run
    int32_t page_crossed;

    // --- Picture unit -------------------------------------------------------
    uint8_t ppu_ctrl;
    uint8_t ppu_mask;
    uint8_t ppu_status;
    uint8_t oam_addr;
    uint16_t vram_addr;
    uint16_t temp_addr;
    uint16_t fine_x;
    uint16_t write_toggle;
    uint8_t read_buffer;
    uint8_t oam[256];
    uint8_t nametable_ram[2048];
    uint8_t palette_ram[32];
    uint8_t bg_index[ScreenPixels];     // background palette index per pixel, 0 = transparent
    uint8_t sprite_layer[ScreenPixels]; // sprite pixels of the last drawn layer

    // --- Sound (shared with the audio thread) -------------------------------
    ToneChannel channels[ChannelCount];
    int32_t pulse1_period;
    int32_t pulse2_period;
    int32_t triangle_period;
    std::atomic<int32_t> noise_sample;
    std::atomic<uint32_t> noise_position;
    uint8_t noise_long_table[NoiseLongLength];
    uint8_t noise_short_table[NoiseShortLength];
    std::atomic<int32_t> dmc_rate_reg;
    std::atomic<int32_t> dmc_address_reg;
    std::atomic<int32_t> dmc_length_reg;
    std::atomic<int32_t> dmc_address;
    std::atomic<int32_t> dmc_bytes_left;
    std::atomic<int32_t> dmc_byte;
    std::atomic<int32_t> dmc_bit;
    std::atomic<int32_t> dmc_level;

    // --- Controller port ----------------------------------------------------
    uint8_t PadState; // A=0x01 B=0x02 Select=0x04 Start=0x08 Up=0x10 Down=0x20 Left=0x40 Right=0x80
    uint8_t pad_shift;
};

extern Machine machine;

// The finished picture of the last frame, row-major, 0x00BBGGRR.
extern uint32_t FrameBuffer[ScreenPixels];

// Loads "palette.pal" and "game.nes" from the working directory and sets the
// power-on state. False when a file is missing or the image's header asks for
// banks the record cannot hold.
bool machine_init();

// Prints the formatted message to standard output and ends the process with
// status -1; exit handlers run.
[[noreturn]] void fatal_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where a player started without a console (from a file manager, or as a
// web page) shows the message too, once it is printed; null prints only.
extern void (*fatal_notice)(const char* message);
