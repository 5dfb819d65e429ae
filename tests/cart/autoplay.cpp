// cart-autoplay: plays the bundled cartridge by looking at its variables and
// writes the input script of the golden run. Run it again after a change of
// the game, then refresh the golden hashes (HALVENOR_GOLDEN_UPDATE=1).
//
//   cart-autoplay LABELS PLAY_DIR SCRIPT
//
// The course: Start on the title; catch stars (jumping with A and Up in
// turn, dropping with Down now and then) and fire at meteors overhead;
// Select at frame 400; pause at 700 and resume at 790; from frame 1800 run
// under the meteors until the game is over; Start on the game-over screen;
// play on, with Select once more.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

#include "core/machine.h"
#include "video/scheduler.h"

namespace {

constexpr int PadA = 0x01, PadB = 0x02, PadSelect = 0x04, PadStart = 0x08, PadUp = 0x10, PadDown = 0x20,
              PadLeft = 0x40, PadRight = 0x80;
constexpr int ModePlay = 1, ModeOver = 2;
constexpr int Stars = 6, Meteors = 4;
constexpr int SinkY = 184;
constexpr int StartPress = 60, SelectPress = 400, PausePress = 700, ResumePress = 790, ChaseFrom = 1800;
constexpr int OverWait = 120, ReplayFrames = 400, Press = 3;

std::map<std::string, int> labels;

uint8_t var(const char* name, int index = 0) {
    return machine.ram[labels.at(name) + index];
}

bool within(int frame, int from) {
    return frame >= from && frame < from + Press;
}

// The pad for this frame while playing: chase the lowest star, or the
// lowest meteor when `chase` is set.
int play_pad(int frame, bool chase, int& jumps) {
    const int player = var("player_x") + 4;
    const bool ground = var("player_on_ground") != 0;
    int target = -1, lowest = -1;
    if (chase) {
        for (int i = 0; i < Meteors; i++)
            if (var("meteor_on", i) && var("meteor_y", i) > lowest) {
                lowest = var("meteor_y", i);
                target = var("meteor_x", i) + 4;
            }
    } else {
        for (int i = 0; i < Stars; i++)
            if (var("star_on", i) && var("star_y", i) < SinkY && var("star_y", i) > lowest) {
                lowest = var("star_y", i);
                target = var("star_x", i);
            }
    }
    int pad = 0;
    if (target >= 0) {
        if (target < player - 2) pad |= PadLeft;
        if (target > player + 2) pad |= PadRight;
        if (!chase && ground && lowest > 120 && std::abs(target - player) < 10)
            pad |= (jumps++ % 2) ? PadUp : PadA;
    }
    if (!ground && (frame / 200) % 2 == 1) pad |= PadDown;
    if (!ground && !(pad & PadDown) && !chase) pad |= PadA | PadUp;
    if (!chase && frame % 12 == 0)
        for (int i = 0; i < Meteors; i++)
            if (var("meteor_on", i) && std::abs(var("meteor_x", i) - var("player_x")) < 10) pad |= PadB;
    return pad;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: cart-autoplay LABELS PLAY_DIR SCRIPT\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    for (std::string kind, address, name; in >> kind >> address >> name;)
        labels[name.substr(1)] = std::stoi(address, nullptr, 16);
    if (labels.empty() || chdir(argv[2]) != 0 || !machine_init()) {
        std::fprintf(stderr, "cart-autoplay: cannot load the cartridge\n");
        return 1;
    }
    FILE* out = std::fopen(argv[3], "w");
    if (!out) return 1;
    std::fprintf(out, "# The golden run, written by cart-autoplay.\n");
    int last = -1, over_at = -1, replay_at = -1, jumps = 0;
    for (int frame = 0; replay_at < 0 || frame < replay_at + ReplayFrames; frame++) {
        int pad = within(frame, StartPress) ? PadStart : 0;
        if (var("mode") == ModePlay) {
            pad = play_pad(frame, frame >= ChaseFrom && replay_at < 0, jumps);
            if (within(frame, SelectPress) || (replay_at >= 0 && within(frame, replay_at + 200)))
                pad = PadSelect;
            if (frame >= PausePress && frame < ResumePress + Press)
                pad = within(frame, PausePress) || within(frame, ResumePress) ? PadStart : 0;
        } else if (var("mode") == ModeOver) {
            if (over_at < 0) over_at = frame;
            if (within(frame, over_at + OverWait)) pad = PadStart;
            if (frame == over_at + OverWait + Press) replay_at = frame;
        }
        if (pad != last) std::fprintf(out, "%d %02X\n", frame, pad);
        last = pad;
        machine.PadState = uint8_t(pad);
        run_frame();
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
