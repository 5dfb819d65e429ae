// The processor: a 6502 without decimal arithmetic, executed one whole
// instruction at a time inside the cycle budgets of the frame scheduler.
//
// Index
//   1. Flags and stack
//   2. Addressing modes: effective address, length and cycles per mode
//   3. Operations: what an instruction does with its operand
//   4. Handlers: one procedure per distinct instruction behaviour
//   5. Opcode table: opcode -> handler
//   6. Wait loops: whole passes of a spin on a zero-page byte counted at once
//   7. Run loop and NMI entry
//
// Each handler starts with PC at its opcode (already fetched by the run
// loop), does all of its bus accesses, leaves PC at the next instruction or
// its target, and returns its cycles. Handlers are templates over the
// addressing mode and the operation, so each table entry is a small straight
// procedure with the bus's fast path inlined into it.
#include "core/cpu.h"

#include <array>

#include "core/bus.h"
#include "core/machine.h"

namespace {

// ---------------------------------------------------------------------------
// 1. Flags and stack
// ---------------------------------------------------------------------------

constexpr uint8_t FlagC = 0x01;
constexpr uint8_t FlagZ = 0x02;
constexpr uint8_t FlagI = 0x04;
constexpr uint8_t FlagD = 0x08;
constexpr uint8_t FlagB = 0x10; // only ever in pushed copies of P
constexpr uint8_t FlagU = 0x20; // unused bit, pushed as 1
constexpr uint8_t FlagV = 0x40;
constexpr uint8_t FlagN = 0x80;

constexpr uint32_t StackPage = 0x0100;
constexpr uint32_t ZeroPageMask = 0xFF;
constexpr uint32_t PageMask = 0xFF00;
constexpr uint32_t NmiVector = 0xFFFA;
constexpr uint32_t BrkVector = 0xFFFE;
constexpr int32_t InterruptCycles = 7;
constexpr uint16_t WaitReadLength = 2; // a zero-page read: opcode and address

inline void set_flag(uint8_t flag, bool on) {
    machine.P = uint8_t(on ? machine.P | flag : machine.P & ~flag);
}

// N and Z as a result leaves them, for every result: nearly every
// instruction sets them, and a lookup is cheaper than working them out.
constexpr std::array<uint8_t, 256> nz_of = [] {
    std::array<uint8_t, 256> flags{};
    for (int r = 0; r < 256; r++)
        flags[size_t(r)] = uint8_t((r & FlagN) | (r == 0 ? FlagZ : 0));
    return flags;
}();

inline void set_nz(uint8_t r) {
    machine.P = uint8_t((machine.P & ~(FlagN | FlagZ)) | nz_of[r]);
}

// The stack lives in page $01 and wraps inside it.
inline void push(uint8_t value) {
    bus_write(StackPage + machine.S, value);
    machine.S = uint8_t(machine.S - 1);
}

inline uint8_t pull() {
    machine.S = uint8_t(machine.S + 1);
    return bus_read(StackPage + machine.S);
}

inline void push_word(uint16_t value) {
    push(uint8_t(value >> 8));
    push(uint8_t(value));
}

// Two bytes that make an address are fetched high byte first.
inline uint32_t read_word(uint32_t low_at, uint32_t high_at) {
    const uint32_t high = bus_read(high_at);
    return high << 8 | bus_read(low_at);
}

// ---------------------------------------------------------------------------
// 2. Addressing modes
// ---------------------------------------------------------------------------

enum Mode { Imp, Imm, Zp, Zpx, Zpy, Abs, Abx, Aby, Izx, Izy };

template <Mode M> constexpr uint16_t length = M == Imp ? 1 : (M == Abs || M == Abx || M == Aby) ? 3 : 2;

// Cycles follow from the kind of access and the mode alone; only reads in
// the indexed modes Abx, Aby and Izy pay one more on a page crossing.
template <Mode M>
constexpr int32_t read_cycles = M == Imm   ? 2
                                : M == Zp  ? 3
                                : M == Izx ? 6
                                : M == Izy ? 5
                                           : 4;
template <Mode M>
constexpr int32_t store_cycles = M == Zp                  ? 3
                                 : (M == Abx || M == Aby) ? 5
                                 : (M == Izx || M == Izy) ? 6
                                                          : 4;
template <Mode M> constexpr int32_t modify_cycles = M == Imp ? 2 : M == Zp ? 5 : M == Abx ? 7 : 6;
template <Mode M> constexpr bool pays_page_crossing = M == Abx || M == Aby || M == Izy;

// An indexed address is not reduced to 16 bits here: the bus does that.
inline uint32_t indexed(uint32_t base, uint8_t index) {
    const uint32_t address = base + index;
    machine.page_crossed = ((address ^ base) & PageMask) != 0;
    return address;
}

template <Mode M> inline uint32_t effective_address() {
    const uint32_t pc = machine.PC;
    if constexpr (M == Imm)
        return pc + 1;
    else if constexpr (M == Zp)
        return bus_read(pc + 1);
    else if constexpr (M == Zpx)
        return (bus_read(pc + 1) + machine.X) & ZeroPageMask;
    else if constexpr (M == Zpy)
        return (bus_read(pc + 1) + machine.Y) & ZeroPageMask;
    else if constexpr (M == Abs)
        return read_word(pc + 1, pc + 2);
    else if constexpr (M == Abx)
        return indexed(read_word(pc + 1, pc + 2), machine.X);
    else if constexpr (M == Aby)
        return indexed(read_word(pc + 1, pc + 2), machine.Y);
    else if constexpr (M == Izx) {
        const uint32_t pointer = (bus_read(pc + 1) + machine.X) & ZeroPageMask;
        return read_word(pointer, (pointer + 1) & ZeroPageMask);
    } else {
        static_assert(M == Izy);
        const uint32_t pointer = bus_read(pc + 1);
        return indexed(read_word(pointer, (pointer + 1) & ZeroPageMask), machine.Y);
    }
}

// ---------------------------------------------------------------------------
// 3. Operations
// ---------------------------------------------------------------------------

void op_lda(uint8_t m) {
    set_nz(machine.A = m);
}
void op_ldx(uint8_t m) {
    set_nz(machine.X = m);
}
void op_ldy(uint8_t m) {
    set_nz(machine.Y = m);
}
void op_and(uint8_t m) {
    set_nz(machine.A &= m);
}
void op_ora(uint8_t m) {
    set_nz(machine.A |= m);
}
void op_eor(uint8_t m) {
    set_nz(machine.A ^= m);
}

// Binary only: the D flag is kept in P but never changes the sum.
void op_adc(uint8_t m) {
    const uint32_t a = machine.A;
    const uint32_t sum = a + m + (machine.P & FlagC);
    set_flag(FlagC, sum > 0xFF);
    set_flag(FlagV, (~(a ^ m) & (a ^ sum) & 0x80) != 0);
    set_nz(machine.A = uint8_t(sum));
}

void op_sbc(uint8_t m) {
    const int32_t a = machine.A;
    const int32_t diff = a - m - (1 - (machine.P & FlagC));
    set_flag(FlagC, diff >= 0);
    set_flag(FlagV, ((a ^ diff) & (a ^ m) & 0x80) != 0);
    set_nz(machine.A = uint8_t(diff));
}

inline void compare(uint8_t r, uint8_t m) {
    set_flag(FlagC, r >= m);
    set_nz(uint8_t(r - m));
}

void op_cmp(uint8_t m) {
    compare(machine.A, m);
}
void op_cpx(uint8_t m) {
    compare(machine.X, m);
}
void op_cpy(uint8_t m) {
    compare(machine.Y, m);
}

void op_bit(uint8_t m) {
    machine.P = uint8_t((machine.P & ~(FlagN | FlagV | FlagZ)) | (m & (FlagN | FlagV)) |
                        ((machine.A & m) == 0 ? FlagZ : 0));
}

uint8_t op_asl(uint8_t old) {
    set_flag(FlagC, old & 0x80);
    const uint8_t r = uint8_t(old << 1);
    set_nz(r);
    return r;
}

uint8_t op_lsr(uint8_t old) {
    set_flag(FlagC, old & 0x01);
    const uint8_t r = uint8_t(old >> 1);
    set_nz(r);
    return r;
}

uint8_t op_rol(uint8_t old) {
    const uint8_t r = uint8_t(old << 1 | (machine.P & FlagC));
    set_flag(FlagC, old & 0x80);
    set_nz(r);
    return r;
}

uint8_t op_ror(uint8_t old) {
    const uint8_t r = uint8_t(old >> 1 | (machine.P & FlagC) << 7);
    set_flag(FlagC, old & 0x01);
    set_nz(r);
    return r;
}

uint8_t op_inc(uint8_t old) {
    const uint8_t r = uint8_t(old + 1);
    set_nz(r);
    return r;
}

uint8_t op_dec(uint8_t old) {
    const uint8_t r = uint8_t(old - 1);
    set_nz(r);
    return r;
}

// ---------------------------------------------------------------------------
// 4. Handlers
// ---------------------------------------------------------------------------

// A handler is given the cycles left in the budget before it runs; only the
// wait-loop shortcut of the branches looks at them.
using Handler = int32_t (*)(int32_t remaining);
using Register = uint8_t Machine::*;

constexpr Register RegA = &Machine::A;
constexpr Register RegX = &Machine::X;
constexpr Register RegY = &Machine::Y;
constexpr Register RegS = &Machine::S;

template <Mode M, void (*Op)(uint8_t)> int32_t read_op(int32_t) {
    Op(bus_read(effective_address<M>()));
    machine.PC = uint16_t(machine.PC + length<M>);
    if constexpr (pays_page_crossing<M>)
        return read_cycles<M> + machine.page_crossed;
    else
        return read_cycles<M>;
}

// Indexed stores compute page_crossed like any indexed address but always
// cost their fixed count.
template <Mode M, Register R> int32_t store_op(int32_t) {
    bus_write(effective_address<M>(), machine.*R);
    machine.PC = uint16_t(machine.PC + length<M>);
    return store_cycles<M>;
}

// One read of the operand and one write of the result: the old value is
// never written back first. Imp is the accumulator form.
template <Mode M, uint8_t (*Op)(uint8_t)> int32_t modify_op(int32_t) {
    if constexpr (M == Imp) {
        machine.A = Op(machine.A);
    } else {
        const uint32_t address = effective_address<M>();
        bus_write(address, Op(bus_read(address)));
    }
    machine.PC = uint16_t(machine.PC + length<M>);
    return modify_cycles<M>;
}

int32_t wait_loop_cycles(int32_t branch_cycles, int32_t left);

// A taken branch back onto the two-byte instruction just before it may be
// a wait loop (section 6), whose further passes it then counts as its own.
template <uint8_t Flag, bool Taken> int32_t branch(int32_t remaining) {
    const uint16_t at = machine.PC;
    const uint16_t next = uint16_t(at + 2);
    if (((machine.P & Flag) != 0) != Taken) {
        machine.PC = next;
        return 2;
    }
    const uint16_t target = uint16_t(next + int8_t(bus_read(at + 1u)));
    machine.PC = target;
    const int32_t cycles = ((target ^ next) & PageMask) ? 4 : 3;
    if (uint16_t(target + WaitReadLength) != at) return cycles;
    return cycles + wait_loop_cycles(cycles, remaining - cycles);
}

template <uint8_t Flag, bool On> int32_t flag_op(int32_t) {
    set_flag(Flag, On);
    machine.PC = uint16_t(machine.PC + 1);
    return 2;
}

// TAX, TAY, TXA, TYA, TSX; TXS alone sets no flag.
template <Register From, Register To> int32_t transfer(int32_t) {
    machine.*To = machine.*From;
    if constexpr (To != RegS) set_nz(machine.*To);
    machine.PC = uint16_t(machine.PC + 1);
    return 2;
}

template <Register R, int Step> int32_t step_register(int32_t) {
    set_nz(machine.*R = uint8_t(machine.*R + Step));
    machine.PC = uint16_t(machine.PC + 1);
    return 2;
}

int32_t nop(int32_t) {
    machine.PC = uint16_t(machine.PC + 1);
    return 2;
}

int32_t pha(int32_t) {
    push(machine.A);
    machine.PC = uint16_t(machine.PC + 1);
    return 3;
}

// Pushed copies of P carry bit 5 and the B bit set; P itself never has B.
int32_t php(int32_t) {
    push(machine.P | FlagB | FlagU);
    machine.PC = uint16_t(machine.PC + 1);
    return 3;
}

int32_t pla(int32_t) {
    set_nz(machine.A = pull());
    machine.PC = uint16_t(machine.PC + 1);
    return 4;
}

int32_t plp(int32_t) {
    machine.P = pull() & ~FlagB;
    machine.PC = uint16_t(machine.PC + 1);
    return 4;
}

int32_t jmp_absolute(int32_t) {
    machine.PC = uint16_t(read_word(machine.PC + 1u, machine.PC + 2u));
    return 3;
}

// The pointer's high byte comes from the start of the same page when the
// pointer ends in $FF: the carry out of the low byte is lost.
int32_t jmp_indirect(int32_t) {
    const uint32_t pointer = read_word(machine.PC + 1u, machine.PC + 2u);
    const uint32_t high_at = (pointer & PageMask) | ((pointer + 1) & ZeroPageMask);
    machine.PC = uint16_t(read_word(pointer, high_at));
    return 5;
}

// JSR is the one instruction that fetches its operand low byte first. It
// pushes the address of its own last byte; RTS adds the 1 back.
int32_t jsr(int32_t) {
    const uint32_t low = bus_read(machine.PC + 1u);
    const uint32_t high = bus_read(machine.PC + 2u);
    push_word(uint16_t(machine.PC + 2));
    machine.PC = uint16_t(high << 8 | low);
    return 6;
}

int32_t rts(int32_t) {
    const uint32_t low = pull();
    const uint32_t high = pull();
    machine.PC = uint16_t((high << 8 | low) + 1);
    return 6;
}

int32_t rti(int32_t) {
    machine.P = pull() & ~FlagB;
    const uint32_t low = pull();
    const uint32_t high = pull();
    machine.PC = uint16_t(high << 8 | low);
    return 6;
}

// No device raises an IRQ, so $FFFE serves BRK alone; P, the I flag
// included, stays as it was.
int32_t brk(int32_t) {
    push_word(uint16_t(machine.PC + 2));
    push(machine.P | FlagB | FlagU);
    machine.PC = uint16_t(read_word(BrkVector, BrkVector + 1));
    return InterruptCycles;
}

int32_t unknown_opcode(int32_t) {
    fatal_error("Unknown opcode\n");
}

// ---------------------------------------------------------------------------
// 5. Opcode table
// ---------------------------------------------------------------------------
//
// Opcodes of identical behaviour share one handler: SBC immediate at E9 and
// EB, and the seven one-byte NOPs. Every value not listed stops the program.

constexpr Handler opcode_table[] = {
    /* 00 */ brk,
    /* 01 */ read_op<Izx, op_ora>,
    /* 02 */ unknown_opcode,
    /* 03 */ unknown_opcode,
    /* 04 */ unknown_opcode,
    /* 05 */ read_op<Zp, op_ora>,
    /* 06 */ modify_op<Zp, op_asl>,
    /* 07 */ unknown_opcode,
    /* 08 */ php,
    /* 09 */ read_op<Imm, op_ora>,
    /* 0A */ modify_op<Imp, op_asl>,
    /* 0B */ unknown_opcode,
    /* 0C */ unknown_opcode,
    /* 0D */ read_op<Abs, op_ora>,
    /* 0E */ modify_op<Abs, op_asl>,
    /* 0F */ unknown_opcode,

    /* 10 */ branch<FlagN, false>,
    /* 11 */ read_op<Izy, op_ora>,
    /* 12 */ unknown_opcode,
    /* 13 */ unknown_opcode,
    /* 14 */ unknown_opcode,
    /* 15 */ read_op<Zpx, op_ora>,
    /* 16 */ modify_op<Zpx, op_asl>,
    /* 17 */ unknown_opcode,
    /* 18 */ flag_op<FlagC, false>,
    /* 19 */ read_op<Aby, op_ora>,
    /* 1A */ nop,
    /* 1B */ unknown_opcode,
    /* 1C */ unknown_opcode,
    /* 1D */ read_op<Abx, op_ora>,
    /* 1E */ modify_op<Abx, op_asl>,
    /* 1F */ unknown_opcode,

    /* 20 */ jsr,
    /* 21 */ read_op<Izx, op_and>,
    /* 22 */ unknown_opcode,
    /* 23 */ unknown_opcode,
    /* 24 */ read_op<Zp, op_bit>,
    /* 25 */ read_op<Zp, op_and>,
    /* 26 */ modify_op<Zp, op_rol>,
    /* 27 */ unknown_opcode,
    /* 28 */ plp,
    /* 29 */ read_op<Imm, op_and>,
    /* 2A */ modify_op<Imp, op_rol>,
    /* 2B */ unknown_opcode,
    /* 2C */ read_op<Abs, op_bit>,
    /* 2D */ read_op<Abs, op_and>,
    /* 2E */ modify_op<Abs, op_rol>,
    /* 2F */ unknown_opcode,

    /* 30 */ branch<FlagN, true>,
    /* 31 */ read_op<Izy, op_and>,
    /* 32 */ unknown_opcode,
    /* 33 */ unknown_opcode,
    /* 34 */ unknown_opcode,
    /* 35 */ read_op<Zpx, op_and>,
    /* 36 */ modify_op<Zpx, op_rol>,
    /* 37 */ unknown_opcode,
    /* 38 */ flag_op<FlagC, true>,
    /* 39 */ read_op<Aby, op_and>,
    /* 3A */ nop,
    /* 3B */ unknown_opcode,
    /* 3C */ unknown_opcode,
    /* 3D */ read_op<Abx, op_and>,
    /* 3E */ modify_op<Abx, op_rol>,
    /* 3F */ unknown_opcode,

    /* 40 */ rti,
    /* 41 */ read_op<Izx, op_eor>,
    /* 42 */ unknown_opcode,
    /* 43 */ unknown_opcode,
    /* 44 */ unknown_opcode,
    /* 45 */ read_op<Zp, op_eor>,
    /* 46 */ modify_op<Zp, op_lsr>,
    /* 47 */ unknown_opcode,
    /* 48 */ pha,
    /* 49 */ read_op<Imm, op_eor>,
    /* 4A */ modify_op<Imp, op_lsr>,
    /* 4B */ unknown_opcode,
    /* 4C */ jmp_absolute,
    /* 4D */ read_op<Abs, op_eor>,
    /* 4E */ modify_op<Abs, op_lsr>,
    /* 4F */ unknown_opcode,

    /* 50 */ branch<FlagV, false>,
    /* 51 */ read_op<Izy, op_eor>,
    /* 52 */ unknown_opcode,
    /* 53 */ unknown_opcode,
    /* 54 */ unknown_opcode,
    /* 55 */ read_op<Zpx, op_eor>,
    /* 56 */ modify_op<Zpx, op_lsr>,
    /* 57 */ unknown_opcode,
    /* 58 */ flag_op<FlagI, false>,
    /* 59 */ read_op<Aby, op_eor>,
    /* 5A */ nop,
    /* 5B */ unknown_opcode,
    /* 5C */ unknown_opcode,
    /* 5D */ read_op<Abx, op_eor>,
    /* 5E */ modify_op<Abx, op_lsr>,
    /* 5F */ unknown_opcode,

    /* 60 */ rts,
    /* 61 */ read_op<Izx, op_adc>,
    /* 62 */ unknown_opcode,
    /* 63 */ unknown_opcode,
    /* 64 */ unknown_opcode,
    /* 65 */ read_op<Zp, op_adc>,
    /* 66 */ modify_op<Zp, op_ror>,
    /* 67 */ unknown_opcode,
    /* 68 */ pla,
    /* 69 */ read_op<Imm, op_adc>,
    /* 6A */ modify_op<Imp, op_ror>,
    /* 6B */ unknown_opcode,
    /* 6C */ jmp_indirect,
    /* 6D */ read_op<Abs, op_adc>,
    /* 6E */ modify_op<Abs, op_ror>,
    /* 6F */ unknown_opcode,

    /* 70 */ branch<FlagV, true>,
    /* 71 */ read_op<Izy, op_adc>,
    /* 72 */ unknown_opcode,
    /* 73 */ unknown_opcode,
    /* 74 */ unknown_opcode,
    /* 75 */ read_op<Zpx, op_adc>,
    /* 76 */ modify_op<Zpx, op_ror>,
    /* 77 */ unknown_opcode,
    /* 78 */ flag_op<FlagI, true>,
    /* 79 */ read_op<Aby, op_adc>,
    /* 7A */ nop,
    /* 7B */ unknown_opcode,
    /* 7C */ unknown_opcode,
    /* 7D */ read_op<Abx, op_adc>,
    /* 7E */ modify_op<Abx, op_ror>,
    /* 7F */ unknown_opcode,

    /* 80 */ unknown_opcode,
    /* 81 */ store_op<Izx, RegA>,
    /* 82 */ unknown_opcode,
    /* 83 */ unknown_opcode,
    /* 84 */ store_op<Zp, RegY>,
    /* 85 */ store_op<Zp, RegA>,
    /* 86 */ store_op<Zp, RegX>,
    /* 87 */ unknown_opcode,
    /* 88 */ step_register<RegY, -1>,
    /* 89 */ unknown_opcode,
    /* 8A */ transfer<RegX, RegA>,
    /* 8B */ unknown_opcode,
    /* 8C */ store_op<Abs, RegY>,
    /* 8D */ store_op<Abs, RegA>,
    /* 8E */ store_op<Abs, RegX>,
    /* 8F */ unknown_opcode,

    /* 90 */ branch<FlagC, false>,
    /* 91 */ store_op<Izy, RegA>,
    /* 92 */ unknown_opcode,
    /* 93 */ unknown_opcode,
    /* 94 */ store_op<Zpx, RegY>,
    /* 95 */ store_op<Zpx, RegA>,
    /* 96 */ store_op<Zpy, RegX>,
    /* 97 */ unknown_opcode,
    /* 98 */ transfer<RegY, RegA>,
    /* 99 */ store_op<Aby, RegA>,
    /* 9A */ transfer<RegX, RegS>,
    /* 9B */ unknown_opcode,
    /* 9C */ unknown_opcode,
    /* 9D */ store_op<Abx, RegA>,
    /* 9E */ unknown_opcode,
    /* 9F */ unknown_opcode,

    /* A0 */ read_op<Imm, op_ldy>,
    /* A1 */ read_op<Izx, op_lda>,
    /* A2 */ read_op<Imm, op_ldx>,
    /* A3 */ unknown_opcode,
    /* A4 */ read_op<Zp, op_ldy>,
    /* A5 */ read_op<Zp, op_lda>,
    /* A6 */ read_op<Zp, op_ldx>,
    /* A7 */ unknown_opcode,
    /* A8 */ transfer<RegA, RegY>,
    /* A9 */ read_op<Imm, op_lda>,
    /* AA */ transfer<RegA, RegX>,
    /* AB */ unknown_opcode,
    /* AC */ read_op<Abs, op_ldy>,
    /* AD */ read_op<Abs, op_lda>,
    /* AE */ read_op<Abs, op_ldx>,
    /* AF */ unknown_opcode,

    /* B0 */ branch<FlagC, true>,
    /* B1 */ read_op<Izy, op_lda>,
    /* B2 */ unknown_opcode,
    /* B3 */ unknown_opcode,
    /* B4 */ read_op<Zpx, op_ldy>,
    /* B5 */ read_op<Zpx, op_lda>,
    /* B6 */ read_op<Zpy, op_ldx>,
    /* B7 */ unknown_opcode,
    /* B8 */ flag_op<FlagV, false>,
    /* B9 */ read_op<Aby, op_lda>,
    /* BA */ transfer<RegS, RegX>,
    /* BB */ unknown_opcode,
    /* BC */ read_op<Abx, op_ldy>,
    /* BD */ read_op<Abx, op_lda>,
    /* BE */ read_op<Aby, op_ldx>,
    /* BF */ unknown_opcode,

    /* C0 */ read_op<Imm, op_cpy>,
    /* C1 */ read_op<Izx, op_cmp>,
    /* C2 */ unknown_opcode,
    /* C3 */ unknown_opcode,
    /* C4 */ read_op<Zp, op_cpy>,
    /* C5 */ read_op<Zp, op_cmp>,
    /* C6 */ modify_op<Zp, op_dec>,
    /* C7 */ unknown_opcode,
    /* C8 */ step_register<RegY, 1>,
    /* C9 */ read_op<Imm, op_cmp>,
    /* CA */ step_register<RegX, -1>,
    /* CB */ unknown_opcode,
    /* CC */ read_op<Abs, op_cpy>,
    /* CD */ read_op<Abs, op_cmp>,
    /* CE */ modify_op<Abs, op_dec>,
    /* CF */ unknown_opcode,

    /* D0 */ branch<FlagZ, false>,
    /* D1 */ read_op<Izy, op_cmp>,
    /* D2 */ unknown_opcode,
    /* D3 */ unknown_opcode,
    /* D4 */ unknown_opcode,
    /* D5 */ read_op<Zpx, op_cmp>,
    /* D6 */ modify_op<Zpx, op_dec>,
    /* D7 */ unknown_opcode,
    /* D8 */ flag_op<FlagD, false>,
    /* D9 */ read_op<Aby, op_cmp>,
    /* DA */ nop,
    /* DB */ unknown_opcode,
    /* DC */ unknown_opcode,
    /* DD */ read_op<Abx, op_cmp>,
    /* DE */ modify_op<Abx, op_dec>,
    /* DF */ unknown_opcode,

    /* E0 */ read_op<Imm, op_cpx>,
    /* E1 */ read_op<Izx, op_sbc>,
    /* E2 */ unknown_opcode,
    /* E3 */ unknown_opcode,
    /* E4 */ read_op<Zp, op_cpx>,
    /* E5 */ read_op<Zp, op_sbc>,
    /* E6 */ modify_op<Zp, op_inc>,
    /* E7 */ unknown_opcode,
    /* E8 */ step_register<RegX, 1>,
    /* E9 */ read_op<Imm, op_sbc>,
    /* EA */ nop,
    /* EB */ read_op<Imm, op_sbc>,
    /* EC */ read_op<Abs, op_cpx>,
    /* ED */ read_op<Abs, op_sbc>,
    /* EE */ modify_op<Abs, op_inc>,
    /* EF */ unknown_opcode,

    /* F0 */ branch<FlagZ, true>,
    /* F1 */ read_op<Izy, op_sbc>,
    /* F2 */ unknown_opcode,
    /* F3 */ unknown_opcode,
    /* F4 */ unknown_opcode,
    /* F5 */ read_op<Zpx, op_sbc>,
    /* F6 */ modify_op<Zpx, op_inc>,
    /* F7 */ unknown_opcode,
    /* F8 */ flag_op<FlagD, true>,
    /* F9 */ read_op<Aby, op_sbc>,
    /* FA */ nop,
    /* FB */ unknown_opcode,
    /* FC */ unknown_opcode,
    /* FD */ read_op<Abx, op_sbc>,
    /* FE */ modify_op<Abx, op_inc>,
    /* FF */ unknown_opcode,
};

// Unsized above so that a missing or extra line cannot go unnoticed.
static_assert(sizeof opcode_table / sizeof opcode_table[0] == 256);

// ---------------------------------------------------------------------------
// 6. Wait loops
// ---------------------------------------------------------------------------
//
// A game waiting for the next frame spins on a zero-page read and a branch
// back onto it, thousands of times a frame. When that read leaves A, X, Y
// and P exactly as they are, every further pass is the same read, the same
// flags and the same taken branch: nothing else runs inside a budget that
// could change the byte (the NMI and the audio thread's reads come between
// or beside budgets, and zero page is plain RAM). Such passes are counted
// instead of run, and the last one or two instructions run one by one, so
// the budget ends on the same instruction with the same count as when
// every pass runs.

// The 2-byte instructions that read a zero-page byte and change nothing but
// A, X, Y, P and PC.
constexpr bool is_zero_page_read(uint8_t opcode) {
    switch (opcode) {
    case 0x05: // ORA
    case 0x24: // BIT
    case 0x25: // AND
    case 0x45: // EOR
    case 0x65: // ADC
    case 0xA4: // LDY
    case 0xA5: // LDA
    case 0xA6: // LDX
    case 0xC4: // CPY
    case 0xC5: // CMP
    case 0xE4: // CPX
    case 0xE5: // SBC
        return true;
    default: return false;
    }
}

// The spin the processor was last seen in: a budget that starts on it,
// with everything the passes depend on as it was, runs none of them. The
// pass is the same whenever the read's opcode and operand, the branch, A,
// X, Y, P and the byte read are: the record keeps those, so it can never
// vouch for another loop, another cartridge or a byte the NMI handler
// changed.
struct SpinRecord {
    bool known;
    uint16_t read_at;
    uint8_t code[4]; // the read's opcode and operand, the branch's opcode and offset
    uint8_t a, x, y, p;
    uint8_t byte;
    int32_t read_cycles, branch_cycles;
};
SpinRecord spin;

void fetch_spin_code(uint16_t read_at, uint8_t (&code)[4]) {
    for (uint16_t i = 0; i < 4; i++)
        code[i] = bus_read(uint16_t(read_at + i));
}

// PC is at the read the branch has just jumped back to, and `left` cycles
// of the budget remain. Returns the cycles of the whole passes skipped.
int32_t wait_loop_cycles(int32_t branch_cycles, int32_t left) {
    if (left <= 0) return 0;
    const uint16_t read_at = machine.PC;
    // Code running from the register range is left alone: fetching its
    // opcode here would repeat a read's side effect.
    if (read_at >= BusRamEnd && read_at < BusSwitchWindow) return 0;
    const uint8_t opcode = bus_read(read_at);
    if (!is_zero_page_read(opcode)) return 0;
    const uint8_t a = machine.A, x = machine.X, y = machine.Y, p = machine.P;
    const int32_t read_cycles = opcode_table[opcode](0);
    const bool unchanged = machine.A == a && machine.X == x && machine.Y == y && machine.P == p;
    machine.A = a;
    machine.X = x;
    machine.Y = y;
    machine.P = p;
    machine.PC = read_at;
    if (!unchanged) return 0;
    spin = {true, read_at, {}, a, x, y, p, 0, read_cycles, branch_cycles};
    fetch_spin_code(read_at, spin.code);
    spin.byte = machine.ram[spin.code[1]];
    cpu_spins_recognised++;
    // Every skipped pass must leave the budget still open after it, as the
    // run loop would have gone on.
    const int32_t pass = read_cycles + branch_cycles;
    return (left - 1) / pass * pass;
}

// Whether PC is on the read or the branch of the recorded spin, with all
// that its passes depend on unchanged.
bool in_known_spin() {
    if (!spin.known || (machine.PC != spin.read_at && machine.PC != uint16_t(spin.read_at + 2))) return false;
    if (machine.A != spin.a || machine.X != spin.x || machine.Y != spin.y || machine.P != spin.p)
        return false;
    uint8_t code[4];
    fetch_spin_code(spin.read_at, code);
    return code[0] == spin.code[0] && code[1] == spin.code[1] && code[2] == spin.code[2] &&
           code[3] == spin.code[3] && machine.ram[code[1]] == spin.byte;
}

// Runs the budget out in the recorded spin from `count` cycles, as the run
// loop would instruction by instruction: whole passes, then the read and
// the branch while the budget is still open. Returns the final count.
int32_t finish_in_spin(int32_t count, int32_t budget) {
    if (machine.PC != spin.read_at) {
        count += spin.branch_cycles;
        machine.PC = spin.read_at;
        if (count >= budget) return count;
    }
    const int32_t pass = spin.read_cycles + spin.branch_cycles;
    count += (budget - count - 1) / pass * pass + spin.read_cycles;
    if (count >= budget) {
        machine.PC = uint16_t(spin.read_at + 2);
        return count;
    }
    return count + spin.branch_cycles;
}

} // namespace

// ---------------------------------------------------------------------------
// 7. Run loop and NMI entry
// ---------------------------------------------------------------------------

void (*cpu_trace_hook)(uint8_t opcode);
uint64_t cpu_spins_recognised;

int32_t cpu_run(int32_t budget) {
    const int32_t debt = machine.cycle_debt;
    // A debt that covers the whole budget is paid off without running
    // anything; a debt equal to the budget is paid off exactly.
    if (debt >= budget) {
        machine.cycle_debt = debt - budget;
        return budget;
    }
    // Debt added while the loop runs (a sprite DMA) waits for the next call.
    machine.cycle_debt = 0;
    int32_t count = debt;
    if (cpu_trace_hook) {
        while (count < budget) {
            const uint8_t opcode = bus_read(machine.PC);
            cpu_trace_hook(opcode);
            // No remaining cycles to offer: a trace shows every pass of a
            // wait loop.
            count += opcode_table[opcode](0);
        }
        return count;
    }
    if (in_known_spin()) return finish_in_spin(count, budget);
    while (count < budget)
        count += opcode_table[bus_read(machine.PC)](budget - count);
    return count;
}

// Runs between budgets, so its 7 cycles go to the debt. The pushed copy of
// P has bit 5 set and B clear; the I flag is left alone.
void cpu_nmi() {
    push_word(machine.PC);
    push(uint8_t((machine.P & ~FlagB) | FlagU));
    machine.PC = uint16_t(read_word(NmiVector, NmiVector + 1));
    machine.cycle_debt += InterruptCycles;
}
