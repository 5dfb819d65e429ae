// The processor: flag rules, addressing wraps, cycle counts, the stack,
// interrupts, the run loop's debt contract, bus access counts and the stop on
// unknown opcodes.
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

#include "core/bus.h"
#include "core/cpu.h"
#include "core/machine.h"
#include "support/cartridge.h"
#include "support/environment.h"

namespace {

constexpr uint16_t Code = 0x0200; // programs run from work RAM
constexpr uint16_t NmiHandler = 0xC123;
constexpr uint16_t BrkHandler = 0xC456;
constexpr uint8_t C = 0x01, Z = 0x02, I = 0x04, D = 0x08, V = 0x40, N = 0x80;

// Powers on a cartridge with character RAM and known NMI and BRK vectors,
// then clears the power-on debt so that cpu_run(1) runs exactly one
// instruction and returns its cycles.
void power_on() {
    Image image = make_image(2, 0);
    put_program(image, 0xC000, {0xEA});
    set_nmi_vector(image, NmiHandler);
    fixed_byte(image, 0xFFFE) = BrkHandler & 0xFF;
    fixed_byte(image, 0xFFFF) = BrkHandler >> 8;
    ASSERT_TRUE(load_image(image));
    machine.cycle_debt = 0;
}

// Places `code` in work RAM at `at` and points PC at it.
void load_code(const std::vector<uint8_t>& code, uint16_t at = Code) {
    for (size_t i = 0; i < code.size(); i++)
        machine.ram[(at + i) & 0x7FF] = code[i];
    machine.PC = at;
}

int32_t step() {
    return cpu_run(1);
}

class Cpu : public ::testing::Test {
  protected:
    void SetUp() override { power_on(); }
};

} // namespace

// ADC and SBC against the signed-integer meaning of overflow rather than the
// bit formula, for every accumulator, operand and carry; the D flag is set
// on odd operands and must change nothing. SBC's second opcode must match.
TEST_F(Cpu, AddAndSubtractMatchIntegerArithmeticForEveryOperand) {
    for (uint8_t opcode : {0x69, 0xE9, 0xEB}) {
        const bool add = opcode == 0x69;
        for (int a = 0; a < 256; a++)
            for (int m = 0; m < 256; m++)
                for (int carry = 0; carry < 2; carry++) {
                    load_code({opcode, uint8_t(m)});
                    machine.A = uint8_t(a);
                    const uint8_t other = (m & 1) ? D | I : 0;
                    machine.P = uint8_t(carry | other);
                    ASSERT_EQ(2, step());
                    ASSERT_EQ(Code + 2, machine.PC);

                    const int sa = int8_t(a), sm = int8_t(m);
                    const int full = add ? a + m + carry : a - m - (1 - carry);
                    const int sign = add ? sa + sm + carry : sa - sm - (1 - carry);
                    const uint8_t result = uint8_t(full);
                    uint8_t want = other;
                    if (add ? full > 255 : full >= 0) want |= C;
                    if (sign < -128 || sign > 127) want |= V;
                    if (result == 0) want |= Z;
                    want |= result & N;
                    ASSERT_EQ(result, machine.A) << std::hex << "op " << +opcode << " a " << a << " m " << m;
                    ASSERT_EQ(want, machine.P) << std::hex << "op " << +opcode << " a " << a << " m " << m;
                }
    }
}

TEST_F(Cpu, CompareAndBitSetFlagsWithoutChangingRegisters) {
    struct Case {
        uint8_t opcode, reg, m, flags_before, flags_after;
    };
    // CMP, CPX, CPY immediate: C is unsigned r >= m, N is bit 7 of r - m; V
    // and the other flags are kept.
    const Case cases[] = {
        {0xC9, 0x10, 0x20, 0, N},     {0xC9, 0x20, 0x20, N, Z | C}, {0xC9, 0x80, 0x01, V, V | C},
        {0xE0, 0x00, 0xFF, C | Z, 0}, {0xC0, 0xFF, 0x00, 0, N | C}, {0xC0, 0x7F, 0x80, 0, N},
    };
    for (const Case& c : cases) {
        load_code({c.opcode, c.m});
        machine.A = machine.X = machine.Y = c.reg;
        machine.P = c.flags_before;
        EXPECT_EQ(2, step());
        EXPECT_EQ(c.flags_after, machine.P) << std::hex << +c.opcode << " " << +c.reg << " " << +c.m;
        EXPECT_EQ(c.reg, machine.A);
    }

    // BIT: N and V from the operand, Z from A AND m, A unchanged; a clear
    // operand bit clears a set flag.
    machine.ram[0x10] = 0xC0;
    load_code({0x24, 0x10});
    machine.A = 0x01;
    machine.P = C;
    EXPECT_EQ(3, step());
    EXPECT_EQ(N | V | Z | C, machine.P);
    EXPECT_EQ(0x01, machine.A);
    machine.ram[0x0310] = 0x3F;
    load_code({0x2C, 0x10, 0x03});
    machine.P = N | V | Z;
    EXPECT_EQ(4, step());
    EXPECT_EQ(0, machine.P);
}

TEST_F(Cpu, RegisterSteppingAndTransfersWrapAndSetFlags) {
    load_code({0xE8, 0x88, 0x9A, 0xBA, 0xA8});
    machine.X = 0xFF;
    machine.Y = 0x00;
    step(); // INX wraps to 0
    EXPECT_EQ(0x00, machine.X);
    EXPECT_EQ(Z, machine.P);
    step(); // DEY wraps to $FF
    EXPECT_EQ(0xFF, machine.Y);
    EXPECT_EQ(N, machine.P);
    machine.P = 0;
    step(); // TXS sets no flag even for 0
    EXPECT_EQ(0x00, machine.S);
    EXPECT_EQ(0, machine.P);
    step(); // TSX does
    EXPECT_EQ(Z, machine.P);
    machine.A = 0x80;
    step(); // TAY
    EXPECT_EQ(0x80, machine.Y);
    EXPECT_EQ(N, machine.P);
}

// Shifts and rotates on A and in memory: the carry moves in and out, N and
// Z follow the result, and the memory forms cost their fixed counts.
TEST_F(Cpu, ShiftsAndRotatesMoveTheCarry) {
    struct Case {
        uint8_t opcode, value, carry_in, result, flags;
    };
    const Case accumulator[] = {
        {0x0A, 0x81, 0, 0x02, C},     {0x0A, 0x40, 1, 0x80, N}, {0x4A, 0x01, 0, 0x00, Z | C},
        {0x4A, 0x80, 1, 0x40, 0},     {0x2A, 0x80, 1, 0x01, C}, {0x2A, 0x40, 0, 0x80, N},
        {0x6A, 0x01, 0, 0x00, Z | C}, {0x6A, 0x00, 1, 0x80, N},
    };
    for (const Case& c : accumulator) {
        load_code({c.opcode});
        machine.A = c.value;
        machine.P = c.carry_in;
        EXPECT_EQ(2, step());
        EXPECT_EQ(c.result, machine.A) << std::hex << +c.opcode << " " << +c.value;
        EXPECT_EQ(c.flags, machine.P) << std::hex << +c.opcode << " " << +c.value;
        EXPECT_EQ(Code + 1, machine.PC);
    }

    // The same operations in memory, in each of their modes; X = $10 moves
    // the indexed forms across a page without an extra cycle.
    struct Memory {
        std::vector<uint8_t> code;
        uint16_t address;
        uint8_t value, carry_in, result, flags;
        int32_t cycles;
    };
    const Memory memory[] = {
        {{0x06, 0x30}, 0x0030, 0x81, 0, 0x02, C, 5},       {{0x56, 0x20}, 0x0030, 0x01, 0, 0x00, Z | C, 6},
        {{0x2E, 0x30, 0x03}, 0x0330, 0x80, 1, 0x01, C, 6}, {{0x7E, 0xF8, 0x03}, 0x0408, 0x00, 1, 0x80, N, 7},
        {{0xE6, 0x30}, 0x0030, 0xFF, 1, 0x00, Z | C, 5},   {{0xDE, 0xF8, 0x03}, 0x0408, 0x00, 0, 0xFF, N, 7},
        {{0xFE, 0x20, 0x03}, 0x0330, 0x7F, 0, 0x80, N, 7}, {{0xD6, 0x20}, 0x0030, 0x01, 0, 0x00, Z, 6},
    };
    for (const Memory& c : memory) {
        load_code(c.code);
        machine.ram[c.address] = c.value;
        machine.A = 0x55;
        machine.X = 0x10;
        machine.P = c.carry_in;
        EXPECT_EQ(c.cycles, step()) << std::hex << +c.code[0];
        EXPECT_EQ(c.result, machine.ram[c.address]) << std::hex << +c.code[0];
        EXPECT_EQ(c.flags, machine.P) << std::hex << +c.code[0];
        EXPECT_EQ(0x55, machine.A);
        EXPECT_EQ(Code + c.code.size(), machine.PC);
    }
}

// Zero-page indexing and zero-page pointers stay in page 0; JMP indirect
// keeps its pointer's page; absolute indexing past $FFFF reaches page 0.
TEST_F(Cpu, AddressesWrapWhereTheProcessorWrapsThem) {
    machine.ram[0x0010] = 0x11;
    load_code({0xB5, 0xF0}); // LDA $F0,X
    machine.X = 0x20;
    EXPECT_EQ(4, step());
    EXPECT_EQ(0x11, machine.A);

    machine.ram[0x0001] = 0x22;
    machine.ram[0x0101] = 0xEE;
    load_code({0xB6, 0xFF}); // LDX $FF,Y
    machine.Y = 2;
    EXPECT_EQ(4, step());
    EXPECT_EQ(0x22, machine.X);

    // LDA ($FF),Y: pointer low at $00FF, high at $0000, not $0100.
    machine.ram[0x00FF] = 0x00;
    machine.ram[0x0000] = 0x05;
    machine.ram[0x0100] = 0x06;
    machine.ram[0x0503] = 0x33;
    load_code({0xB1, 0xFF});
    machine.Y = 3;
    EXPECT_EQ(5, step());
    EXPECT_EQ(0x33, machine.A);

    // STA ($FE,X) with X = 1: pointer at $00FF and $0000 again.
    load_code({0x81, 0xFE});
    machine.X = 1;
    machine.A = 0x44;
    EXPECT_EQ(6, step());
    EXPECT_EQ(0x44, machine.ram[0x0500]);

    // JMP ($10FF): low byte from $10FF, high byte from $1000 (RAM mirrors
    // of $00FF and $0000).
    machine.ram[0x0000] = 0x12;
    machine.ram[0x0100] = 0x34;
    machine.ram[0x00FF] = 0x78;
    load_code({0x6C, 0xFF, 0x10});
    EXPECT_EQ(5, step());
    EXPECT_EQ(0x1278, machine.PC);

    // LDA $FFFF,X with X = 6 reads $0005; STA $FFFA,Y with Y = 9 writes $0003.
    machine.ram[0x0005] = 0x55;
    load_code({0xBD, 0xFF, 0xFF});
    machine.X = 6;
    EXPECT_EQ(5, step());
    EXPECT_EQ(0x55, machine.A);
    load_code({0x99, 0xFA, 0xFF});
    machine.Y = 9;
    EXPECT_EQ(5, step());
    EXPECT_EQ(0x55, machine.ram[0x0003]);

    load_code({0x4C, 0x34, 0x12});
    EXPECT_EQ(3, step());
    EXPECT_EQ(0x1234, machine.PC);
}

TEST_F(Cpu, PageCrossingCostsOnlyIndexedReads) {
    struct Case {
        std::vector<uint8_t> code;
        uint8_t index;
        uint16_t reads; // RAM offset that must supply the value
        int32_t cycles;
    };
    machine.ram[0x40] = 0xF0; // pointer $03F0
    machine.ram[0x41] = 0x03;
    const Case reads[] = {
        {{0xBD, 0xFF, 0x12}, 1, 0x0300, 5}, // LDA $12FF,X reads $1300
        {{0xBD, 0xFF, 0x12}, 0, 0x02FF, 4},    {{0x79, 0xF0, 0x03}, 0x10, 0x0400, 5},
        {{0x19, 0xF0, 0x03}, 0x0F, 0x03FF, 4}, {{0xB1, 0x40}, 0x20, 0x0410, 6},       // LDA ($40),Y
        {{0xB1, 0x40}, 0x0F, 0x03FF, 5},       {{0xBE, 0xF0, 0x03}, 0x10, 0x0400, 5}, // LDX abs,Y
        {{0xBC, 0xF0, 0x03}, 0x10, 0x0400, 5},                                        // LDY abs,X
    };
    for (const Case& c : reads) {
        load_code(c.code, 0x0600);
        machine.ram[c.reads] = 0x5A;
        machine.X = machine.Y = c.index;
        machine.A = 0;
        machine.P = 0;
        EXPECT_EQ(c.cycles, step()) << std::hex << +c.code[0] << " index " << +c.index;
        const uint8_t loaded = c.code[0] == 0xBE ? machine.X : c.code[0] == 0xBC ? machine.Y : machine.A;
        EXPECT_EQ(0x5A, loaded) << std::hex << +c.code[0] << " index " << +c.index;
        machine.ram[c.reads] = 0;
    }

    // Stores cost their fixed count whether or not they cross.
    for (uint8_t index : {0, 1}) {
        load_code({0x9D, 0xFF, 0x12}, 0x0600); // STA $12FF,X
        machine.X = index;
        EXPECT_EQ(5, step());
        load_code({0x91, 0x40}, 0x0600); // STA ($40),Y
        machine.Y = uint8_t(index ? 0x20 : 0);
        EXPECT_EQ(6, step());
    }
}

TEST_F(Cpu, BranchesCostMoreWhenTakenAndAcrossAPage) {
    struct Case {
        uint16_t at;
        uint8_t opcode, offset, flags;
        uint16_t target;
        int32_t cycles;
    };
    const Case cases[] = {
        {0x02F0, 0xD0, 0x20, 0, 0x0312, 4}, // BNE taken into the next page
        {0x02F0, 0xD0, 0x02, 0, 0x02F4, 3}, // BNE taken within the page
        {0x02F0, 0xD0, 0x20, Z, 0x02F2, 2}, // not taken: just past the branch
        {0x0300, 0x30, 0xFC, N, 0x02FE, 4}, // BMI backwards across a page
        {0x0310, 0x10, 0x80, 0, 0x0292, 4}, // BPL with the most negative offset
        {0x0310, 0x90, 0x00, 0, 0x0312, 3}, // BCC, offset 0
        {0x0310, 0xB0, 0x00, 0, 0x0312, 2}, // BCS not taken
        {0x0310, 0x70, 0x10, V, 0x0322, 3}, // BVS
        {0x0310, 0x50, 0x10, V, 0x0312, 2}, // BVC not taken
        {0x0310, 0xF0, 0x7F, Z, 0x0391, 3}, // BEQ
    };
    for (const Case& c : cases) {
        load_code({c.opcode, c.offset}, c.at);
        machine.P = c.flags;
        EXPECT_EQ(c.cycles, step()) << std::hex << +c.opcode << " at " << c.at;
        EXPECT_EQ(c.target, machine.PC) << std::hex << +c.opcode << " at " << c.at;
    }

    // A branch at the top of memory wraps PC to page 0.
    Image image = make_image(1, 0);
    put_program(image, 0xFFF0, {0xF0, 0x20});
    ASSERT_TRUE(load_image(image));
    machine.cycle_debt = 0;
    machine.P = Z;
    EXPECT_EQ(4, step());
    EXPECT_EQ(0x0012, machine.PC);
}

// The stack wraps inside page $01; at power-on S is 0.
TEST_F(Cpu, StackWrapsInsidePageOne) {
    ASSERT_EQ(0, machine.S);
    ASSERT_EQ(0, machine.P);
    load_code({0x08}); // PHP as the first instruction
    EXPECT_EQ(3, step());
    EXPECT_EQ(0x30, machine.ram[0x0100]);
    EXPECT_EQ(0xFF, machine.S);

    load_code({0x48, 0x68}); // PHA, PLA with S = 0
    machine.S = 0;
    machine.A = 0x80;
    EXPECT_EQ(3, step());
    EXPECT_EQ(0x80, machine.ram[0x0100]);
    EXPECT_EQ(0xFF, machine.S);
    machine.A = 0;
    EXPECT_EQ(4, step());
    EXPECT_EQ(0x80, machine.A);
    EXPECT_EQ(N, machine.P);
    EXPECT_EQ(0x00, machine.S);

    // JSR with S = 0 pushes the high byte at $0100 and the low at $01FF;
    // RTS returns past the JSR.
    load_code({0x20, 0x34, 0x06}, 0x02FE);
    load_code({0x60}, 0x0634);
    machine.PC = 0x02FE;
    machine.S = 0;
    EXPECT_EQ(6, step());
    EXPECT_EQ(0x0634, machine.PC);
    EXPECT_EQ(0x03, machine.ram[0x0100]); // $02FE + 2 = $0300
    EXPECT_EQ(0x00, machine.ram[0x01FF]);
    EXPECT_EQ(0xFE, machine.S);
    EXPECT_EQ(6, step());
    EXPECT_EQ(0x0301, machine.PC);
    EXPECT_EQ(0x00, machine.S);
}

// Bit 4 never lives in P: pushes from PHP and BRK carry it, the NMI push
// does not, and PLP and RTI clear it. Bit 5 keeps what was pulled.
TEST_F(Cpu, StatusBitsFourAndFiveThroughPushesAndPulls) {
    machine.S = 0x80;
    machine.ram[0x0181] = 0xFF;
    load_code({0x28, 0x08}); // PLP, PHP
    EXPECT_EQ(4, step());
    EXPECT_EQ(0xEF, machine.P);
    EXPECT_EQ(3, step());
    EXPECT_EQ(0xFF, machine.ram[0x0181]);

    machine.ram[0x0181] = 0x00;
    load_code({0x28});
    machine.S = 0x80;
    step();
    EXPECT_EQ(0x00, machine.P);

    // RTI pulls P (bit 4 cleared), then PC low and high, adding nothing.
    machine.S = 0x80;
    machine.ram[0x0181] = 0xFF;
    machine.ram[0x0182] = 0x34;
    machine.ram[0x0183] = 0x12;
    load_code({0x40});
    EXPECT_EQ(6, step());
    EXPECT_EQ(0xEF, machine.P);
    EXPECT_EQ(0x1234, machine.PC);
    EXPECT_EQ(0x83, machine.S);

    // BRK pushes PC + 2 and P | $30, takes $FFFE, and leaves I clear.
    machine.S = 0x80;
    machine.P = C;
    load_code({0x00, 0xEA}, 0x02FF);
    EXPECT_EQ(7, step());
    EXPECT_EQ(BrkHandler, machine.PC);
    EXPECT_EQ(0x03, machine.ram[0x0180]);
    EXPECT_EQ(0x01, machine.ram[0x017F]);
    EXPECT_EQ(0x31, machine.ram[0x017E]);
    EXPECT_EQ(0x7D, machine.S);
    EXPECT_EQ(C, machine.P);
    EXPECT_EQ(0, machine.cycle_debt);

    // The NMI entry pushes PC and P | $20, takes $FFFA, leaves P alone,
    // runs nothing and charges its 7 cycles to the debt.
    machine.S = 0x80;
    machine.P = C;
    machine.PC = 0x0456;
    cpu_nmi();
    EXPECT_EQ(NmiHandler, machine.PC);
    EXPECT_EQ(0x04, machine.ram[0x0180]);
    EXPECT_EQ(0x56, machine.ram[0x017F]);
    EXPECT_EQ(0x21, machine.ram[0x017E]);
    EXPECT_EQ(0x7D, machine.S);
    EXPECT_EQ(C, machine.P);
    EXPECT_EQ(7, machine.cycle_debt);

    // An RTI from the handler returns exactly to the interrupted
    // instruction, with the flags it had.
    load_code({0x40}, 0x0700);
    machine.P = N | Z;
    machine.cycle_debt = 0;
    step();
    EXPECT_EQ(0x0456, machine.PC);
    EXPECT_EQ(0x21, machine.P);
}

// The worked examples of the budget contract: debt is charged before any
// instruction, an instruction that overruns the budget is counted whole,
// and debt raised during a call waits for the next.
TEST_F(Cpu, RunLoopChargesDebtBeforeInstructions) {
    std::vector<uint8_t> nops(200, 0xEA);
    load_code(nops);

    machine.cycle_debt = 513;
    EXPECT_EQ(100, cpu_run(100));
    EXPECT_EQ(413, machine.cycle_debt);
    EXPECT_EQ(Code, machine.PC);

    machine.cycle_debt = 100;
    EXPECT_EQ(100, cpu_run(100));
    EXPECT_EQ(0, machine.cycle_debt);
    EXPECT_EQ(Code, machine.PC);

    machine.cycle_debt = 7;
    EXPECT_EQ(101, cpu_run(100)); // 7 + 47 NOPs of 2 cycles
    EXPECT_EQ(0, machine.cycle_debt);
    EXPECT_EQ(Code + 47, machine.PC);

    // STA $4014 (4 cycles) then NOPs: the call runs to 10, one past its
    // budget, and the 513 cycles of the sprite copy wait for later calls.
    load_code(nops);
    load_code({0x8D, 0x14, 0x40});
    EXPECT_EQ(10, cpu_run(9));
    EXPECT_EQ(513, machine.cycle_debt);
    EXPECT_EQ(Code + 6, machine.PC);
    EXPECT_EQ(100, cpu_run(100));
    EXPECT_EQ(413, machine.cycle_debt);
    EXPECT_EQ(421, cpu_run(420));
    EXPECT_EQ(0, machine.cycle_debt);
    EXPECT_EQ(Code + 10, machine.PC);
}

// Read-modify-write instructions read their operand once and write the
// result once; stores never read. Seen through registers whose accesses
// have effects: each $2007 access advances the video address by one.
TEST_F(Cpu, EachInstructionTouchesItsOperandOnlyAsOftenAsItMust) {
    machine.vram_addr = 0x0000;
    machine.read_buffer = 0x41;
    machine.chr_mem[0] = 0x99;
    load_code({0xEE, 0x07, 0x20}); // INC $2007
    EXPECT_EQ(6, step());
    EXPECT_EQ(0x0002, machine.vram_addr);
    EXPECT_EQ(0x42, machine.chr_mem[1]); // the buffered byte plus one
    EXPECT_EQ(0x99, machine.chr_mem[0]); // no write-back of the old value
    EXPECT_EQ(0x99, machine.read_buffer);

    machine.vram_addr = 0x0010;
    load_code({0x1E, 0x07, 0x3F}); // ASL $3F07,X with X = 0: a mirror of $2007
    machine.X = 0;
    EXPECT_EQ(7, step());
    EXPECT_EQ(0x0012, machine.vram_addr);

    machine.vram_addr = 0x0020;
    machine.A = 0x77;
    load_code({0x9D, 0x07, 0x20}); // STA $2007,X
    EXPECT_EQ(5, step());
    EXPECT_EQ(0x0021, machine.vram_addr);
    EXPECT_EQ(0x77, machine.chr_mem[0x20]);

    machine.vram_addr = 0x0030;
    machine.ram[0x40] = 0x07;
    machine.ram[0x41] = 0x20;
    load_code({0xB1, 0x40}); // LDA ($40),Y
    machine.Y = 0;
    EXPECT_EQ(5, step());
    EXPECT_EQ(0x0031, machine.vram_addr);

    // One write to $4014 starts one sprite copy.
    load_code({0x4E, 0x14, 0x40}); // LSR $4014
    EXPECT_EQ(6, step());
    EXPECT_EQ(513, machine.cycle_debt);
    machine.cycle_debt = 0;

    // The bank register takes the incremented ROM byte as written once.
    Image image = make_image(8, 0);
    image.bytes[16 + 0x0123] = 0x04; // bank 0, $8123
    put_program(image, 0xC000, {0xEE, 0x23, 0x81});
    ASSERT_TRUE(load_image(image));
    machine.cycle_debt = 0;
    EXPECT_EQ(6, step());
    EXPECT_EQ(5 * PrgBankSize, machine.prg_bank_offset);
    EXPECT_EQ(0x04, machine.prg_rom[0x0123]);
}

// The undocumented opcodes that run behave as their documented twins.
TEST_F(Cpu, AcceptedUndocumentedOpcodesMatchTheirTwins) {
    for (uint8_t opcode : {0x1A, 0x3A, 0x5A, 0x7A, 0xDA, 0xFA, 0xEA}) {
        load_code({opcode, 0x02});
        machine.A = 0x12;
        machine.X = 0x34;
        machine.Y = 0x56;
        machine.S = 0x78;
        machine.P = 0xC3;
        EXPECT_EQ(2, step()) << std::hex << +opcode;
        EXPECT_EQ(Code + 1, machine.PC) << std::hex << +opcode;
        EXPECT_EQ(0x12, machine.A);
        EXPECT_EQ(0x34, machine.X);
        EXPECT_EQ(0x56, machine.Y);
        EXPECT_EQ(0x78, machine.S);
        EXPECT_EQ(0xC3, machine.P);
    }
}

// Every opcode outside the accepted set stops the program with the message
// on standard output and exit status -1, which the parent sees as 255.
TEST(CpuDeathTest, UnlistedOpcodesStopTheProgram) {
    const uint8_t unlisted[] = {
        0x02, 0x03, 0x04, 0x07, 0x0B, 0x0C, 0x0F, 0x12, 0x13, 0x14, 0x17, 0x1B, 0x1C, 0x1F, 0x22, 0x23, 0x27,
        0x2B, 0x2F, 0x32, 0x33, 0x34, 0x37, 0x3B, 0x3C, 0x3F, 0x42, 0x43, 0x44, 0x47, 0x4B, 0x4F, 0x52, 0x53,
        0x54, 0x57, 0x5B, 0x5C, 0x5F, 0x62, 0x63, 0x64, 0x67, 0x6B, 0x6F, 0x72, 0x73, 0x74, 0x77, 0x7B, 0x7C,
        0x7F, 0x80, 0x82, 0x83, 0x87, 0x89, 0x8B, 0x8F, 0x92, 0x93, 0x97, 0x9B, 0x9C, 0x9E, 0x9F, 0xA3, 0xA7,
        0xAB, 0xAF, 0xB2, 0xB3, 0xB7, 0xBB, 0xBF, 0xC2, 0xC3, 0xC7, 0xCB, 0xCF, 0xD2, 0xD3, 0xD4, 0xD7, 0xDB,
        0xDC, 0xDF, 0xE2, 0xE3, 0xE7, 0xEF, 0xF2, 0xF3, 0xF4, 0xF7, 0xFB, 0xFC, 0xFF,
    };
    ASSERT_EQ(98u, sizeof unlisted);
    for (uint8_t opcode : unlisted) {
        power_on();
        load_code({opcode, 0xEA, 0xEA});
        // Only standard output reaches the checked stream, and nothing the
        // parent had buffered.
        std::fflush(stdout);
        EXPECT_EXIT(
            {
                dup2(STDERR_FILENO, STDOUT_FILENO);
                const int null = open("/dev/null", O_WRONLY);
                dup2(null, STDERR_FILENO);
                cpu_run(1);
            },
            ::testing::ExitedWithCode(fatal_exit_status), "^Unknown opcode\n$")
            << std::hex << +opcode;
    }
}
