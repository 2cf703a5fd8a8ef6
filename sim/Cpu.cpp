#include "sim/Cpu.h"
#include "sim/CpuAlu.h"
#include "hc11/OpcodeTable.h"
#include <algorithm>

// Behaviour chosen where the chip's documentation is silent or vague:
// - An illegal opcode (undefined page-1 opcode or undefined prebyte/opcode pair) stacks the
//   address of the instruction's first byte (the prebyte, if any), so a handler can find and
//   report the offending instruction; the trap takes kInterruptEntryCycles like SWI.
// - TEST ($00) outside special test mode traps as an illegal opcode.
// - A hardware interrupt entry takes kInterruptEntryCycles (stacking and vector fetch, as SWI).
// - STOP wakes on any I-maskable request the board raises while I = 0 (on the chip only the IRQ
//   pin can be pending then, as the clocks are stopped); the oscillator start-up delay selected
//   by OPTION.DLY belongs to the board. Leaving STOP through XIRQ with X = 1 costs 2 cycles.
// - Memory read-modify-write instructions, CLR included, read their operand before writing.

namespace {
constexpr uint32_t kStopResumeCycles = 2;
} // namespace

Cpu::Cpu(Bus& bus) : bus_(bus) {}

// ---- Bus access ------------------------------------------------------------------------------

inline uint8_t Cpu::read8(uint16_t address) {
    if (const uint8_t* page = bus_.readPage[address >> 8])
        return page[address & 0xFF];
    flushTicks();
    return bus_.read(address);
}

inline void Cpu::write8(uint16_t address, uint8_t value) {
    if (uint8_t* page = bus_.writePage[address >> 8])
        page[address & 0xFF] = value;
    else {
        flushTicks();
        bus_.write(address, value);
    }
}

inline uint16_t Cpu::read16(uint16_t address) {
    const uint8_t hi = read8(address);
    return uint16_t(hi << 8 | read8(uint16_t(address + 1)));
}

inline void Cpu::write16(uint16_t address, uint16_t value) {
    write8(address, uint8_t(value >> 8));
    write8(uint16_t(address + 1), uint8_t(value));
}

inline uint8_t Cpu::fetch8() { return read8(pc++); }

inline uint16_t Cpu::fetch16() {
    const uint16_t v = read16(pc);
    pc = uint16_t(pc + 2);
    return v;
}

inline void Cpu::push8(uint8_t value) { write8(sp--, value); }
inline uint8_t Cpu::pull8() { return read8(++sp); }

// Low byte first, so the high byte ends at the lower address.
inline void Cpu::push16(uint16_t value) {
    push8(uint8_t(value));
    push8(uint8_t(value >> 8));
}

inline uint16_t Cpu::pull16() {
    const uint8_t hi = pull8();
    return uint16_t(hi << 8 | pull8());
}

// ---- Control ---------------------------------------------------------------------------------

void Cpu::reset(uint16_t normalVector) {
    state_ = CpuState::Running;
    ccr = uint8_t(ccr | Ccr::S | Ccr::X | Ccr::I);
    pc = bus_.readVector(normalVector);
}

uint32_t Cpu::step() {
    uint32_t c;
    if (state_ == CpuState::Running && !interruptPending()) [[likely]]
        c = execute();
    else
        c = serviceStep();
    cycles_ += c;
    bus_.tick(c);
    return c;
}

uint64_t Cpu::run(uint64_t cycles) {
    const uint64_t start = cycles_;
    while (cycles_ - start < cycles)
        runBatch(cycles - (cycles_ - start));
    return cycles_ - start;
}

// Flattened: the dispatch and the memory accessors inline into this loop, so the per-instruction
// cost is the switch and the work, without a call and its register saves around every opcode.
[[gnu::flatten]] uint64_t Cpu::runBatch(uint64_t budget) {
    if (state_ != CpuState::Running || interruptPending())
        return step();
    const uint64_t start = cycles_;
    // Every bus access that may change the board's requests or its next event ends the run
    // (flushTicks), as do WAI, STOP and TEST; the budget and slack stand until then.
    const uint32_t limit = uint32_t(std::min<uint64_t>(budget, bus_.tickSlack));
    endBatch_ = false;
    do {
        unticked_ += execute();
    } while (!endBatch_ && unticked_ < limit && !(requested_ && interruptPending()));
    flushTicks();
    return cycles_ - start;
}

bool Cpu::idle() const {
    switch (state_) {
    case CpuState::Running: return false;
    case CpuState::Waiting: return !interruptPending();
    case CpuState::Stopped: return !xirq_ && !(irqVector_ != 0 && !(ccr & Ccr::I));
    case CpuState::TestLoop: return true;
    }
    return false;
}

uint32_t Cpu::idleFor(uint32_t cycles) {
    if (cycles == 0 || !idle())
        return 0;
    cycles_ += cycles;
    bus_.tick(cycles);
    return cycles;
}

// Stacking order of every interrupt, SWI, WAI and the illegal-opcode trap:
// PCL, PCH, YL, YH, XL, XH, A, B, CCR from SP downwards (nine bytes).
void Cpu::stackRegisters() {
    push16(pc);
    push16(y);
    push16(x);
    push8(a);
    push8(b);
    push8(ccr);
}

uint32_t Cpu::enterInterrupt(uint16_t normalVector, bool xirq) {
    stackRegisters();
    ccr = uint8_t(ccr | Ccr::I | (xirq ? Ccr::X : 0));
    pc = bus_.readVector(normalVector);
    state_ = CpuState::Running;
    return kInterruptEntryCycles;
}

uint32_t Cpu::illegalOpcode(uint16_t opPc) {
    pc = opPc;
    return enterInterrupt(Vec::kIllegal, false);
}

// Everything but plain execution: interrupt entry, and time passing while waiting or stopped.
uint32_t Cpu::serviceStep() {
    const bool xirqTaken = xirq_ && !(ccr & Ccr::X);
    const bool irqTaken = irqVector_ != 0 && !(ccr & Ccr::I);
    switch (state_) {
    case CpuState::Running:
        if (xirqTaken)
            return enterInterrupt(Vec::kXirq, true);
        if (irqTaken)
            return enterInterrupt(irqVector_, false);
        return execute();
    case CpuState::Waiting:
        // WAI stacked the registers already: only the vector is fetched.
        if (xirqTaken || irqTaken) {
            ccr = uint8_t(ccr | Ccr::I | (xirqTaken ? Ccr::X : 0));
            pc = bus_.readVector(xirqTaken ? Vec::kXirq : irqVector_);
            state_ = CpuState::Running;
            return kWaitVectorCycles;
        }
        return kIdleChunkCycles;
    case CpuState::Stopped:
        if (xirqTaken)
            return enterInterrupt(Vec::kXirq, true);
        if (xirq_) { // masked by X: carry on after the STOP
            state_ = CpuState::Running;
            return kStopResumeCycles;
        }
        if (irqTaken)
            return enterInterrupt(irqVector_, false);
        return kIdleChunkCycles;
    case CpuState::TestLoop:
        return kIdleChunkCycles;
    }
    return kIdleChunkCycles;
}

uint32_t Cpu::execute() {
    const uint16_t opPc = pc;
    return executeMain<false>(fetch8(), opPc);
}

// ---- Page 1 and page 2 ($18) -----------------------------------------------------------------
// Page 2 repeats page 1's indexed and X-register instructions with Y in place of X, so both pages
// share one switch, instantiated once per page; page 2's undefined slots are caught by its table.

// 8-bit operations on A and B in all their addressing modes (rows $8x..$Fx of one column);
// BODY sees the accumulator as r and the operand as m.
#define CPU_ALU8(col, BODY)                                                                        \
    case 0x80 | (col): { uint8_t& r = a; const uint8_t m = fetch8(); BODY; break; }                \
    case 0x90 | (col): { uint8_t& r = a; const uint8_t m = read8(fetch8()); BODY; break; }         \
    case 0xA0 | (col): { uint8_t& r = a; const uint8_t m = read8(uint16_t(ir + fetch8())); BODY; break; } \
    case 0xB0 | (col): { uint8_t& r = a; const uint8_t m = read8(fetch16()); BODY; break; }        \
    case 0xC0 | (col): { uint8_t& r = b; const uint8_t m = fetch8(); BODY; break; }                \
    case 0xD0 | (col): { uint8_t& r = b; const uint8_t m = read8(fetch8()); BODY; break; }         \
    case 0xE0 | (col): { uint8_t& r = b; const uint8_t m = read8(uint16_t(ir + fetch8())); BODY; break; } \
    case 0xF0 | (col): { uint8_t& r = b; const uint8_t m = read8(fetch16()); BODY; break; }

// Read-modify-write operations on A, B and memory (rows $4x..$7x of one column).
#define CPU_RMW(col, FN)                                                                           \
    case 0x40 | (col): a = FN(ccr, a); break;                                                      \
    case 0x50 | (col): b = FN(ccr, b); break;                                                      \
    case 0x60 | (col): { const uint16_t e = uint16_t(ir + fetch8()); write8(e, FN(ccr, read8(e))); break; } \
    case 0x70 | (col): { const uint16_t e = fetch16(); write8(e, FN(ccr, read8(e))); break; }

// 16-bit operations in the immediate, direct, indexed and extended modes (rows $8x..$Bx or
// $Cx..$Fx of one column); BODY sees the operand as m.
#define CPU_OP16(base, BODY)                                                                       \
    case (base): { const uint16_t m = fetch16(); BODY; break; }                                    \
    case (base) + 0x10: { const uint16_t m = read16(fetch8()); BODY; break; }                      \
    case (base) + 0x20: { const uint16_t m = read16(uint16_t(ir + fetch8())); BODY; break; }       \
    case (base) + 0x30: { const uint16_t m = read16(fetch16()); BODY; break; }

// Stores and jumps to subroutine in the direct, indexed and extended modes (rows $9x..$Bx or
// $Dx..$Fx of one column); BODY sees the effective address as e.
#define CPU_EA3(base, BODY)                                                                        \
    case (base): { const uint16_t e = fetch8(); BODY; break; }                                     \
    case (base) + 0x10: { const uint16_t e = uint16_t(ir + fetch8()); BODY; break; }               \
    case (base) + 0x20: { const uint16_t e = fetch16(); BODY; break; }

template <bool kPageY> uint32_t Cpu::executeMain(uint8_t op, uint16_t opPc) {
    const OpcodePage& table = kPageY ? opcodes::kPage2 : opcodes::kPage1;
    if constexpr (kPageY) {
        if (table[op].mode == AddressMode::Undefined)
            return illegalOpcode(opPc);
    }
    const uint32_t cycles = table[op].cycles;
    uint16_t& ir = kPageY ? y : x; // the index register of this page

    switch (op) {
    // ---- Inherent: arithmetic and flags
    case 0x00:
        if constexpr (!kPageY) {
            if (testEnabled_) {
                state_ = CpuState::TestLoop;
                endBatch_ = true;
                return kIdleChunkCycles;
            }
        }
        return illegalOpcode(opPc);
    case 0x01: break; // NOP
    case 0x02: {      // IDIV
        const auto r = alu::idiv(ccr, d(), x);
        x = r.quotient;
        setD(r.remainder);
        break;
    }
    case 0x03: { // FDIV
        const auto r = alu::fdiv(ccr, d(), x);
        x = r.quotient;
        setD(r.remainder);
        break;
    }
    case 0x04: setD(alu::lsr16(ccr, d())); break;
    case 0x05: setD(alu::asl16(ccr, d())); break;
    case 0x06: ccr = alu::transferToCcr(ccr, a); break; // TAP
    case 0x07: a = ccr; break;                         // TPA
    case 0x08: ++ir; alu::setFlags(ccr, Ccr::Z, ir == 0 ? Ccr::Z : 0); break; // INX/INY
    case 0x09: --ir; alu::setFlags(ccr, Ccr::Z, ir == 0 ? Ccr::Z : 0); break; // DEX/DEY
    case 0x0A: ccr &= uint8_t(~Ccr::V); break;
    case 0x0B: ccr |= Ccr::V; break;
    case 0x0C: ccr &= uint8_t(~Ccr::C); break;
    case 0x0D: ccr |= Ccr::C; break;
    case 0x0E: ccr &= uint8_t(~Ccr::I); break;
    case 0x0F: ccr |= Ccr::I; break;
    case 0x10: a = alu::sub8(ccr, a, b, false); break; // SBA
    case 0x11: alu::sub8(ccr, a, b, false); break;     // CBA
    case 0x16: b = alu::logic8(ccr, a); break;         // TAB
    case 0x17: a = alu::logic8(ccr, b); break;         // TBA
    case 0x19: a = alu::daa(ccr, a); break;
    case 0x1B: a = alu::add8(ccr, a, b, false); break; // ABA

    // ---- Prebytes
    case 0x18:
        if constexpr (!kPageY)
            return executeMain<true>(fetch8(), opPc);
        return illegalOpcode(opPc);
    case 0x1A:
        if constexpr (!kPageY)
            return executePage1A(opPc);
        return illegalOpcode(opPc);
    case 0xCD:
        if constexpr (!kPageY)
            return executePageCD(opPc);
        return illegalOpcode(opPc);

    // ---- Bit manipulation and bit-test branches
    case 0x12:
    case 0x13:
    case 0x1E:
    case 0x1F: {
        const uint16_t e = op < 0x1E ? uint16_t(fetch8()) : uint16_t(ir + fetch8());
        const uint8_t m = read8(e);
        const uint8_t mask = fetch8();
        const int8_t offset = int8_t(fetch8());
        const bool isSet = op == 0x12 || op == 0x1E;
        if (uint8_t((isSet ? ~m : m) & mask) == 0)
            pc = uint16_t(pc + offset);
        break;
    }
    case 0x14:
    case 0x15:
    case 0x1C:
    case 0x1D: {
        const uint16_t e = op < 0x1C ? uint16_t(fetch8()) : uint16_t(ir + fetch8());
        const uint8_t m = read8(e);
        const uint8_t mask = fetch8();
        const bool isSet = op == 0x14 || op == 0x1C;
        write8(e, alu::logic8(ccr, isSet ? uint8_t(m | mask) : uint8_t(m & ~mask)));
        break;
    }

    // ---- Branches
    case 0x20: case 0x21: case 0x22: case 0x23: case 0x24: case 0x25: case 0x26: case 0x27:
    case 0x28: case 0x29: case 0x2A: case 0x2B: case 0x2C: case 0x2D: case 0x2E: case 0x2F: {
        const int8_t offset = int8_t(fetch8());
        if (alu::branchTaken(op, ccr))
            pc = uint16_t(pc + offset);
        break;
    }
    case 0x8D: { // BSR
        const int8_t offset = int8_t(fetch8());
        push16(pc);
        pc = uint16_t(pc + offset);
        break;
    }

    // ---- Stack and index-register transfers
    case 0x30: ir = uint16_t(sp + 1); break; // TSX/TSY
    case 0x31: ++sp; break;                  // INS
    case 0x32: a = pull8(); break;
    case 0x33: b = pull8(); break;
    case 0x34: --sp; break;                  // DES
    case 0x35: sp = uint16_t(ir - 1); break; // TXS/TYS
    case 0x36: push8(a); break;
    case 0x37: push8(b); break;
    case 0x38: ir = pull16(); break;         // PULX/PULY
    case 0x39: pc = pull16(); break;         // RTS
    case 0x3A: ir = uint16_t(ir + b); break; // ABX/ABY
    case 0x3B: {                             // RTI: X can be cleared but not set from the stack
        ccr = alu::transferToCcr(ccr, pull8());
        b = pull8();
        a = pull8();
        x = pull16();
        y = pull16();
        pc = pull16();
        break;
    }
    case 0x3C: push16(ir); break; // PSHX/PSHY
    case 0x3D: setD(alu::mul(ccr, a, b)); break;
    case 0x3E: // WAI: stacks now, so the interrupt that ends the wait only fetches its vector
        stackRegisters();
        state_ = CpuState::Waiting;
        endBatch_ = true;
        return kWaiStackingCycles;
    case 0x3F: // SWI: the stacked PC is the address after the SWI
        stackRegisters();
        ccr |= Ccr::I;
        pc = bus_.readVector(Vec::kSwi);
        break;
    case 0x8F: { // XGDX/XGDY
        const uint16_t t = d();
        setD(ir);
        ir = t;
        break;
    }
    case 0xCF: // STOP: a NOP while S is set
        if (!(ccr & Ccr::S)) {
            state_ = CpuState::Stopped;
            endBatch_ = true;
        }
        break;

    // ---- Read-modify-write on accumulators and memory
    CPU_RMW(0x0, alu::neg8)
    CPU_RMW(0x3, alu::com8)
    CPU_RMW(0x4, alu::lsr8)
    CPU_RMW(0x6, alu::ror8)
    CPU_RMW(0x7, alu::asr8)
    CPU_RMW(0x8, alu::asl8)
    CPU_RMW(0x9, alu::rol8)
    CPU_RMW(0xA, alu::dec8)
    CPU_RMW(0xC, alu::inc8)
    case 0x4D: alu::tst8(ccr, a); break;
    case 0x5D: alu::tst8(ccr, b); break;
    case 0x6D: alu::tst8(ccr, read8(uint16_t(ir + fetch8()))); break;
    case 0x7D: alu::tst8(ccr, read8(fetch16())); break;
    case 0x4F: a = alu::clr8(ccr); break;
    case 0x5F: b = alu::clr8(ccr); break;
    case 0x6F: { const uint16_t e = uint16_t(ir + fetch8()); read8(e); write8(e, alu::clr8(ccr)); break; }
    case 0x7F: { const uint16_t e = fetch16(); read8(e); write8(e, alu::clr8(ccr)); break; }
    case 0x6E: pc = uint16_t(ir + fetch8()); break; // JMP ind
    case 0x7E: pc = fetch16(); break;              // JMP ext

    // ---- 8-bit accumulator operations
    CPU_ALU8(0x0, r = alu::sub8(ccr, r, m, false))           // SUB
    CPU_ALU8(0x1, alu::sub8(ccr, r, m, false))               // CMP
    CPU_ALU8(0x2, r = alu::sub8(ccr, r, m, ccr & Ccr::C))    // SBC
    CPU_ALU8(0x4, r = alu::logic8(ccr, uint8_t(r & m)))      // AND
    CPU_ALU8(0x5, alu::logic8(ccr, uint8_t(r & m)))          // BIT
    CPU_ALU8(0x6, r = alu::logic8(ccr, m))                   // LDA
    CPU_ALU8(0x8, r = alu::logic8(ccr, uint8_t(r ^ m)))      // EOR
    CPU_ALU8(0x9, r = alu::add8(ccr, r, m, ccr & Ccr::C))    // ADC
    CPU_ALU8(0xA, r = alu::logic8(ccr, uint8_t(r | m)))      // ORA
    CPU_ALU8(0xB, r = alu::add8(ccr, r, m, false))           // ADD

    // ---- Stores and subroutine calls
    CPU_EA3(0x97, write8(e, alu::logic8(ccr, a)))            // STAA
    CPU_EA3(0xD7, write8(e, alu::logic8(ccr, b)))            // STAB
    CPU_EA3(0x9F, write16(e, alu::logic16(ccr, sp)))         // STS
    CPU_EA3(0xDD, write16(e, alu::logic16(ccr, d())))        // STD
    CPU_EA3(0xDF, write16(e, alu::logic16(ccr, ir)))         // STX/STY
    CPU_EA3(0x9D, push16(pc); pc = e)                        // JSR

    // ---- 16-bit arithmetic, compares and loads
    CPU_OP16(0x83, setD(alu::sub16(ccr, d(), m)))            // SUBD
    CPU_OP16(0xC3, setD(alu::add16(ccr, d(), m)))            // ADDD
    CPU_OP16(0x8C, alu::sub16(ccr, ir, m))                   // CPX/CPY
    CPU_OP16(0xCC, setD(alu::logic16(ccr, m)))               // LDD
    CPU_OP16(0x8E, sp = alu::logic16(ccr, m))                // LDS
    CPU_OP16(0xCE, ir = alu::logic16(ccr, m))                // LDX/LDY

    default:
        return illegalOpcode(opPc);
    }
    return cycles;
}

// ---- Page 3 ($1A) and page 4 ($CD) -----------------------------------------------------------

uint32_t Cpu::executePage1A(uint16_t opPc) {
    const uint8_t op = fetch8();
    switch (op) {
    case 0x83: alu::sub16(ccr, d(), fetch16()); break;                                // CPD #
    case 0x93: alu::sub16(ccr, d(), read16(fetch8())); break;                         // CPD dir
    case 0xA3: alu::sub16(ccr, d(), read16(uint16_t(x + fetch8()))); break;           // CPD ind,X
    case 0xB3: alu::sub16(ccr, d(), read16(fetch16())); break;                        // CPD ext
    case 0xAC: alu::sub16(ccr, y, read16(uint16_t(x + fetch8()))); break;             // CPY ind,X
    case 0xEE: y = alu::logic16(ccr, read16(uint16_t(x + fetch8()))); break;          // LDY ind,X
    case 0xEF: write16(uint16_t(x + fetch8()), alu::logic16(ccr, y)); break;          // STY ind,X
    default: return illegalOpcode(opPc);
    }
    return opcodes::kPage3[op].cycles;
}

uint32_t Cpu::executePageCD(uint16_t opPc) {
    const uint8_t op = fetch8();
    switch (op) {
    case 0xA3: alu::sub16(ccr, d(), read16(uint16_t(y + fetch8()))); break;           // CPD ind,Y
    case 0xAC: alu::sub16(ccr, x, read16(uint16_t(y + fetch8()))); break;             // CPX ind,Y
    case 0xEE: x = alu::logic16(ccr, read16(uint16_t(y + fetch8()))); break;          // LDX ind,Y
    case 0xEF: write16(uint16_t(y + fetch8()), alu::logic16(ccr, x)); break;          // STX ind,Y
    default: return illegalOpcode(opPc);
    }
    return opcodes::kPage4[op].cycles;
}

