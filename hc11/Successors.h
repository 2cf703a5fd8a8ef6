#pragma once
#include "hc11/OpcodeTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Where execution can continue after one 68HC11 instruction, worked out from the instruction's
// bytes, the registers and the few target bytes it depends on: the single-step logic of the
// debugger as one pure function, with no serial line behind it. What each opcode is (its page,
// length, addressing mode, kind of control transfer and branch condition) comes from the opcode
// table; this function adds only what each kind of control transfer means.

// The registers that decide where an instruction continues. SP is the CPU's stack pointer: it
// addresses the next free byte, so the byte pushed last is at SP + 1.
struct CpuRegisters {
    uint8_t A = 0;
    uint8_t B = 0;
    uint8_t CCR = 0;
    uint16_t X = 0;
    uint16_t Y = 0;
    uint16_t SP = 0;
};

// Whether a branch is taken, as far as the inputs tell.
enum class BranchDecision : uint8_t {
    Unknown,  // a branch whose tested byte was not supplied, or no branch at all
    Taken,    // also every Jump and Call
    NotTaken, // also BRN
};

// A block of target memory.
struct MemoryRange {
    uint16_t address = 0;
    uint8_t count = 0; // 0: no memory
};

// The longest instruction: prefix, opcode and three operand bytes.
inline constexpr size_t kMaxInstructionBytes = 5;
using InstructionBytes = std::array<uint8_t, kMaxInstructionBytes>;

// The answer for one instruction.
struct Successors {
    FlowKind kind = FlowKind::Undefined;
    uint16_t address = 0; // the instruction's address
    uint8_t length = 0;   // its bytes including a prefix; 0 when Undefined
    uint16_t next = 0;    // the address after it
    // Every address where execution can continue, a branch's target before the next instruction.
    // None for SWI, WAI, STOP and undefined instructions, and for RTS and RTI until their
    // return address is supplied.
    std::array<uint16_t, 2> targets{};
    uint8_t count = 0;
    BranchDecision decision = BranchDecision::Unknown;
    // Target bytes that would settle what is still open: the byte BRSET or BRCLR tests, or the
    // return address of RTS or RTI. count 0 when nothing is missing.
    MemoryRange needs;

    // True when target lies within the instruction's own bytes.
    bool inside(uint16_t target) const { return static_cast<uint16_t>(target - address) < length; }
};

// The successors of the instruction whose bytes (at least its length; pass five) start at address,
// for the given registers. memory holds the bytes of a range that an earlier answer's needs asked
// for (empty, or shorter than asked: not supplied). Addresses wrap at $FFFF.
Successors successorsOf(uint16_t address, const InstructionBytes& bytes, const CpuRegisters& registers,
                        std::span<const uint8_t> memory = {});

// Whether a branch on a CCR condition (Never to LessOrEqual) branches under the given CCR.
bool conditionHolds(BranchCondition condition, uint8_t ccr);
