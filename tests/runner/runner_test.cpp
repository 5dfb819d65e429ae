// The headless runner as a developer runs it: small cartridges assembled
// here, checked pixel by pixel through its pictures; its options, scripts,
// hashes, trace and sound file; and the public test cartridge's menu.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "support/cartridge.h"

namespace {

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs the tool with `args` from `folder`.
RunResult run_tool(const std::string& folder, const std::string& args) {
    const std::string command =
        "cd '" + folder + "' && '" HALVENOR_HEADLESS "' " + args + " >out.txt 2>err.txt";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_text(folder + "/out.txt"),
            read_text(folder + "/err.txt")};
}

// A folder holding the cartridge and the test palette (entry n = n, n+1, n+2).
struct Folder {
    std::string path = make_temp_folder();
    ~Folder() { remove_folder(path); }
};

void put_cartridge(const Folder& folder, const Image& image) {
    write_file(folder.path, "game.nes", image.bytes);
    write_file(folder.path, "palette.pal", test_palette());
}

uint32_t test_colour(int entry) {
    return uint32_t(entry) | uint32_t(entry + 1) << 8 | uint32_t(entry + 2) << 16;
}

// Pixels of a PNG as 0x00BBGGRR, row-major.
std::vector<uint32_t> load_png(const std::string& path, int& width, int& height) {
    std::vector<uint32_t> pixels;
    SDL_Surface* loaded = IMG_Load(path.c_str());
    if (!loaded) return pixels;
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(loaded);
    if (!rgb) return pixels;
    width = rgb->w;
    height = rgb->h;
    for (int y = 0; y < height; y++) {
        const auto* row = static_cast<const uint8_t*>(rgb->pixels) + y * rgb->pitch;
        for (int x = 0; x < width; x++)
            pixels.push_back(uint32_t(row[3 * x]) | uint32_t(row[3 * x + 1]) << 8 |
                             uint32_t(row[3 * x + 2]) << 16);
    }
    SDL_FreeSurface(rgb);
    return pixels;
}

// A character-RAM cartridge that fills palette, patterns, nametable and
// attributes, copies one sprite in by DMA and turns the picture on:
//   tiles alternate 1 (all value 1) and 2 (all value 2) along each row;
//   every attribute byte is $E4, so a tile's group is its quadrant number;
//   sprite 0: tile 3 (a diagonal), palette 1, flipped horizontally, at (64, 48).
Image picture_cartridge() {
    Image image = make_image(1, 0, 1);
    const std::vector<uint8_t> program = {
        // palette: $3F00 <- 32 bytes from $C100
        0xA9, 0x3F, 0x8D, 0x06, 0x20, 0xA9, 0x00, 0x8D, 0x06, 0x20, 0xA2, 0x00, //
        0xBD, 0x00, 0xC1, 0x8D, 0x07, 0x20, 0xE8, 0xE0, 0x20, 0xD0, 0xF5,       //
        // patterns: $0010 <- 48 bytes from $C120 (tiles 1, 2, 3)
        0xA9, 0x00, 0x8D, 0x06, 0x20, 0xA9, 0x10, 0x8D, 0x06, 0x20, 0xA2, 0x00, //
        0xBD, 0x20, 0xC1, 0x8D, 0x07, 0x20, 0xE8, 0xE0, 0x30, 0xD0, 0xF5,       //
        // nametable $2000: 240 x (1, 2, 1, 2)
        0xA9, 0x20, 0x8D, 0x06, 0x20, 0xA9, 0x00, 0x8D, 0x06, 0x20, 0xA2, 0xF0, //
        0xA9, 0x01, 0x8D, 0x07, 0x20, 0xA9, 0x02, 0x8D, 0x07, 0x20,             //
        0xA9, 0x01, 0x8D, 0x07, 0x20, 0xA9, 0x02, 0x8D, 0x07, 0x20, 0xCA, 0xD0, 0xE9,
        // attributes: 64 x $E4
        0xA2, 0x40, 0xA9, 0xE4, 0x8D, 0x07, 0x20, 0xCA, 0xD0, 0xFA, //
        // sprite page $0200: all $FF, then sprite 0
        0xA2, 0x00, 0xA9, 0xFF, 0x9D, 0x00, 0x02, 0xE8, 0xD0, 0xFA, //
        0xA9, 0x2F, 0x8D, 0x00, 0x02, 0xA9, 0x03, 0x8D, 0x01, 0x02, //
        0xA9, 0x41, 0x8D, 0x02, 0x02, 0xA9, 0x40, 0x8D, 0x03, 0x02, //
        0xA9, 0x02, 0x8D, 0x14, 0x40,                               //
        // scroll 0, 0; control 0; mask $1E; then wait forever
        0xAD, 0x02, 0x20, 0xA9, 0x00, 0x8D, 0x05, 0x20, 0x8D, 0x05, 0x20, 0x8D, 0x00, 0x20, //
        0xA9, 0x1E, 0x8D, 0x01, 0x20, 0x4C, 0x00, 0x00};
    put_program(image, 0xC000, program);
    // The closing JMP (its target left blank above) jumps to itself.
    const uint32_t jmp = 0xC000 + uint32_t(program.size()) - 3;
    fixed_byte(image, jmp + 1) = uint8_t(jmp & 0xFF);
    fixed_byte(image, jmp + 2) = uint8_t(jmp >> 8);
    for (int i = 0; i < 32; i++) // the four sprite backdrop cells repeat entry 0
        fixed_byte(image, 0xC100 + uint32_t(i)) = uint8_t((i & 3) == 0 ? 0x0D : (i * 7 + 1) & 0x3F);
    for (int r = 0; r < 8; r++) {
        fixed_byte(image, 0xC120 + uint32_t(r)) = 0xFF;               // tile 1 low plane
        fixed_byte(image, 0xC130 + 8 + uint32_t(r)) = 0xFF;           // tile 2 high plane
        fixed_byte(image, 0xC140 + uint32_t(r)) = uint8_t(0x80 >> r); // tile 3: a diagonal
    }
    return image;
}

// The picture that cartridge shows, every row, as the console draws it.
std::vector<uint32_t> expected_picture() {
    auto palette_entry = [](int index) { return (index & 3) == 0 ? 0x0D : (index * 7 + 1) & 0x3F; };
    std::vector<uint32_t> pixels(256 * 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 256; x++) {
            const int tx = x / 8, ty = y / 8;
            const int value = tx % 2 == 0 ? 1 : 2;
            const int group = ((tx / 2) & 1) + 2 * ((ty / 2) & 1);
            pixels[size_t(y * 256 + x)] = test_colour(palette_entry(group * 4 + value));
        }
    for (int r = 0; r < 8; r++)
        pixels[size_t((48 + r) * 256 + 64 + 7 - r)] = test_colour(palette_entry(0x15));
    return pixels;
}

uint64_t fnv1a(const std::vector<uint32_t>& pixels) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (uint32_t pixel : pixels)
        for (int byte = 0; byte < 4; byte++)
            hash = (hash ^ ((pixel >> (8 * byte)) & 0xFF)) * 0x100000001B3ull;
    return hash;
}

// Each frame's NMI reads the controller and makes the byte (low six bits)
// the backdrop colour; every tile is transparent, so the whole picture
// shows it.
Image controller_cartridge() {
    Image image = make_image(1, 0, 1);
    put_program(image, 0xC000,
                {0xA9, 0x0A, 0x8D, 0x01, 0x20, 0xA9, 0x80, 0x8D, 0x00, 0x20, 0x4C, 0x0A, 0xC0});
    const std::vector<uint8_t> nmi = {0xA9, 0x01, 0x8D, 0x16, 0x40, 0xA9, 0x00, 0x8D, 0x16, 0x40, // strobe
                                      0xA2, 0x08, 0xAD, 0x16, 0x40, 0x4A, 0x66, 0x00, 0xCA, 0xD0,
                                      0xF7, // 8 reads into $00
                                      0xA9, 0x3F, 0x8D, 0x06, 0x20, 0xA9, 0x00, 0x8D, 0x06, 0x20, //
                                      0xA5, 0x00, 0x29, 0x3F, 0x8D, 0x07, 0x20, 0x40};
    for (size_t i = 0; i < nmi.size(); i++)
        fixed_byte(image, 0xC200 + uint32_t(i)) = nmi[i];
    set_nmi_vector(image, 0xC200);
    return image;
}

} // namespace

TEST(Runner, DrawsASmallCartridgePixelByPixel) {
    Folder folder;
    put_cartridge(folder, picture_cartridge());
    const RunResult result = run_tool(folder.path, "--frames 3 --png 2:two.png --png 3:three.png --hash");
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<uint32_t> expected = expected_picture();
    for (const char* name : {"two.png", "three.png"}) {
        int width = 0, height = 0;
        const std::vector<uint32_t> shown = load_png(folder.path + "/" + name, width, height);
        ASSERT_EQ(width, 256);
        ASSERT_EQ(height, 224);
        for (int y = 0; y < 224; y++)
            for (int x = 0; x < 256; x++)
                ASSERT_EQ(shown[size_t(y * 256 + x)], expected[size_t((y + 8) * 256 + x)])
                    << name << " at " << x << "," << y + 8;
    }
    // The hash covers all 240 rows, four bytes per pixel, red first.
    const std::vector<std::string> lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), 3u);
    char want[64];
    std::snprintf(want, sizeof want, "frame 2 %016llX", static_cast<unsigned long long>(fnv1a(expected)));
    EXPECT_EQ(lines[2], want);
    EXPECT_EQ(lines[1].substr(0, 8), "frame 1 ");
}

TEST(Runner, HashesAreTheSameOnEveryRun) {
    Folder folder;
    put_cartridge(folder, picture_cartridge());
    const RunResult first = run_tool(folder.path, "--frames 5 --hash");
    const RunResult second = run_tool(folder.path, "--frames 5 --hash");
    ASSERT_EQ(first.status, 0);
    EXPECT_EQ(first.out, second.out);
    const std::vector<std::string> lines = lines_of(first.out);
    ASSERT_EQ(lines.size(), 5u);
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string prefix = "frame " + std::to_string(i) + " ";
        ASSERT_EQ(lines[i].substr(0, prefix.size()), prefix);
        const std::string hex = lines[i].substr(prefix.size());
        EXPECT_EQ(hex.size(), 16u);
        EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    }
}

TEST(Runner, InputScriptSetsThePadFromItsFrameOn) {
    Folder folder;
    put_cartridge(folder, controller_cartridge());
    write_file(folder.path, "pad.txt", {'#', ' ',  'p', 'a', 'd', '\n', '\n', '0', ' ', '0', '0',  '\n', ' ',
                                        '3', '\t', '1', '5', ' ', '\n', '5',  ' ', '2', 'a', '\r', '\n'});
    const RunResult result =
        run_tool(folder.path, "--frames 6 --input pad.txt --png 3:a.png --png 4:b.png --png 6:c.png");
    ASSERT_EQ(result.status, 0) << result.err;
    const std::pair<const char*, int> expected[] = {{"a.png", 0x00}, {"b.png", 0x15}, {"c.png", 0x2A}};
    for (const auto& [name, entry] : expected) {
        int width = 0, height = 0;
        const std::vector<uint32_t> shown = load_png(folder.path + "/" + name, width, height);
        ASSERT_EQ(shown.size(), 256u * 224u) << name;
        EXPECT_EQ(std::set<uint32_t>(shown.begin(), shown.end()), std::set<uint32_t>{test_colour(entry)})
            << name;
    }
}

TEST(Runner, ScriptErrorsNameTheFileAndLine) {
    Folder folder;
    put_cartridge(folder, controller_cartridge());
    const std::vector<std::string> bad_lines = {"3", "x 10", "3 1FF", "3 10 7", "-1 10", "3 zz"};
    for (const std::string& bad : bad_lines) {
        const std::string text = "0 01\n# fine so far\n" + bad + "\n";
        write_file(folder.path, "bad.txt", std::vector<uint8_t>(text.begin(), text.end()));
        const RunResult result = run_tool(folder.path, "--input bad.txt");
        EXPECT_EQ(result.status, 2) << bad;
        EXPECT_NE(result.err.find("bad.txt:3"), std::string::npos) << bad << ": " << result.err;
        EXPECT_EQ(result.out, "") << bad;
    }
    const RunResult missing = run_tool(folder.path, "--input nowhere.txt");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("nowhere.txt"), std::string::npos);
}

TEST(Runner, BadOptionsPrintOneUsageLineAndExitTwo) {
    Folder folder;
    put_cartridge(folder, controller_cartridge());
    const std::vector<std::string> bad = {"--frames",
                                          "--frames x",
                                          "--frames -1",
                                          "--frames 1e3",
                                          "--png 5",
                                          "--png x:a.png",
                                          "--png 5:",
                                          "--bogus",
                                          "-h",
                                          ". .",
                                          "--trace",
                                          "--wav",
                                          "--frames 10 --png 11:a.png",
                                          "--interpolated",
                                          "--input"};
    for (const std::string& args : bad) {
        const RunResult result = run_tool(folder.path, args);
        EXPECT_EQ(result.status, 2) << args;
        EXPECT_EQ(lines_of(result.err).size(), 1u) << args << ": " << result.err;
        EXPECT_NE(result.err.find("usage: halvenor-headless [DIR]"), std::string::npos) << args;
        EXPECT_EQ(result.out, "") << args;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path + "/a.png"));
}

TEST(Runner, UnloadableCartridgeStopsAsThePlayerDoes) {
    Folder folder;
    for (const std::string& dir : {folder.path, folder.path + "/absent"}) {
        const RunResult result = run_tool(folder.path, "'" + dir + "' --hash");
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, "Unable to initialize emulator\n");
    }
}

TEST(Runner, TraceSoundFileAndBenchmarkLine) {
    Folder folder;
    put_cartridge(folder, controller_cartridge());
    const RunResult result = run_tool(folder.path, "--frames 3 --trace trace.txt --wav sound.wav --bench");
    ASSERT_EQ(result.status, 0) << result.err;

    const std::vector<std::string> trace = lines_of(read_text(folder.path + "/trace.txt"));
    ASSERT_GT(trace.size(), 3u);
    EXPECT_EQ(trace[0], "PC:C000 OP:A9 A:00 X:00 Y:00 P:00 S:00");
    EXPECT_EQ(trace[1], "PC:C002 OP:8D A:0A X:00 Y:00 P:00 S:00");
    EXPECT_EQ(trace[3], "PC:C007 OP:8D A:80 X:00 Y:00 P:80 S:00");
    size_t nmi_entries = 0;
    for (const std::string& line : trace)
        nmi_entries += line.rfind("PC:C200 ", 0) == 0;
    EXPECT_EQ(nmi_entries, 2u) << "frames 1 and 2 enter the handler";

    const std::string wav = read_text(folder.path + "/sound.wav");
    ASSERT_EQ(wav.size(), 44u + 3u * 735u * 4u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 |
               uint32_t(uint8_t(wav[at + 2])) << 16 | uint32_t(uint8_t(wav[at + 3])) << 24;
    };
    EXPECT_EQ(u32(4), wav.size() - 8);
    EXPECT_EQ(u32(20), 0x00020001u); // PCM, two channels
    EXPECT_EQ(u32(24), 44100u);
    EXPECT_EQ(u32(32), 0x00100004u); // 4-byte frames of 16-bit samples
    EXPECT_EQ(u32(40), 3u * 735u * 4u);

    const std::vector<std::string> out = lines_of(result.out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back().rfind("fps: ", 0), 0u) << out.back();
    EXPECT_EQ(out.back().find('.'), out.back().size() - 2) << "one decimal";
}

TEST(Runner, PublicTestCartridgeShowsItsMenu) {
    const std::string cartridge = std::string(HALVENOR_TESTROMS) + "/nestest.nes";
    if (!std::filesystem::exists(cartridge))
        GTEST_SKIP() << "no public test cartridges beside the repository (" << HALVENOR_TESTROMS << ")";
    Folder folder;
    std::filesystem::copy_file(cartridge, folder.path + "/game.nes");
    write_file(folder.path, "palette.pal", test_palette());
    const RunResult first = run_tool(folder.path, "--frames 60 --hash --png 60:menu.png");
    const RunResult second = run_tool(folder.path, "--frames 60 --hash");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(lines_of(first.out).size(), 60u);
    EXPECT_EQ(first.out, second.out);
    int width = 0, height = 0;
    const std::vector<uint32_t> menu = load_png(folder.path + "/menu.png", width, height);
    ASSERT_EQ(menu.size(), 256u * 224u);
    EXPECT_GT(std::set<uint32_t>(menu.begin(), menu.end()).size(), 1u);
}
