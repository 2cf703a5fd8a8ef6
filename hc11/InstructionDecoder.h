#pragma once
#include "hc11/OpcodeTable.h"

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

namespace decoderview {
// A mnemonic text held in the view itself.
struct Text {
    std::array<char, 12> chars{};
    uint8_t size = 0;
    constexpr std::string_view view() const { return {chars.data(), size}; }
};

constexpr Text joined(std::string_view first, std::string_view second)
{
    Text t;
    for (char c : first)
        t.chars[t.size++] = c;
    if (!second.empty()) {
        t.chars[t.size++] = '/';
        for (char c : second)
            t.chars[t.size++] = c;
    }
    return t;
}

// Page-1 mnemonics as the decoder shows them: where page 2 holds the Y form of the same opcode
// under another name, both names ("LDX/LDY").
inline constexpr std::array<Text, 256> kMnemonics = [] {
    std::array<Text, 256> texts{};
    for (size_t op = 0; op < 256; ++op) {
        const std::string_view x = opcodes::kPage1[op].mnemonic;
        const std::string_view y = opcodes::kPage2[op].mnemonic;
        texts[op] = joined(x, y.empty() || y == x ? std::string_view() : y);
    }
    return texts;
}();

constexpr std::string_view modeText(uint8_t opcode, AddressMode mode)
{
    switch (mode) {
    case AddressMode::Inherent: return "INH";
    case AddressMode::Immediate8:
    case AddressMode::Immediate16: return "IMM";
    case AddressMode::Direct:
    case AddressMode::BitDirect:
    case AddressMode::BranchDirect: return "DIR";
    case AddressMode::Extended: return "EXT";
    case AddressMode::IndexedX:
    case AddressMode::IndexedY:
    case AddressMode::BitIndexedX:
    case AddressMode::BitIndexedY:
    case AddressMode::BranchIndexedX:
    case AddressMode::BranchIndexedY: return "IND";
    case AddressMode::Relative: return "REL";
    // The page-4 prebyte's mode text is spelled "CRTL", the other two "CTRL".
    case AddressMode::Prefix: return opcode == opcodes::kPrebytes[3] ? "CRTL" : "CTRL";
    case AddressMode::Undefined: break;
    }
    return "INVALID";
}

// The control transfers the decoder flags: not RTI, SWI, WAI or STOP.
constexpr bool changesFlow(FlowKind kind)
{
    return kind == FlowKind::Branch || kind == FlowKind::Jump || kind == FlowKind::Call || kind == FlowKind::Return;
}
} // namespace decoderview

// Classifies opcode bytes of the 68HC11 page-1 opcode map: a view of the opcode table's first page
// with the texts the rest of the system shows.
class InstructionDecoder {
public:
    // The record of one opcode byte. Prefixes ($18, $1A, $CD) are valid with length 1; the caller
    // decodes the byte after a prefix with the same table and adds one byte of length.
    static constexpr DecodedInstruction decode(uint8_t opcode)
    {
        const Opcode& o = opcodes::kPage1[opcode];
        if (o.mode == AddressMode::Undefined)
            return {};
        return {true, decoderview::kMnemonics[opcode].view(), decoderview::modeText(opcode, o.mode), o.length,
                decoderview::changesFlow(o.flow)};
    }

    // True for the prefix bytes $18, $1A and $CD.
    static constexpr bool isPrefix(uint8_t opcode) { return opcodes::isPrefix(opcode); }
};

// Anchors: the texts that are shown stay as they were.
static_assert(InstructionDecoder::decode(0x00).mnemonic == "TEST");
static_assert(InstructionDecoder::decode(0x05).mnemonic == "ASLD/LSLD" && InstructionDecoder::decode(0x08).mnemonic == "INX/INY");
static_assert(InstructionDecoder::decode(0x1F).mnemonic == "BRCLR" && InstructionDecoder::decode(0x1F).length == 4);
static_assert(InstructionDecoder::decode(0x2F).mnemonic == "BLE");
static_assert(InstructionDecoder::decode(0x3F).mnemonic == "SWI" && !InstructionDecoder::decode(0x3F).changesFlow);
static_assert(!InstructionDecoder::decode(0x41).valid && !InstructionDecoder::decode(0x7B).valid);
static_assert(InstructionDecoder::decode(0x58).mnemonic == "LSLB" && InstructionDecoder::decode(0x68).mnemonic == "ASL/LSL");
static_assert(InstructionDecoder::decode(0x7E).mnemonic == "JMP" && InstructionDecoder::decode(0x7E).mode == "EXT");
static_assert(InstructionDecoder::decode(0x8D).mnemonic == "BSR" && InstructionDecoder::decode(0x8D).changesFlow);
static_assert(InstructionDecoder::decode(0x8F).mnemonic == "XGDX/XGDY" && InstructionDecoder::decode(0x8F).mode == "INH");
static_assert(!InstructionDecoder::decode(0x87).valid && !InstructionDecoder::decode(0xC7).valid);
static_assert(InstructionDecoder::decode(0xAD).mnemonic == "JSR" && InstructionDecoder::decode(0xAD).mode == "IND");
static_assert(InstructionDecoder::decode(0x18).mode == "CTRL" && InstructionDecoder::decode(0x1A).mnemonic == "PAGE3");
static_assert(InstructionDecoder::decode(0xCD).mode == "CRTL" && InstructionDecoder::decode(0xCD).length == 1);
static_assert(InstructionDecoder::decode(0xCE).mnemonic == "LDX/LDY" && InstructionDecoder::decode(0xCE).length == 3);
static_assert(InstructionDecoder::decode(0xCF).mnemonic == "STOP");
static_assert(InstructionDecoder::decode(0xFF).mnemonic == "STX/STY" && InstructionDecoder::decode(0xFF).length == 3);
