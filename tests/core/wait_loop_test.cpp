// The run loop's shortcut for a spin on a zero-page byte: whatever loop a
// program runs, cpu_run must end on the same instruction with the same count,
// registers and debt as when every pass is executed. A traced run executes
// every pass, so it is the reference for the untraced one.
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

#include "core/cpu.h"
#include "core/machine.h"
#include "support/cartridge.h"

namespace {

struct Outcome {
    int32_t count;
    uint16_t pc;
    uint8_t a, x, y, p;
    int32_t debt;
    uint8_t ram_byte;

    bool operator==(const Outcome&) const = default;
};

struct Start {
    std::vector<uint8_t> code; // placed at `origin` in work RAM
    uint16_t origin;
    uint16_t pc;
    uint8_t a, p;
    uint8_t ram_byte; // the byte at $10 the loops read
};

constexpr uint8_t WatchedByte = 0x10;
constexpr uint8_t Z = 0x02, C = 0x01, N = 0x80;

int32_t traced_instructions;
void count_instruction(uint8_t) {
    traced_instructions++;
}

// The state a budget of `count` cycles ended in.
Outcome outcome_of(int32_t count) {
    return {count,     machine.PC, machine.A,          machine.X,
            machine.Y, machine.P,  machine.cycle_debt, machine.ram[WatchedByte]};
}

Outcome run(const Start& start, int32_t debt, int32_t budget, bool traced) {
    for (size_t i = 0; i < start.code.size(); i++)
        machine.ram[(start.origin + i) & 0x7FF] = start.code[i];
    machine.ram[WatchedByte] = start.ram_byte;
    machine.PC = start.pc;
    machine.A = start.a;
    machine.X = 0x33;
    machine.Y = 0x44;
    machine.P = start.p;
    machine.cycle_debt = debt;
    cpu_trace_hook = traced ? count_instruction : nullptr;
    const int32_t count = cpu_run(budget);
    cpu_trace_hook = nullptr;
    return outcome_of(count);
}

// Code at a processor address in work RAM or either program window.
void put_code(uint16_t origin, const std::vector<uint8_t>& code) {
    for (uint16_t i = 0; i < code.size(); i++) {
        const uint32_t at = uint16_t(origin + i);
        if (at >= 0xC000)
            machine.prg_rom[machine.prg_fixed_offset + int32_t(at - 0xC000)] = code[i];
        else if (at >= 0x8000)
            machine.prg_rom[machine.prg_bank_offset + int32_t(at - 0x8000)] = code[i];
        else
            machine.ram[at & 0x7FF] = code[i];
    }
}

class WaitLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        Image image = make_image(2, 0);
        put_program(image, 0xC000, {0xEA});
        ASSERT_TRUE(load_image(image));
    }
};

} // namespace

// Every loop shape that the shortcut takes or must refuse, entered at the
// read or at the branch, with flags the read keeps or changes, for budgets
// that end on either instruction of a pass and with a debt to pay first.
TEST_F(WaitLoop, EndsEveryBudgetExactlyAsRunningEachPass) {
    const std::vector<Start> starts = {
        // CMP $10 / BEQ: spins while A equals the byte.
        {{0xC5, WatchedByte, 0xF0, 0xFC}, 0x0200, 0x0200, 0x07, 0x00, 0x07},
        // Entered at the branch with Z set by something else: the first
        // read clears Z, so only one pass runs.
        {{0xC5, WatchedByte, 0xF0, 0xFC}, 0x0200, 0x0202, 0x07, Z, 0x09},
        // Entered at the branch with flags the read will change (C) while
        // the branch still loops: the pass after must not be skipped blindly.
        {{0xC5, WatchedByte, 0xF0, 0xFC}, 0x0200, 0x0202, 0x07, Z, 0x07},
        // LDA $10 / BNE: the first read loads A, after which it spins.
        {{0xA5, WatchedByte, 0xD0, 0xFC}, 0x0200, 0x0202, 0x00, 0x00, 0x05},
        // LDA $10 / BPL with a negative byte: falls through at once.
        {{0xA5, WatchedByte, 0x10, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x85},
        // BIT $10 / BMI spinning on bit 7, N and V from the byte.
        {{0x24, WatchedByte, 0x30, 0xFC}, 0x0200, 0x0200, 0x00, N, 0xC0},
        // The branch sits on the next page: every taken branch costs 4.
        {{0xC5, WatchedByte, 0xF0, 0xFC}, 0x02FE, 0x02FE, 0x07, C, 0x07},
        // DEC $10 / BNE changes memory each pass: a countdown, never skipped.
        {{0xC6, WatchedByte, 0xD0, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x30},
        // ADC $10 / BCC adds each pass: A changes, never skipped.
        {{0x65, WatchedByte, 0x90, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x03},
        // Shifts, rotations and steps of the byte leave A, X, Y and P as
        // they were on the first pass but change the byte: never skipped.
        {{0x06, WatchedByte, 0xD0, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x01}, // ASL
        {{0x26, WatchedByte, 0xD0, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x01}, // ROL
        {{0x46, WatchedByte, 0xD0, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x80}, // LSR
        {{0x66, WatchedByte, 0xD0, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x80}, // ROR
        {{0xE6, WatchedByte, 0xD0, 0xFC}, 0x0200, 0x0200, 0x00, 0x00, 0x05}, // INC
    };
    for (size_t s = 0; s < starts.size(); s++)
        for (int32_t debt : {0, 5, 7})
            for (int32_t budget = 1; budget < 80; budget++) {
                const Outcome expected = run(starts[s], debt, budget, true);
                const Outcome got = run(starts[s], debt, budget, false);
                ASSERT_EQ(expected, got) << "start " << s << " debt " << debt << " budget " << budget;
            }
}

// A whole frame's worth of budget on a spin still ends within one
// instruction of the budget, on the instruction a pass-by-pass run ends on.
TEST_F(WaitLoop, LongBudgetsLandOnTheSameInstruction) {
    const Start spin = {{0xC5, WatchedByte, 0xF0, 0xFC}, 0x0200, 0x0200, 0x07, 0x00, 0x07};
    for (int32_t budget : {2159, 2160, 2161, 113, 115, 29780, 29781}) {
        traced_instructions = 0;
        const Outcome expected = run(spin, 7, budget, true);
        EXPECT_GT(traced_instructions, budget / 6);
        EXPECT_EQ(expected, run(spin, 7, budget, false)) << "budget " << budget;
        EXPECT_LT(expected.count - budget, 3);
    }
}

// Budget after budget in a spin, as frames hand them out, with what may
// change between two budgets: the byte, a register, the loop's own code,
// or an NMI whose handler changes the byte or leaves it. A budget that
// starts in a spin the last one recognised must still end exactly as
// running every pass.
TEST_F(WaitLoop, ConsecutiveBudgetsFollowWhatChangedBetweenThem) {
    constexpr uint16_t KeepingHandler = 0xC100, ChangingHandler = 0xC110;
    enum Between { Nothing, ByteChanged, ByteBack, AChanged, ABack, LoopRewritten, Nmi, NmiChangingByte };
    struct Step {
        Between between;
        int32_t budget;
    };
    const Step steps[] = {
        {Nothing, 113},  {Nothing, 115},     {Nothing, 1},           {Nothing, 3},
        {Nothing, 2159}, {ByteChanged, 113}, {ByteBack, 113},        {Nothing, 115},
        {AChanged, 113}, {ABack, 113},       {Nothing, 113},         {Nmi, 113},
        {Nothing, 115},  {Nmi, 4},           {Nothing, 113},         {LoopRewritten, 50},
        {Nothing, 113},  {Nothing, 2},       {NmiChangingByte, 113}, {Nothing, 113},
    };
    // and every budget from 1 to 12 in a row, so that budgets end on either
    // instruction of a pass from every starting point in it.
    std::vector<Step> all(std::begin(steps), std::begin(steps) + 5);
    for (int32_t budget = 1; budget <= 12; budget++)
        for (int repeat = 0; repeat < 6; repeat++)
            all.push_back({Nothing, budget});
    all.insert(all.end(), std::begin(steps) + 5, std::end(steps));
    auto play = [&](bool traced) {
        Image image = make_image(2, 0);
        put_program(image, 0xC000, {0xEA});
        fixed_byte(image, KeepingHandler) = 0x40;             // RTI
        const uint8_t changing[] = {0xE6, WatchedByte, 0x40}; // INC $10, RTI
        for (uint16_t i = 0; i < 3; i++)
            fixed_byte(image, ChangingHandler + i) = changing[i];
        EXPECT_TRUE(load_image(image));
        // CMP $10 / BEQ back, then a jump onto itself once the spin ends.
        const uint8_t code[] = {0xC5, WatchedByte, 0xF0, 0xFC, 0x4C, 0x04, 0x02};
        for (size_t i = 0; i < sizeof code; i++)
            machine.ram[0x0200 + i] = code[i];
        machine.ram[WatchedByte] = 0x07;
        machine.PC = 0x0200;
        machine.A = 0x07;
        machine.S = 0xFF;
        machine.cycle_debt = 0;
        cpu_trace_hook = traced ? count_instruction : nullptr;
        std::vector<Outcome> outcomes;
        for (const Step& step : all) {
            switch (step.between) {
            case Nothing: break;
            case ByteChanged: machine.ram[WatchedByte] = 0x08; break;
            case ByteBack: machine.ram[WatchedByte] = 0x07; break;
            case AChanged: machine.A = 0x08; break;
            case ABack: machine.A = 0x07; break;
            case LoopRewritten: machine.ram[0x0203] = 0x00; break; // BEQ +0: falls onto the jump
            case Nmi:
            case NmiChangingByte:
                machine.ram[0x0203] = 0xFC;
                machine.PC = 0x0200;
                machine.A = 0x07;
                machine.ram[WatchedByte] = 0x07;
                cpu_run(1); // back in the spin, recognised or not
                machine.prg_rom[machine.prg_size - 6] = uint8_t(step.between == Nmi ? 0x00 : 0x10);
                machine.prg_rom[machine.prg_size - 5] = 0xC1;
                cpu_nmi();
                break;
            }
            const int32_t count = cpu_run(step.budget);
            outcomes.push_back({count, machine.PC, machine.A, machine.X, machine.Y, machine.P,
                                machine.cycle_debt, machine.ram[WatchedByte]});
        }
        cpu_trace_hook = nullptr;
        return outcomes;
    };
    const std::vector<Outcome> expected = play(true);
    const std::vector<Outcome> got = play(false);
    ASSERT_EQ(expected.size(), got.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(expected[i], got[i]) << "step " << i;
}

// The shortcut must engage wherever it may, or every frame silently runs
// each pass again: every read it lists, in work RAM and in both program
// windows, is recognised within its first budget, and the budgets after it
// run in the recorded spin without recognising it again. A loop that writes
// its byte, or whose read changes a register, is never recognised.
TEST_F(WaitLoop, RecognisesEverySpinItMayAndNoLoopThatChangesAnything) {
    struct Loop {
        uint8_t read, branch;
        uint8_t a, p, byte; // X is 0x33 and Y 0x44, as `run` sets them
        bool spins;
    };
    const Loop loops[] = {
        {0x05, 0xF0, 0x00, Z, 0x00, true},     // ORA / BEQ
        {0x24, 0x10, 0xFF, 0x00, 0x01, true},  // BIT / BPL
        {0x25, 0xD0, 0x0F, 0x00, 0xFF, true},  // AND / BNE
        {0x45, 0xF0, 0x00, Z, 0x00, true},     // EOR / BEQ
        {0x65, 0x90, 0x05, 0x00, 0x00, true},  // ADC / BCC
        {0xA4, 0xD0, 0x00, 0x00, 0x44, true},  // LDY / BNE
        {0xA5, 0xD0, 0x07, 0x00, 0x07, true},  // LDA / BNE
        {0xA6, 0xD0, 0x00, 0x00, 0x33, true},  // LDX / BNE
        {0xC4, 0xF0, 0x00, Z | C, 0x44, true}, // CPY / BEQ
        {0xC5, 0xF0, 0x07, Z | C, 0x07, true}, // CMP / BEQ
        {0xE4, 0xF0, 0x00, Z | C, 0x33, true}, // CPX / BEQ
        {0xE5, 0xB0, 0x05, C, 0x00, true},     // SBC / BCS
        {0x06, 0xD0, 0x00, 0x00, 0x01, false}, // ASL: the byte doubles each pass
        {0x26, 0xD0, 0x00, 0x00, 0x01, false}, // ROL
        {0x46, 0xD0, 0x00, 0x00, 0x80, false}, // LSR
        {0x66, 0xD0, 0x00, 0x00, 0x80, false}, // ROR
        {0xC6, 0xD0, 0x00, 0x00, 0x30, false}, // DEC
        {0xE6, 0xD0, 0x00, 0x00, 0x05, false}, // INC
        {0x65, 0x90, 0x00, 0x00, 0x03, false}, // ADC adding to A each pass
        {0xA5, 0xD0, 0x00, 0x00, 0x05, true},  // LDA changing A once, then spinning
    };
    // Where the loop lies: work RAM, its mirror's last page, the first byte
    // of the switched window, the fixed window.
    const uint16_t origins[] = {0x0200, 0x1FF0, 0x8000, 0xC000};
    for (const Loop& loop : loops)
        for (uint16_t origin : origins) {
            SCOPED_TRACE(testing::Message() << "read " << std::hex << int(loop.read) << " at " << origin);
            // The loop, then a jump onto itself for the loops that end.
            const uint8_t end_lo = uint8_t(origin + 4), end_hi = uint8_t((origin + 4) >> 8);
            put_code(origin, {loop.read, WatchedByte, loop.branch, 0xFC, 0x4C, end_lo, end_hi});
            const Start start = {{}, origin, origin, loop.a, loop.p, loop.byte};
            // The first budget meets the spin afresh: the loop before it lay
            // elsewhere or read with another opcode.
            for (int32_t budget : {2159, 113, 115}) {
                const Outcome expected = run(start, 0, budget, true);
                const uint64_t before = cpu_spins_recognised;
                EXPECT_EQ(expected, run(start, 0, budget, false)) << "budget " << budget;
                if (budget == 2159 || !loop.spins) {
                    EXPECT_EQ(cpu_spins_recognised > before, loop.spins) << "budget " << budget;
                }
            }
            if (!loop.spins) continue;
            // Budget after budget as a frame hands them out, from where the
            // last one ended: recognised once, and each result as a run of
            // every pass gives it.
            // Then a register the read may depend on is changed between two
            // budgets, one at a time: the spin must be seen again as it is.
            struct Step {
                int32_t budget;
                uint8_t Machine::*changed;
                uint8_t flip;
            };
            const Step steps[] = {{113, nullptr, 0},     {114, nullptr, 0},     {1, nullptr, 0},
                                  {2, nullptr, 0},       {113, nullptr, 0},     {2159, nullptr, 0},
                                  {113, &Machine::A, 1}, {113, nullptr, 0},     {113, &Machine::X, 1},
                                  {113, nullptr, 0},     {113, &Machine::Y, 1}, {113, nullptr, 0},
                                  {113, &Machine::P, C}, {113, &Machine::P, Z}, {2159, nullptr, 0}};
            constexpr size_t Undisturbed = 6;
            auto play = [&](size_t step) {
                if (steps[step].changed) machine.*steps[step].changed ^= steps[step].flip;
                return outcome_of(cpu_run(steps[step].budget));
            };
            const Outcome expected = run(start, 0, 2159, true);
            std::vector<Outcome> traced;
            cpu_trace_hook = count_instruction;
            for (size_t step = 0; step < std::size(steps); step++)
                traced.push_back(play(step));
            cpu_trace_hook = nullptr;
            EXPECT_EQ(expected, run(start, 0, 2159, false));
            const uint64_t recognised = cpu_spins_recognised;
            for (size_t step = 0; step < std::size(steps); step++) {
                EXPECT_EQ(traced[step], play(step)) << "step " << step;
                if (step + 1 == Undisturbed) {
                    EXPECT_EQ(cpu_spins_recognised, recognised)
                        << "each later budget ran in the recorded spin";
                }
            }
        }
}
