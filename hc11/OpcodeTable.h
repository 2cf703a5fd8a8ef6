#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The 68HC11 instruction set as one table: for each opcode of each of the four opcode pages (no
// prebyte, $18, $1A, $CD) its mnemonic, addressing mode, length, E cycles and what it does to the
// flow of control. The simulator executes from it, the successors of an instruction are worked
// out from it, and the instruction decoder's texts are a view of its first page.

// What an instruction does to the flow of control.
enum class FlowKind : uint8_t {
    Next,                // continues with the next instruction
    Branch,              // Bcc, BRN, BRSET, BRCLR: its target or the next instruction; changes only PC
    Jump,                // BRA, JMP: always its target; changes only PC
    Call,                // BSR, JSR: its target, with the return address pushed
    Return,              // RTS: the return address on top of the stack
    ReturnFromInterrupt, // RTI: the PC of the register frame on the stack
    SoftwareInterrupt,   // SWI: through the SWI vector, which belongs to the monitor
    Wait,                // WAI, STOP: waits for an interrupt or a reset
    Undefined,           // an undefined opcode or prebyte/opcode pair: traps through the illegal-opcode vector
};

// How an instruction finds its operand.
enum class AddressMode : uint8_t {
    Undefined,      // no instruction
    Prefix,         // a prebyte selecting another page for the next byte
    Inherent,       // no operand bytes
    Immediate8,     // one data byte
    Immediate16,    // two data bytes, high first
    Direct,         // an address $0000-$00FF
    Extended,       // a 16-bit address, high byte first
    IndexedX,       // X plus an unsigned 8-bit offset
    IndexedY,       // Y plus an unsigned 8-bit offset
    Relative,       // a signed 8-bit offset from the next instruction
    BitDirect,      // BSET/BCLR: direct address, mask
    BitIndexedX,    // BSET/BCLR: offset from X, mask
    BitIndexedY,    // BSET/BCLR: offset from Y, mask
    BranchDirect,   // BRSET/BRCLR: direct address, mask, relative offset
    BranchIndexedX, // BRSET/BRCLR: offset from X, mask, relative offset
    BranchIndexedY, // BRSET/BRCLR: offset from Y, mask, relative offset
};

// What a Branch tests: a combination of the CCR bits, or the bits of the mask in the operand
// byte (BRSET branches when every mask bit is set, BRCLR when every mask bit is clear).
enum class BranchCondition : uint8_t {
    None, // not a Branch
    Never, Higher, LowerOrSame, CarryClear, CarrySet, NotEqual, Equal, OverflowClear, OverflowSet,
    Plus, Minus, GreaterOrEqual, Less, Greater, LessOrEqual,
    BitsSet, BitsClear,
};

// One opcode of one page.
struct Opcode {
    std::string_view mnemonic;  // "LDY", "BCC/BHS" where one opcode has two names; "" when undefined
    AddressMode mode = AddressMode::Undefined;
    uint8_t length = 0;         // bytes including the opcode and any prebyte; 1 for a prebyte, 0 when undefined
    uint8_t cycles = 0;         // E cycles; 0 for prebytes, undefined opcodes and TEST, which never completes
    FlowKind flow = FlowKind::Undefined; // Next for a prebyte: the instruction is the next byte's entry
    BranchCondition condition = BranchCondition::None;
};

using OpcodePage = std::array<Opcode, 256>;

namespace opcodes {

namespace detail {
constexpr uint8_t lengthOf(AddressMode m)
{
    switch (m) {
    case AddressMode::Undefined: return 0;
    case AddressMode::Prefix:
    case AddressMode::Inherent: return 1;
    case AddressMode::Immediate8:
    case AddressMode::Direct:
    case AddressMode::IndexedX:
    case AddressMode::IndexedY:
    case AddressMode::Relative: return 2;
    case AddressMode::Immediate16:
    case AddressMode::Extended:
    case AddressMode::BitDirect:
    case AddressMode::BitIndexedX:
    case AddressMode::BitIndexedY: return 3;
    case AddressMode::BranchDirect:
    case AddressMode::BranchIndexedX:
    case AddressMode::BranchIndexedY: return 4;
    }
    return 0;
}
constexpr Opcode op(std::string_view n, AddressMode m, uint8_t c, FlowKind f = FlowKind::Next,
                    BranchCondition b = BranchCondition::None)
{
    return {n, m, lengthOf(m), c, f, b};
}
// Entry builders, one per addressing mode; lengths exclude a prebyte, which onPrebyte() adds.
constexpr Opcode inh(std::string_view n, uint8_t c, FlowKind f = FlowKind::Next) { return op(n, AddressMode::Inherent, c, f); }
constexpr Opcode im1(std::string_view n, uint8_t c) { return op(n, AddressMode::Immediate8, c); }
constexpr Opcode im2(std::string_view n, uint8_t c) { return op(n, AddressMode::Immediate16, c); }
constexpr Opcode dir(std::string_view n, uint8_t c, FlowKind f = FlowKind::Next) { return op(n, AddressMode::Direct, c, f); }
constexpr Opcode ext(std::string_view n, uint8_t c, FlowKind f = FlowKind::Next) { return op(n, AddressMode::Extended, c, f); }
constexpr Opcode ixx(std::string_view n, uint8_t c, FlowKind f = FlowKind::Next) { return op(n, AddressMode::IndexedX, c, f); }
constexpr Opcode ixy(std::string_view n, uint8_t c, FlowKind f = FlowKind::Next) { return op(n, AddressMode::IndexedY, c, f); }
constexpr Opcode rel(std::string_view n, uint8_t c, FlowKind f) { return op(n, AddressMode::Relative, c, f); }
constexpr Opcode bsd(std::string_view n, uint8_t c) { return op(n, AddressMode::BitDirect, c); }
constexpr Opcode bsx(std::string_view n, uint8_t c) { return op(n, AddressMode::BitIndexedX, c); }
constexpr Opcode bsy(std::string_view n, uint8_t c) { return op(n, AddressMode::BitIndexedY, c); }
constexpr Opcode brd(std::string_view n, uint8_t c, BranchCondition b) { return op(n, AddressMode::BranchDirect, c, FlowKind::Branch, b); }
constexpr Opcode brx(std::string_view n, uint8_t c, BranchCondition b) { return op(n, AddressMode::BranchIndexedX, c, FlowKind::Branch, b); }
constexpr Opcode bry(std::string_view n, uint8_t c, BranchCondition b) { return op(n, AddressMode::BranchIndexedY, c, FlowKind::Branch, b); }
// A conditional branch: relative, 3 E cycles whether taken or not.
constexpr Opcode bcc(std::string_view n, BranchCondition b) { return op(n, AddressMode::Relative, 3, FlowKind::Branch, b); }
constexpr Opcode pre(std::string_view n) { return op(n, AddressMode::Prefix, 0); }
inline constexpr Opcode ___{};

constexpr OpcodePage onPrebyte(OpcodePage page)
{
    for (Opcode& o : page)
        if (o.mode != AddressMode::Undefined)
            ++o.length;
    return page;
}
} // namespace detail

// Page 1: opcodes without a prebyte, and the three prebytes. TEST ($00) runs only in special test
// mode, where it never completes.
inline constexpr OpcodePage kPage1 = [] {
    using namespace detail;
    using enum FlowKind;
    using enum BranchCondition;
    return OpcodePage{{
        inh("TEST", 0), inh("NOP", 2), inh("IDIV", 41), inh("FDIV", 41), inh("LSRD", 3), inh("ASLD/LSLD", 3), inh("TAP", 2), inh("TPA", 2), inh("INX", 3), inh("DEX", 3), inh("CLV", 2), inh("SEV", 2), inh("CLC", 2), inh("SEC", 2), inh("CLI", 2), inh("SEI", 2), // 0x
        inh("SBA", 2), inh("CBA", 2), brd("BRSET", 6, BitsSet), brd("BRCLR", 6, BitsClear), bsd("BSET", 6), bsd("BCLR", 6), inh("TAB", 2), inh("TBA", 2), pre("PAGE2"), inh("DAA", 2), pre("PAGE3"), inh("ABA", 2), bsx("BSET", 7), bsx("BCLR", 7), brx("BRSET", 7, BitsSet), brx("BRCLR", 7, BitsClear), // 1x
        rel("BRA", 3, Jump), bcc("BRN", Never), bcc("BHI", Higher), bcc("BLS", LowerOrSame), bcc("BCC/BHS", CarryClear), bcc("BCS/BLO", CarrySet), bcc("BNE", NotEqual), bcc("BEQ", Equal), bcc("BVC", OverflowClear), bcc("BVS", OverflowSet), bcc("BPL", Plus), bcc("BMI", Minus), bcc("BGE", GreaterOrEqual), bcc("BLT", Less), bcc("BGT", Greater), bcc("BLE", LessOrEqual), // 2x
        inh("TSX", 3), inh("INS", 3), inh("PULA", 4), inh("PULB", 4), inh("DES", 3), inh("TXS", 3), inh("PSHA", 3), inh("PSHB", 3), inh("PULX", 5), inh("RTS", 5, Return), inh("ABX", 3), inh("RTI", 12, ReturnFromInterrupt), inh("PSHX", 4), inh("MUL", 10), inh("WAI", 14, Wait), inh("SWI", 14, SoftwareInterrupt), // 3x
        inh("NEGA", 2), ___, ___, inh("COMA", 2), inh("LSRA", 2), ___, inh("RORA", 2), inh("ASRA", 2), inh("ASLA/LSLA", 2), inh("ROLA", 2), inh("DECA", 2), ___, inh("INCA", 2), inh("TSTA", 2), ___, inh("CLRA", 2), // 4x
        inh("NEGB", 2), ___, ___, inh("COMB", 2), inh("LSRB", 2), ___, inh("RORB", 2), inh("ASRB", 2), inh("LSLB", 2), inh("ROLB", 2), inh("DECB", 2), ___, inh("INCB", 2), inh("TSTB", 2), ___, inh("CLRB", 2), // 5x
        ixx("NEG", 6), ___, ___, ixx("COM", 6), ixx("LSR", 6), ___, ixx("ROR", 6), ixx("ASR", 6), ixx("ASL/LSL", 6), ixx("ROL", 6), ixx("DEC", 6), ___, ixx("INC", 6), ixx("TST", 6), ixx("JMP", 3, Jump), ixx("CLR", 6), // 6x
        ext("NEG", 6), ___, ___, ext("COM", 6), ext("LSR", 6), ___, ext("ROR", 6), ext("ASR", 6), ext("ASL/LSL", 6), ext("ROL", 6), ext("DEC", 6), ___, ext("INC", 6), ext("TST", 6), ext("JMP", 3, Jump), ext("CLR", 6), // 7x
        im1("SUBA", 2), im1("CMPA", 2), im1("SBCA", 2), im2("SUBD", 4), im1("ANDA", 2), im1("BITA", 2), im1("LDAA", 2), ___, im1("EORA", 2), im1("ADCA", 2), im1("ORAA", 2), im1("ADDA", 2), im2("CPX", 4), rel("BSR", 6, Call), im2("LDS", 3), inh("XGDX", 3), // 8x
        dir("SUBA", 3), dir("CMPA", 3), dir("SBCA", 3), dir("SUBD", 5), dir("ANDA", 3), dir("BITA", 3), dir("LDAA", 3), dir("STAA", 3), dir("EORA", 3), dir("ADCA", 3), dir("ORAA", 3), dir("ADDA", 3), dir("CPX", 5), dir("JSR", 5, Call), dir("LDS", 4), dir("STS", 4), // 9x
        ixx("SUBA", 4), ixx("CMPA", 4), ixx("SBCA", 4), ixx("SUBD", 6), ixx("ANDA", 4), ixx("BITA", 4), ixx("LDAA", 4), ixx("STAA", 4), ixx("EORA", 4), ixx("ADCA", 4), ixx("ORAA", 4), ixx("ADDA", 4), ixx("CPX", 6), ixx("JSR", 6, Call), ixx("LDS", 5), ixx("STS", 5), // Ax
        ext("SUBA", 4), ext("CMPA", 4), ext("SBCA", 4), ext("SUBD", 6), ext("ANDA", 4), ext("BITA", 4), ext("LDAA", 4), ext("STAA", 4), ext("EORA", 4), ext("ADCA", 4), ext("ORAA", 4), ext("ADDA", 4), ext("CPX", 6), ext("JSR", 6, Call), ext("LDS", 5), ext("STS", 5), // Bx
        im1("SUBB", 2), im1("CMPB", 2), im1("SBCB", 2), im2("ADDD", 4), im1("ANDB", 2), im1("BITB", 2), im1("LDAB", 2), ___, im1("EORB", 2), im1("ADCB", 2), im1("ORAB", 2), im1("ADDB", 2), im2("LDD", 3), pre("PAGE4"), im2("LDX", 3), inh("STOP", 2, Wait), // Cx
        dir("SUBB", 3), dir("CMPB", 3), dir("SBCB", 3), dir("ADDD", 5), dir("ANDB", 3), dir("BITB", 3), dir("LDAB", 3), dir("STAB", 3), dir("EORB", 3), dir("ADCB", 3), dir("ORAB", 3), dir("ADDB", 3), dir("LDD", 4), dir("STD", 4), dir("LDX", 4), dir("STX", 4), // Dx
        ixx("SUBB", 4), ixx("CMPB", 4), ixx("SBCB", 4), ixx("ADDD", 6), ixx("ANDB", 4), ixx("BITB", 4), ixx("LDAB", 4), ixx("STAB", 4), ixx("EORB", 4), ixx("ADCB", 4), ixx("ORAB", 4), ixx("ADDB", 4), ixx("LDD", 5), ixx("STD", 5), ixx("LDX", 5), ixx("STX", 5), // Ex
        ext("SUBB", 4), ext("CMPB", 4), ext("SBCB", 4), ext("ADDD", 6), ext("ANDB", 4), ext("BITB", 4), ext("LDAB", 4), ext("STAB", 4), ext("EORB", 4), ext("ADCB", 4), ext("ORAB", 4), ext("ADDB", 4), ext("LDD", 5), ext("STD", 5), ext("LDX", 5), ext("STX", 5), // Fx
    }};
}();

// Page 2 (prebyte $18): the indexed-X forms re-targeted to Y, and the Y-register instructions.
inline constexpr OpcodePage kPage2 = [] {
    using namespace detail;
    using enum FlowKind;
    using enum BranchCondition;
    return onPrebyte(OpcodePage{{
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            inh("INY", 4),     inh("DEY", 4),  ___,            ___,            ___,            ___,                 ___,                      ___,                        // 0x
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            bsy("BSET", 8), bsy("BCLR", 8),      bry("BRSET", 8, BitsSet), bry("BRCLR", 8, BitsClear), // 1x
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ___,            ___,                 ___,                      ___,                        // 2x
        inh("TSY", 4),  ___,            ___,            ___,            ___,            inh("TYS", 4),  ___,            ___,            inh("PULY", 6),    ___,            inh("ABY", 4),  ___,            inh("PSHY", 5), ___,                 ___,                      ___,                        // 3x
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ___,            ___,                 ___,                      ___,                        // 4x
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ___,            ___,                 ___,                      ___,                        // 5x
        ixy("NEG", 7),  ___,            ___,            ixy("COM", 7),  ixy("LSR", 7),  ___,            ixy("ROR", 7),  ixy("ASR", 7),  ixy("ASL/LSL", 7), ixy("ROL", 7),  ixy("DEC", 7),  ___,            ixy("INC", 7),  ixy("TST", 7),       ixy("JMP", 4, Jump),      ixy("CLR", 7),              // 6x
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ___,            ___,                 ___,                      ___,                        // 7x
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            im2("CPY", 5),  ___,                 ___,                      inh("XGDY", 4),             // 8x
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            dir("CPY", 6),  ___,                 ___,                      ___,                        // 9x
        ixy("SUBA", 5), ixy("CMPA", 5), ixy("SBCA", 5), ixy("SUBD", 7), ixy("ANDA", 5), ixy("BITA", 5), ixy("LDAA", 5), ixy("STAA", 5), ixy("EORA", 5),    ixy("ADCA", 5), ixy("ORAA", 5), ixy("ADDA", 5), ixy("CPY", 7),  ixy("JSR", 7, Call), ixy("LDS", 6),            ixy("STS", 6),              // Ax
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ext("CPY", 7),  ___,                 ___,                      ___,                        // Bx
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ___,            ___,                 im2("LDY", 4),            ___,                        // Cx
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ___,            ___,                 dir("LDY", 5),            dir("STY", 5),              // Dx
        ixy("SUBB", 5), ixy("CMPB", 5), ixy("SBCB", 5), ixy("ADDD", 7), ixy("ANDB", 5), ixy("BITB", 5), ixy("LDAB", 5), ixy("STAB", 5), ixy("EORB", 5),    ixy("ADCB", 5), ixy("ORAB", 5), ixy("ADDB", 5), ixy("LDD", 6),  ixy("STD", 6),       ixy("LDY", 6),            ixy("STY", 6),              // Ex
        ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,            ___,               ___,            ___,            ___,            ___,            ___,                 ext("LDY", 6),            ext("STY", 6),              // Fx
    }});
}();

// Page 3 (prebyte $1A): CPD, and the Y instructions that index through X.
inline constexpr OpcodePage kPage3 = [] {
    using namespace detail;
    return onPrebyte(OpcodePage{{
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 0x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 1x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 2x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 3x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 4x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 5x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 6x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 7x
        ___, ___, ___, im2("CPD", 5), ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 8x
        ___, ___, ___, dir("CPD", 6), ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 9x
        ___, ___, ___, ixx("CPD", 7), ___, ___, ___, ___, ___, ___, ___, ___, ixx("CPY", 7), ___, ___,           ___,           // Ax
        ___, ___, ___, ext("CPD", 7), ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Bx
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Cx
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Dx
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ixx("LDY", 6), ixx("STY", 6), // Ex
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Fx
    }});
}();

// Page 4 (prebyte $CD): the X instructions (and CPD) that index through Y.
inline constexpr OpcodePage kPage4 = [] {
    using namespace detail;
    return onPrebyte(OpcodePage{{
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 0x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 1x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 2x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 3x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 4x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 5x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 6x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 7x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 8x
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // 9x
        ___, ___, ___, ixy("CPD", 7), ___, ___, ___, ___, ___, ___, ___, ___, ixy("CPX", 7), ___, ___,           ___,           // Ax
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Bx
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Cx
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Dx
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ixy("LDX", 6), ixy("STX", 6), // Ex
        ___, ___, ___, ___,           ___, ___, ___, ___, ___, ___, ___, ___, ___,           ___, ___,           ___,           // Fx
    }});
}();

// The entry of every undefined opcode.
inline constexpr Opcode kUndefined{};

// The pages in order, and the prebyte that selects each (0 for page 1, which has none).
inline constexpr std::array<const OpcodePage*, 4> kPages = {&kPage1, &kPage2, &kPage3, &kPage4};
inline constexpr std::array<uint8_t, 4> kPrebytes = {0x00, 0x18, 0x1A, 0xCD};

// True for a byte that selects another page for the byte after it.
constexpr bool isPrefix(uint8_t byte) { return kPage1[byte].mode == AddressMode::Prefix; }

// The entry of opcode on the page the prebyte selects (0: page 1). Any other prebyte yields an
// undefined entry.
constexpr const Opcode& lookup(uint8_t prebyte, uint8_t opcode)
{
    for (size_t page = 0; page < kPrebytes.size(); ++page)
        if (kPrebytes[page] == prebyte)
            return (*kPages[page])[opcode];
    return kUndefined;
}

// The entry of the instruction whose first two bytes are given: a prebyte selects the page of
// the second byte, which may well be undefined there (a prebyte after a prebyte always is).
constexpr const Opcode& instructionAt(uint8_t first, uint8_t second)
{
    return isPrefix(first) ? lookup(first, second) : kPage1[first];
}

// Anchors: a shifted row or column in any page breaks one of these.
static_assert(kPage1[0x00].mnemonic == "TEST" && kPage1[0x00].cycles == 0);
static_assert(kPage1[0x02].cycles == 41 && kPage1[0x03].cycles == 41);                    // IDIV, FDIV
static_assert(kPage1[0x12].mode == AddressMode::BranchDirect && kPage1[0x12].condition == BranchCondition::BitsSet);
static_assert(kPage1[0x1F].mode == AddressMode::BranchIndexedX && kPage1[0x1F].length == 4);
static_assert(kPage1[0x20].flow == FlowKind::Jump && kPage1[0x21].condition == BranchCondition::Never);
static_assert(kPage1[0x2F].mnemonic == "BLE" && kPage1[0x2F].condition == BranchCondition::LessOrEqual);
static_assert(kPage1[0x39].flow == FlowKind::Return && kPage1[0x3B].cycles == 12 && kPage1[0x3D].cycles == 10);
static_assert(kPage1[0x3F].flow == FlowKind::SoftwareInterrupt && kPage1[0x3E].flow == FlowKind::Wait);
static_assert(kPage1[0x4E].mode == AddressMode::Undefined && kPage1[0x4F].mnemonic == "CLRA");
static_assert(kPage1[0x6E].flow == FlowKind::Jump && kPage1[0x7E].cycles == 3);            // JMP ind,X / ext
static_assert(kPage1[0x87].mode == AddressMode::Undefined && kPage1[0xC7].mode == AddressMode::Undefined);
static_assert(kPage1[0x8D].flow == FlowKind::Call && kPage1[0x8D].cycles == 6);            // BSR
static_assert(kPage1[0x18].mode == AddressMode::Prefix && kPage1[0x1A].mode == AddressMode::Prefix &&
              kPage1[0xCD].mode == AddressMode::Prefix);
static_assert(kPage1[0xCF].flow == FlowKind::Wait && kPage1[0xFF].mnemonic == "STX" && kPage1[0xFF].cycles == 5);
static_assert(kPage2[0x1E].length == 5 && kPage2[0x1E].cycles == 8 && kPage2[0x1E].flow == FlowKind::Branch);
static_assert(kPage2[0x38].cycles == 6 && kPage2[0x8C].length == 4 && kPage2[0x8C].mnemonic == "CPY");
static_assert(kPage2[0x6E].flow == FlowKind::Jump && kPage2[0xAD].flow == FlowKind::Call);
static_assert(kPage2[0xA7].cycles == 5 && kPage2[0xEF].cycles == 6);                      // STAA, STY ind,Y
static_assert(kPage2[0xFE].mode == AddressMode::Extended && kPage2[0x86].mode == AddressMode::Undefined);
static_assert(kPage2[0x7E].mode == AddressMode::Undefined && kPage2[0x18].mode == AddressMode::Undefined);
static_assert(kPage3[0x83].length == 4 && kPage3[0x83].cycles == 5 && kPage3[0x83].mnemonic == "CPD");
static_assert(kPage3[0xEF].mode == AddressMode::IndexedX && kPage3[0xEE].cycles == 6);
static_assert(kPage4[0xAC].mode == AddressMode::IndexedY && kPage4[0xAC].cycles == 7 && kPage4[0xAC].mnemonic == "CPX");
static_assert(kPage4[0xA3].length == 3 && kPage4[0x83].mode == AddressMode::Undefined);
static_assert(isPrefix(kPrebytes[1]) && isPrefix(kPrebytes[2]) && isPrefix(kPrebytes[3]) && !isPrefix(kPrebytes[0]));
static_assert(&instructionAt(0x18, 0xCE) == &kPage2[0xCE] && &instructionAt(0xCE, 0x18) == &kPage1[0xCE]);

} // namespace opcodes
