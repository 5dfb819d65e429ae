// halvenor-headless: runs the cartridge in a folder as the player would, with
// no window and no sound device, for developers, tests and benchmarks.
//
//   halvenor-headless [DIR] [--frames N] [--input FILE] [--png FRAME:FILE]...
//                     [--hash] [--trace FILE] [--bench] [--wav FILE] [--interpolated]
//
// Index:
//   options        - command line into a RunOptions record
//   input script   - "FRAME HEX" lines into controller changes
//   outputs        - frame hash, PNG pictures, instruction trace
//   main           - load, run the frames, report
//
// --bench times the frame loop with whatever else the options ask of it, so
// a pure speed figure comes from --bench alone.
//
// Exit status: 0 done, 1 an output could not be written, 2 a bad option or
// script, 255 the cartridge could not be loaded (as the player).
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/synth.h"
#include "core/cpu.h"
#include "core/machine.h"
#include "tools/wav.h"
#include "video/scheduler.h"

namespace {

constexpr int ExitOutputFailed = 1;
constexpr int ExitBadUsage = 2;
constexpr int64_t DefaultFrames = 60;
constexpr int64_t MaxFrames = 1000000000;
constexpr int SoundFramesPerFrame = 44100 / 60;
constexpr int ShownTop = 8;
constexpr int ShownHeight = 224;

constexpr uint64_t FnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t FnvPrime = 0x100000001B3ull;

const char* const UsageLine =
    "usage: halvenor-headless [DIR] [--frames N] [--input FILE] [--png FRAME:FILE]... "
    "[--hash] [--trace FILE] [--bench] [--wav FILE] [--interpolated]";

struct PngRequest {
    int64_t frame; // frames run before the picture is taken
    std::string path;
};

struct PadChange {
    int64_t frame; // first frame that sees the new byte
    uint8_t pad;
};

struct RunOptions {
    std::string dir = ".";
    bool dir_given = false;
    int64_t frames = DefaultFrames;
    std::string input;
    std::vector<PngRequest> pngs;
    bool hash = false;
    std::string trace;
    bool bench = false;
    std::string wav;
    bool interpolated = false;
};

// ---------------------------------------------------------------------------
// Options
// ---------------------------------------------------------------------------

int usage_error(const std::string& problem) {
    std::fprintf(stderr, "halvenor-headless: %s. %s\n", problem.c_str(), UsageLine);
    return ExitBadUsage;
}

// A decimal count from 0 to `limit`, digits only.
bool parse_count(const std::string& text, int64_t limit, int64_t& out) {
    if (text.empty() || text.size() > 12) return false;
    int64_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + (ch - '0');
    }
    if (value > limit) return false;
    out = value;
    return true;
}

// Returns 0 when the options are usable, else the exit status after the
// message has been printed.
int parse_options(int argc, char** argv, RunOptions& options) {
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        const bool takes_value =
            arg == "--frames" || arg == "--input" || arg == "--png" || arg == "--trace" || arg == "--wav";
        if (takes_value && i + 1 >= argc) return usage_error(arg + " needs a value");
        const std::string value = takes_value ? argv[++i] : std::string();
        if (arg == "--frames") {
            if (!parse_count(value, MaxFrames, options.frames))
                return usage_error("bad frame count '" + value + "'");
        } else if (arg == "--input") {
            options.input = value;
        } else if (arg == "--png") {
            const size_t colon = value.find(':');
            PngRequest request;
            if (colon == std::string::npos || colon + 1 == value.size() ||
                !parse_count(value.substr(0, colon), MaxFrames, request.frame))
                return usage_error("bad picture request '" + value + "' (want FRAME:FILE)");
            request.path = value.substr(colon + 1);
            options.pngs.push_back(request);
        } else if (arg == "--trace") {
            options.trace = value;
        } else if (arg == "--wav") {
            options.wav = value;
        } else if (arg == "--hash") {
            options.hash = true;
        } else if (arg == "--bench") {
            options.bench = true;
        } else if (arg == "--interpolated") {
            options.interpolated = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage_error("unknown option '" + arg + "'");
        } else if (options.dir_given) {
            return usage_error("more than one folder given");
        } else {
            options.dir = arg;
            options.dir_given = true;
        }
        if (takes_value && value.empty()) return usage_error(arg + " needs a value");
    }
    for (const PngRequest& request : options.pngs)
        if (request.frame > options.frames)
            return usage_error("picture after frame " + std::to_string(request.frame) + " but only " +
                               std::to_string(options.frames) + " frames run");
    if (options.interpolated && options.wav.empty()) return usage_error("--interpolated needs --wav");
    if (!options.wav.empty() && options.frames * SoundFramesPerFrame > int64_t(WavMaxFrames))
        return usage_error("too many frames for one WAV file");
    return 0;
}

// ---------------------------------------------------------------------------
// Input script
// ---------------------------------------------------------------------------

bool parse_hex_byte(const std::string& text, uint8_t& out) {
    if (text.empty() || text.size() > 8) return false;
    uint32_t value = 0;
    for (char ch : text) {
        int digit;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        else
            return false;
        value = value * 16 + uint32_t(digit);
    }
    if (value > 0xFF) return false;
    out = uint8_t(value);
    return true;
}

// Splits a line into whitespace-separated words.
std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])))
            at++;
        const size_t start = at;
        while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at])))
            at++;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

// Reads the script into changes ordered by frame; a later line for the same
// frame wins. Returns 0, or the exit status after the message.
int load_script(const std::string& path, std::vector<PadChange>& changes) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "halvenor-headless: cannot read input script %s\n", path.c_str());
        return ExitBadUsage;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        const std::vector<std::string> words = words_of(line);
        if (words.empty() || words[0][0] == '#') continue;
        PadChange change;
        if (words.size() != 2 || !parse_count(words[0], MaxFrames, change.frame) ||
            !parse_hex_byte(words[1], change.pad)) {
            std::fprintf(stderr,
                         "halvenor-headless: %s:%d: expected \"FRAME HEX\" (a frame number and a byte)\n",
                         path.c_str(), number);
            return ExitBadUsage;
        }
        changes.push_back(change);
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const PadChange& a, const PadChange& b) { return a.frame < b.frame; });
    return 0;
}

// ---------------------------------------------------------------------------
// Outputs
// ---------------------------------------------------------------------------

uint64_t frame_hash() {
    const auto* bytes = reinterpret_cast<const uint8_t*>(FrameBuffer);
    uint64_t hash = FnvOffsetBasis;
    for (size_t i = 0; i < sizeof FrameBuffer; i++)
        hash = (hash ^ bytes[i]) * FnvPrime;
    return hash;
}

// The rows the player shows, as an opaque RGB picture.
bool save_png(const std::string& path) {
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(FrameBuffer + ShownTop * ScreenWidth, ScreenWidth, ShownHeight, 32,
                                           ScreenWidth * 4, SDL_PIXELFORMAT_XBGR8888);
    if (!surface) return false;
    const bool ok = IMG_SavePNG(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return ok;
}

FILE* trace_file;

void trace_instruction(uint8_t opcode) {
    std::fprintf(trace_file, "PC:%04X OP:%02X A:%02X X:%02X Y:%02X P:%02X S:%02X\n", machine.PC, opcode,
                 machine.A, machine.X, machine.Y, machine.P, machine.S);
}

int output_error(const std::string& what, const std::string& path) {
    std::fprintf(stderr, "halvenor-headless: cannot write %s %s\n", what.c_str(), path.c_str());
    return ExitOutputFailed;
}

// machine_init reads from the working folder: enter the cartridge's folder
// for it and come back, so that output paths stay relative to where the
// tool was started.
bool load_cartridge(const std::string& dir) {
    std::error_code error;
    const std::filesystem::path start = std::filesystem::current_path(error);
    if (error) return false;
    std::filesystem::current_path(dir, error);
    if (error) return false;
    const bool loaded = machine_init();
    std::filesystem::current_path(start, error);
    return loaded && !error;
}

} // namespace

// ---------------------------------------------------------------------------
// Main
// ---------------------------------------------------------------------------

int main(int argc, char** argv) {
    RunOptions options;
    if (const int status = parse_options(argc, argv, options)) return status;
    std::vector<PadChange> changes;
    if (!options.input.empty())
        if (const int status = load_script(options.input, changes)) return status;

    if (!load_cartridge(options.dir)) fatal_error("Unable to initialize emulator\n");

    static char trace_buffer[1 << 16];
    if (!options.trace.empty()) {
        trace_file = std::fopen(options.trace.c_str(), "w");
        if (!trace_file) return output_error("trace", options.trace);
        std::setvbuf(trace_file, trace_buffer, _IOFBF, sizeof trace_buffer);
        cpu_trace_hook = trace_instruction;
    }
    FILE* wav = nullptr;
    if (!options.wav.empty()) {
        wav = wav_begin(options.wav.c_str());
        if (!wav) return output_error("sound", options.wav);
    }
    for (const PngRequest& request : options.pngs)
        if (request.frame == 0 && !save_png(request.path)) return output_error("picture", request.path);

    static uint8_t sound[SoundFramesPerFrame * WavFrameBytes];
    size_t next_change = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int64_t frame = 0; frame < options.frames; frame++) {
        // As the player's main loop: the controller byte is set before the
        // frame runs and holds for the whole frame.
        while (next_change < changes.size() && changes[next_change].frame <= frame)
            machine.PadState = changes[next_change++].pad;
        run_frame();
        if (options.hash)
            std::printf("frame %lld %016llX\n", static_cast<long long>(frame),
                        static_cast<unsigned long long>(frame_hash()));
        if (wav) {
            if (options.interpolated)
                synthesize_interpolated(sound, SoundFramesPerFrame);
            else
                synthesize_plain(sound, SoundFramesPerFrame);
            if (!wav_append(wav, sound, SoundFramesPerFrame)) return output_error("sound", options.wav);
        }
        for (const PngRequest& request : options.pngs)
            if (request.frame == frame + 1 && !save_png(request.path))
                return output_error("picture", request.path);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    if (trace_file) {
        cpu_trace_hook = nullptr;
        const bool failed = std::ferror(trace_file) != 0;
        if (std::fclose(trace_file) != 0 || failed) return output_error("trace", options.trace);
    }
    if (wav && !wav_finish(wav, uint32_t(options.frames * SoundFramesPerFrame)))
        return output_error("sound", options.wav);
    if (options.bench) std::printf("fps: %.1f\n", seconds > 0 ? double(options.frames) / seconds : 0.0);
    return 0;
}
