#pragma once
#include <array>
#include <cstdint>
#include <string_view>

// What one page-1 opcode byte of the 68HC11 is: texts, length and whether it can transfer control.
struct DecodedInstruction {
    bool valid = false;                  // defined opcode or prefix byte
    std::string_view mnemonic = "INVALID"; // "LDX/LDY" style when an X and a Y form share the byte
    std::string_view mode = "INVALID";   // "INH", "IMM", "DIR", "EXT", "IND", "REL", "CTRL" or "CRTL"
    uint8_t length = 0;                  // bytes of the page-1 instruction including the opcode; 0 when undefined
    bool changesFlow = false;            // the instruction can continue somewhere other than the next one
};

// Builders of the table entries, and the table.
namespace OpcodeEntry {
constexpr DecodedInstruction inh(std::string_view m) { return {true, m, "INH", 1, false}; }
constexpr DecodedInstruction imm(std::string_view m, uint8_t len) { return {true, m, "IMM", len, false}; }
constexpr DecodedInstruction dir(std::string_view m, uint8_t len = 2) { return {true, m, "DIR", len, false}; }
constexpr DecodedInstruction ext(std::string_view m) { return {true, m, "EXT", 3, false}; }
constexpr DecodedInstruction ind(std::string_view m, uint8_t len = 2) { return {true, m, "IND", len, false}; }
constexpr DecodedInstruction rel(std::string_view m) { return {true, m, "REL", 2, true}; }
constexpr DecodedInstruction pre(std::string_view m, std::string_view mode) { return {true, m, mode, 1, false}; }
constexpr DecodedInstruction flow(DecodedInstruction d) { d.changesFlow = true; return d; }
constexpr DecodedInstruction bad() { return {}; }

// The 68HC11 page-1 opcode map, sixteen entries to a line in opcode order.
inline constexpr std::array<DecodedInstruction, 256> kOpcodeTable = {{
    // $00
    inh("TEST"), inh("NOP"), inh("IDIV"), inh("FDIV"), inh("LSRD"), inh("ASLD/LSLD"), inh("TAP"), inh("TPA"), inh("INX/INY"), inh("DEX/DEY"), inh("CLV"), inh("SEV"), inh("CLC"), inh("SEC"), inh("CLI"), inh("SEI"),
    // $10
    inh("SBA"), inh("CBA"), flow(dir("BRSET", 4)), flow(dir("BRCLR", 4)), dir("BSET", 3), dir("BCLR", 3), inh("TAB"), inh("TBA"), pre("PAGE2", "CTRL"), inh("DAA"), pre("PAGE3", "CTRL"), inh("ABA"), ind("BSET", 3), ind("BCLR", 3), flow(ind("BRSET", 4)), flow(ind("BRCLR", 4)),
    // $20
    rel("BRA"), rel("BRN"), rel("BHI"), rel("BLS"), rel("BCC/BHS"), rel("BCS/BLO"), rel("BNE"), rel("BEQ"), rel("BVC"), rel("BVS"), rel("BPL"), rel("BMI"), rel("BGE"), rel("BLT"), rel("BGT"), rel("BLE"),
    // $30
    inh("TSX/TSY"), inh("INS"), inh("PULA"), inh("PULB"), inh("DES"), inh("TXS/TYS"), inh("PSHA"), inh("PSHB"), inh("PULX/PULY"), flow(inh("RTS")), inh("ABX/ABY"), inh("RTI"), inh("PSHX/PSHY"), inh("MUL"), inh("WAI"), inh("SWI"),
    // $40
    inh("NEGA"), bad(), bad(), inh("COMA"), inh("LSRA"), bad(), inh("RORA"), inh("ASRA"), inh("ASLA/LSLA"), inh("ROLA"), inh("DECA"), bad(), inh("INCA"), inh("TSTA"), bad(), inh("CLRA"),
    // $50
    inh("NEGB"), bad(), bad(), inh("COMB"), inh("LSRB"), bad(), inh("RORB"), inh("ASRB"), inh("LSLB"), inh("ROLB"), inh("DECB"), bad(), inh("INCB"), inh("TSTB"), bad(), inh("CLRB"),
    // $60
    ind("NEG"), bad(), bad(), ind("COM"), ind("LSR"), bad(), ind("ROR"), ind("ASR"), ind("ASL/LSL"), ind("ROL"), ind("DEC"), bad(), ind("INC"), ind("TST"), flow(ind("JMP")), ind("CLR"),
    // $70
    ext("NEG"), bad(), bad(), ext("COM"), ext("LSR"), bad(), ext("ROR"), ext("ASR"), ext("ASL/LSL"), ext("ROL"), ext("DEC"), bad(), ext("INC"), ext("TST"), flow(ext("JMP")), ext("CLR"),
    // $80
    imm("SUBA", 2), imm("CMPA", 2), imm("SBCA", 2), imm("SUBD", 3), imm("ANDA", 2), imm("BITA", 2), imm("LDAA", 2), bad(), imm("EORA", 2), imm("ADCA", 2), imm("ORAA", 2), imm("ADDA", 2), imm("CPX/CPY", 3), rel("BSR"), imm("LDS", 3), inh("XGDX/XGDY"),
    // $90
    dir("SUBA"), dir("CMPA"), dir("SBCA"), dir("SUBD"), dir("ANDA"), dir("BITA"), dir("LDAA"), dir("STAA"), dir("EORA"), dir("ADCA"), dir("ORAA"), dir("ADDA"), dir("CPX/CPY"), flow(dir("JSR")), dir("LDS"), dir("STS"),
    // $A0
    ind("SUBA"), ind("CMPA"), ind("SBCA"), ind("SUBD"), ind("ANDA"), ind("BITA"), ind("LDAA"), ind("STAA"), ind("EORA"), ind("ADCA"), ind("ORAA"), ind("ADDA"), ind("CPX/CPY"), flow(ind("JSR")), ind("LDS"), ind("STS"),
    // $B0
    ext("SUBA"), ext("CMPA"), ext("SBCA"), ext("SUBD"), ext("ANDA"), ext("BITA"), ext("LDAA"), ext("STAA"), ext("EORA"), ext("ADCA"), ext("ORAA"), ext("ADDA"), ext("CPX/CPY"), flow(ext("JSR")), ext("LDS"), ext("STS"),
    // $C0
    imm("SUBB", 2), imm("CMPB", 2), imm("SBCB", 2), imm("ADDD", 3), imm("ANDB", 2), imm("BITB", 2), imm("LDAB", 2), bad(), imm("EORB", 2), imm("ADCB", 2), imm("ORAB", 2), imm("ADDB", 2), imm("LDD", 3), pre("PAGE4", "CRTL"), imm("LDX/LDY", 3), inh("STOP"),
    // $D0
    dir("SUBB"), dir("CMPB"), dir("SBCB"), dir("ADDD"), dir("ANDB"), dir("BITB"), dir("LDAB"), dir("STAB"), dir("EORB"), dir("ADCB"), dir("ORAB"), dir("ADDB"), dir("LDD"), dir("STD"), dir("LDX/LDY"), dir("STX/STY"),
    // $E0
    ind("SUBB"), ind("CMPB"), ind("SBCB"), ind("ADDD"), ind("ANDB"), ind("BITB"), ind("LDAB"), ind("STAB"), ind("EORB"), ind("ADCB"), ind("ORAB"), ind("ADDB"), ind("LDD"), ind("STD"), ind("LDX/LDY"), ind("STX/STY"),
    // $F0
    ext("SUBB"), ext("CMPB"), ext("SBCB"), ext("ADDD"), ext("ANDB"), ext("BITB"), ext("LDAB"), ext("STAB"), ext("EORB"), ext("ADCB"), ext("ORAB"), ext("ADDB"), ext("LDD"), ext("STD"), ext("LDX/LDY"), ext("STX/STY"),
}};
} // namespace OpcodeEntry

using OpcodeEntry::kOpcodeTable;

// Classifies opcode bytes of the 68HC11 page-1 opcode map from one constant table.
class InstructionDecoder {
public:
    // The record of one opcode byte. Prefixes ($18, $1A, $CD) are valid with length 1; the caller
    // decodes the byte after a prefix with the same table and adds one byte of length.
    static constexpr DecodedInstruction decode(uint8_t opcode) { return kOpcodeTable[opcode]; }

    // True for the prefix bytes $18, $1A and $CD.
    static constexpr bool isPrefix(uint8_t opcode) { return opcode == 0x18 || opcode == 0x1A || opcode == 0xCD; }
};

// Anchors: a shifted row or a slipped entry breaks one of these.
static_assert(InstructionDecoder::decode(0x00).mnemonic == "TEST");
static_assert(InstructionDecoder::decode(0x1F).mnemonic == "BRCLR" && InstructionDecoder::decode(0x1F).length == 4);
static_assert(InstructionDecoder::decode(0x2F).mnemonic == "BLE");
static_assert(InstructionDecoder::decode(0x3F).mnemonic == "SWI" && !InstructionDecoder::decode(0x3F).changesFlow);
static_assert(!InstructionDecoder::decode(0x41).valid && !InstructionDecoder::decode(0x7B).valid);
static_assert(InstructionDecoder::decode(0x7E).mnemonic == "JMP" && InstructionDecoder::decode(0x7E).mode == "EXT");
static_assert(InstructionDecoder::decode(0x8D).mnemonic == "BSR" && InstructionDecoder::decode(0x8D).changesFlow);
static_assert(!InstructionDecoder::decode(0x87).valid && !InstructionDecoder::decode(0xC7).valid);
static_assert(InstructionDecoder::decode(0xAD).mnemonic == "JSR" && InstructionDecoder::decode(0xAD).mode == "IND");
static_assert(InstructionDecoder::decode(0xCD).mode == "CRTL" && InstructionDecoder::decode(0xCD).length == 1);
static_assert(InstructionDecoder::decode(0xCF).mnemonic == "STOP");
static_assert(InstructionDecoder::decode(0xFF).mnemonic == "STX/STY" && InstructionDecoder::decode(0xFF).length == 3);
