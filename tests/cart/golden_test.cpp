// The bundled cartridge end to end through the headless runner: the golden
// run's pictures and sound, and a long run of scripted play.
//
// The golden run replays golden/script.txt and compares the frame hashes at
// the checkpoints of golden/checkpoints.txt, and three of its pictures pixel
// by pixel. A mismatch names the checkpoint and leaves the picture the run
// produced in the build folder. After an intended change of the game or of
// the emulation, HALVENOR_GOLDEN_UPDATE=1 rewrites the hashes and pictures;
// after a change of the game's course, cart-autoplay rewrites the script.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

constexpr int SoundFramesPerFrame = 44100 / 60;
constexpr size_t WavHeaderBytes = 44;

struct Checkpoint {
    std::string name;
    int frames;          // frames run before the checkpoint
    std::string hash;    // of the picture after those frames
    std::string picture; // expected picture in golden/, or empty
};

struct Window {
    int from, to; // frames [from, to)
};

struct Golden {
    std::vector<Checkpoint> checkpoints;
    std::vector<Window> sounding, silent;
    int frames = 0;
};

Golden read_golden() {
    Golden golden;
    std::ifstream in(CART_GOLDEN_DIR "/checkpoints.txt");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        if (!(words >> kind) || kind[0] == '#') continue;
        if (kind == "checkpoint") {
            Checkpoint c;
            words >> c.name >> c.frames >> c.hash >> c.picture;
            golden.checkpoints.push_back(c);
        } else if (kind == "sounding" || kind == "silent") {
            Window w{};
            words >> w.from >> w.to;
            (kind == "silent" ? golden.silent : golden.sounding).push_back(w);
        } else if (kind == "frames") {
            words >> golden.frames;
        }
    }
    return golden;
}

std::string output_dir() {
    const std::string dir = CART_OUTPUT_DIR "/golden-run";
    std::filesystem::create_directories(dir);
    return dir;
}

// Runs the runner on the play folder; returns its exit status and output.
// Each test keeps its own output file, since ctest may run them together.
int run_headless(const std::string& args, std::string& out) {
    const std::string out_path =
        output_dir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".out";
    const std::string command =
        "'" HALVENOR_HEADLESS "' '" HALVENOR_PLAY_DIR "' " + args + " >'" + out_path + "'";
    const int raw = std::system(command.c_str());
    std::ifstream in(out_path);
    std::stringstream text;
    text << in.rdbuf();
    out = text.str();
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Pixels of a picture as RGB bytes, or empty when it cannot be read.
std::vector<uint8_t> picture_pixels(const std::string& path, int& width, int& height) {
    SDL_Surface* loaded = IMG_Load(path.c_str());
    if (!loaded) return {};
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(loaded);
    if (!rgb) return {};
    width = rgb->w;
    height = rgb->h;
    std::vector<uint8_t> pixels;
    for (int y = 0; y < rgb->h; y++) {
        const auto* row = static_cast<const uint8_t*>(rgb->pixels) + y * rgb->pitch;
        pixels.insert(pixels.end(), row, row + 3 * rgb->w);
    }
    SDL_FreeSurface(rgb);
    return pixels;
}

bool updating() {
    const char* update = std::getenv("HALVENOR_GOLDEN_UPDATE");
    return update && std::string(update) == "1";
}

void write_golden(const Golden& golden, const std::map<int, std::string>& hashes) {
    std::ofstream out(CART_GOLDEN_DIR "/checkpoints.txt");
    out << "# Golden run of golden/script.txt: checkpoint NAME FRAMES HASH [PICTURE],\n"
           "# windows of frames that must sound or be silent, and the run's length.\n";
    for (const Checkpoint& c : golden.checkpoints) {
        out << "checkpoint " << c.name << ' ' << c.frames << ' ' << hashes.at(c.frames - 1);
        if (!c.picture.empty()) {
            out << ' ' << c.picture;
            std::filesystem::copy_file(output_dir() + "/" + c.name + ".png",
                                       std::string(CART_GOLDEN_DIR "/") + c.picture,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        out << '\n';
    }
    for (const Window& w : golden.sounding)
        out << "sounding " << w.from << ' ' << w.to << '\n';
    for (const Window& w : golden.silent)
        out << "silent " << w.from << ' ' << w.to << '\n';
    out << "frames " << golden.frames << '\n';
}

} // namespace

TEST(GoldenRun, CheckpointsMatch) {
    const Golden golden = read_golden();
    ASSERT_GE(golden.checkpoints.size(), 10u);
    std::string args =
        "--frames " + std::to_string(golden.frames) + " --input '" CART_GOLDEN_DIR "/script.txt' --hash";
    for (const Checkpoint& c : golden.checkpoints)
        args += " --png " + std::to_string(c.frames) + ":'" + output_dir() + "/" + c.name + ".png'";
    std::string out;
    ASSERT_EQ(run_headless(args, out), 0) << out;

    std::map<int, std::string> hashes; // frame index -> hash after it
    std::istringstream lines(out);
    for (std::string word, hash; lines >> word;) {
        int frame = 0;
        if (word == "frame" && lines >> frame >> hash) hashes[frame] = hash;
    }
    if (updating()) {
        write_golden(golden, hashes);
        GTEST_SKIP() << "golden hashes and pictures rewritten";
    }

    for (const Checkpoint& c : golden.checkpoints) {
        const std::string got_picture = output_dir() + "/" + c.name + ".png";
        EXPECT_EQ(hashes[c.frames - 1], c.hash) << "checkpoint " << c.name << " after " << c.frames
                                                << " frames differs; the picture it got: " << got_picture;
        if (c.picture.empty()) continue;
        int want_w = 0, want_h = 0, got_w = 0, got_h = 0;
        const std::vector<uint8_t> want =
            picture_pixels(std::string(CART_GOLDEN_DIR "/") + c.picture, want_w, want_h);
        const std::vector<uint8_t> got = picture_pixels(got_picture, got_w, got_h);
        ASSERT_FALSE(want.empty()) << "cannot read golden picture " << c.picture;
        ASSERT_EQ(got_w, want_w);
        ASSERT_EQ(got_h, want_h);
        size_t differing = 0;
        for (size_t i = 0; i < want.size(); i += 3)
            if (want[i] != got[i] || want[i + 1] != got[i + 1] || want[i + 2] != got[i + 2]) differing++;
        EXPECT_EQ(differing, 0u) << "checkpoint " << c.name << ": " << differing << " pixels differ from "
                                 << c.picture << "; the picture it got: " << got_picture;
    }
}

TEST(GoldenRun, SoundsInPlayAndIsSilentWhilePaused) {
    const Golden golden = read_golden();
    ASSERT_FALSE(golden.sounding.empty());
    ASSERT_FALSE(golden.silent.empty());
    const std::string wav = output_dir() + "/golden.wav";
    std::string out;
    ASSERT_EQ(run_headless("--frames " + std::to_string(golden.frames) +
                               " --input '" CART_GOLDEN_DIR "/script.txt' --wav '" + wav + "'",
                           out),
              0);
    std::ifstream in(wav, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), WavHeaderBytes + size_t(golden.frames) * SoundFramesPerFrame * 4);

    // Loudest sample of each frame's share of the recording.
    std::vector<int> peak(size_t(golden.frames), 0);
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.data() + WavHeaderBytes);
    for (int f = 0; f < golden.frames; f++)
        for (int i = 0; i < SoundFramesPerFrame * 2; i++)
            peak[size_t(f)] =
                std::max(peak[size_t(f)], std::abs(int(samples[f * SoundFramesPerFrame * 2 + i])));

    for (const Window& w : golden.sounding) {
        int sounding = 0;
        for (int f = w.from; f < w.to; f++)
            if (peak[size_t(f)] > 0) sounding++;
        // Rests fall on all four voices together only now and then.
        EXPECT_GT(sounding, (w.to - w.from) * 9 / 10) << "frames " << w.from << "-" << w.to;
    }
    for (const Window& w : golden.silent)
        for (int f = w.from; f < w.to; f++)
            EXPECT_EQ(peak[size_t(f)], 0) << "frame " << f << " sounds while paused";
}

// Thirty thousand frames of play from a fixed pseudo-random script: every
// button, Start now and then (pausing, resuming and restarting after the
// game is over). The run must end normally and the picture keep changing.
TEST(LongRun, ThirtyThousandFramesRunWithoutUnknownOpcode) {
    constexpr int Frames = 30000;
    const std::string script = output_dir() + "/long_run.txt";
    {
        std::ofstream out(script);
        uint32_t state = 12345;
        const uint8_t pads[] = {0x00, 0x01, 0x02, 0x04, 0x10, 0x20, 0x40, 0x80, 0x41, 0x81, 0x42, 0x82, 0x21};
        for (int frame = 0; frame < Frames;) {
            state = state * 1664525u + 1013904223u;
            uint8_t pad = pads[(state >> 16) % sizeof pads];
            if ((state >> 8) % 23 == 0) pad = 0x08;
            out << frame << ' ' << std::hex << int(pad) << std::dec << '\n';
            frame += 1 + int((state >> 24) % 40);
        }
    }
    // Pictures along the way: the game must still be moving at the end.
    std::string args = "--frames " + std::to_string(Frames) + " --input '" + script + "'";
    constexpr int Pictures = 6;
    for (int i = 1; i <= Pictures; i++)
        args += " --png " + std::to_string(Frames - 60 * (Pictures - i)) + ":'" + output_dir() +
                "/long_run_" + std::to_string(i) + ".png'";
    std::string out;
    const int status = run_headless(args, out);
    EXPECT_EQ(out.find("Unknown opcode"), std::string::npos);
    ASSERT_EQ(status, 0);
    std::set<std::string> pictures;
    for (int i = 1; i <= Pictures; i++) {
        int width = 0, height = 0;
        const std::vector<uint8_t> pixels =
            picture_pixels(output_dir() + "/long_run_" + std::to_string(i) + ".png", width, height);
        pictures.insert(std::string(pixels.begin(), pixels.end()));
    }
    EXPECT_GE(pictures.size(), 3u);
}
