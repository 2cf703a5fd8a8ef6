#pragma once
#include "hc11/OpcodeTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class SymbolMap;

// One instruction (or data byte) of a disassembly.
struct DisassembledLine {
    uint16_t address = 0;
    std::vector<uint8_t> bytes;      // the instruction's bytes, prebyte included; the data bytes of an fcb
    std::string label;               // the symbol at address, or empty
    std::string mnemonic;            // lower case, the table's first name ("bcc" for BCC/BHS); "fcb" for data
    std::string operands;            // "#$10", "$c026", "$10,x", "$10, #$80, wait": names where the map has them
    std::optional<uint16_t> target;  // where a branch, JMP, BSR or JSR with a fixed address goes
    FlowKind flow = FlowKind::Undefined;

    // True for data: an undefined opcode or an instruction cut off at the end of the block.
    bool isData() const { return mnemonic == "fcb"; }
    // "c003  4f            clra" (address, bytes, mnemonic and operands; no label).
    std::string text() const;
};

// Turns target bytes into 68HC11 instructions with the one opcode table. Control transfers name
// their target, and memory operands their address, where the symbol map has a name for it.
namespace Disassembler {

// Disassembles bytes, the first at address. Instructions start only within the first startsWithin
// bytes (all of them when larger), so a caller can read a few bytes past a range to complete its
// last instruction. An undefined opcode is one data byte, a prebyte with an undefined opcode two;
// an instruction that would run past the bytes is data and is not decoded. Addresses wrap at
// $FFFF. symbols may be null.
std::vector<DisassembledLine> disassemble(uint16_t address, std::span<const uint8_t> bytes,
                                          const SymbolMap* symbols, size_t startsWithin = SIZE_MAX);

// The lines as shown: a line "name:" before each labelled instruction, then its text().
std::vector<std::string> textLines(const std::vector<DisassembledLine>& lines);

} // namespace Disassembler
