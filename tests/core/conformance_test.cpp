// Conformance with a real processor: the public reference cartridge run one
// instruction at a time against its reference log of register states and
// cycle totals. Its first 5,003 lines use documented opcodes only.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "core/cpu.h"
#include "core/machine.h"
#include "support/cartridge.h"

namespace {

constexpr int DocumentedLines = 5003;

struct LoggedState {
    unsigned pc, a, x, y, p, sp;
    long cycles;
};

bool parse_line(const std::string& line, LoggedState& s) {
    const size_t regs = line.find("A:");
    const size_t cyc = line.find("CYC:");
    if (regs == std::string::npos || cyc == std::string::npos) return false;
    return std::sscanf(line.c_str(), "%4x", &s.pc) == 1 &&
           std::sscanf(line.c_str() + regs, "A:%2x X:%2x Y:%2x P:%2x SP:%2x", &s.a, &s.x, &s.y, &s.p,
                       &s.sp) == 5 &&
           std::sscanf(line.c_str() + cyc, "CYC:%ld", &s.cycles) == 1;
}

// Bits 4 and 5 are not flags: the log shows them as another processor keeps
// them.
constexpr unsigned ComparedFlags = 0xCF;

void expect_state(const LoggedState& want, long cycles, int line) {
    SCOPED_TRACE("before log line " + std::to_string(line));
    ASSERT_EQ(want.pc, machine.PC);
    ASSERT_EQ(want.a, machine.A);
    ASSERT_EQ(want.x, machine.X);
    ASSERT_EQ(want.y, machine.Y);
    ASSERT_EQ(want.p & ComparedFlags, machine.P & ComparedFlags);
    ASSERT_EQ(want.sp, machine.S);
    ASSERT_EQ(want.cycles, cycles);
}

} // namespace

TEST(Conformance, ReferenceCartridgeMatchesLogForDocumentedOpcodes) {
    const std::string folder = HALVENOR_TESTROMS;
    std::ifstream rom(folder + "/nestest.nes", std::ios::binary);
    std::ifstream log(folder + "/nestest.log");
    if (!rom || !log) GTEST_SKIP() << "reference cartridge or log not found in " << folder;

    Image image;
    image.bytes.assign(std::istreambuf_iterator<char>(rom), std::istreambuf_iterator<char>());
    ASSERT_GE(image.bytes.size(), 16u);
    image.prg_banks = image.bytes[4];
    ASSERT_TRUE(load_image(image));

    // The log starts the program at its automatic entry with the registers
    // another power-on would leave.
    machine.PC = 0xC000;
    machine.S = 0xFD;
    machine.P = 0x24;
    machine.cycle_debt = 0;
    long cycles = 7;

    std::string line;
    for (int n = 1; n <= DocumentedLines + 1; n++) {
        ASSERT_TRUE(std::getline(log, line)) << "log ends at line " << n;
        LoggedState want;
        ASSERT_TRUE(parse_line(line, want)) << "unreadable log line " << n << ": " << line;
        expect_state(want, cycles, n);
        if (n == DocumentedLines + 1) break;
        cycles += cpu_run(1);
    }
    // The cartridge reports failures of its documented-opcode tests here.
    EXPECT_EQ(0, machine.ram[2]);
    EXPECT_EQ(0, machine.ram[3]);
}
