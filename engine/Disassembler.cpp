#include "engine/Disassembler.h"

#include "engine/SymbolMap.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

std::string hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "$%02x", value & 0xFFu);
    return text;
}

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "$%04x", value & 0xFFFFu);
    return text;
}

// An address operand: its name when the map has one, else the address in hex (two digits for a
// direct address, so it reads apart from an extended one).
std::string addressText(uint16_t address, bool direct, const SymbolMap* symbols)
{
    if (symbols)
        if (const auto name = symbols->nameAt(address))
            return std::string(*name);
    return direct ? hex2(address) : hex4(address);
}

// The first of the table's names ("BCC/BHS" gives "bcc"), in lower case.
std::string mnemonicText(std::string_view names)
{
    std::string out(names.substr(0, names.find('/')));
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

DisassembledLine dataLine(uint16_t address, std::span<const uint8_t> bytes)
{
    DisassembledLine line;
    line.address = address;
    line.bytes.assign(bytes.begin(), bytes.end());
    line.mnemonic = "fcb";
    for (size_t i = 0; i < bytes.size(); ++i)
        line.operands += (i ? "," : "") + hex2(bytes[i]);
    return line;
}

} // namespace

std::string DisassembledLine::text() const
{
    char head[8];
    std::snprintf(head, sizeof head, "%04x  ", address);
    std::string out = head;
    std::string hexBytes;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%s%02X", i ? " " : "", bytes[i]);
        hexBytes += b;
    }
    // Room for the longest instruction's five bytes; longer data runs on.
    hexBytes.resize(std::max<size_t>(hexBytes.size(), 14), ' ');
    out += hexBytes + "  " + mnemonic;
    if (!operands.empty()) {
        out.resize(std::max<size_t>(out.size(), 6 + 16 + 6), ' ');
        out += " " + operands;
    }
    return out;
}

namespace Disassembler {

std::vector<DisassembledLine> disassemble(uint16_t address, std::span<const uint8_t> bytes,
                                          const SymbolMap* symbols, size_t startsWithin)
{
    std::vector<DisassembledLine> out;
    const size_t limit = std::min(startsWithin, bytes.size());
    size_t i = 0;
    while (i < limit) {
        const auto at = static_cast<uint16_t>(address + i);
        const uint8_t first = bytes[i];
        const bool prefixed = opcodes::isPrefix(first);
        if (prefixed && i + 1 >= bytes.size()) {
            out.push_back(dataLine(at, bytes.subspan(i))); // a lone prebyte at the end
            break;
        }
        const Opcode& op = prefixed ? opcodes::lookup(first, bytes[i + 1]) : opcodes::kPage1[first];
        if (op.mode == AddressMode::Undefined) {
            // The pair traps as one illegal opcode, so it stays together as two data bytes.
            const size_t size = prefixed ? 2 : 1;
            out.push_back(dataLine(at, bytes.subspan(i, size)));
            i += size;
            continue;
        }
        if (i + op.length > bytes.size()) {
            out.push_back(dataLine(at, bytes.subspan(i))); // cut off: its rest lies past the block
            break;
        }
        DisassembledLine line;
        line.address = at;
        line.bytes.assign(bytes.begin() + static_cast<ptrdiff_t>(i), bytes.begin() + static_cast<ptrdiff_t>(i + op.length));
        line.mnemonic = mnemonicText(op.mnemonic);
        line.flow = op.flow;
        const uint8_t* o = bytes.data() + i + (prefixed ? 2 : 1); // the operand bytes
        const auto relative = [&](uint8_t offset) {
            const auto target = static_cast<uint16_t>(at + op.length + static_cast<int8_t>(offset));
            line.target = target;
            return addressText(target, false, symbols);
        };
        switch (op.mode) {
        case AddressMode::Inherent:
        case AddressMode::Prefix:
        case AddressMode::Undefined: break;
        case AddressMode::Immediate8: line.operands = "#" + hex2(o[0]); break;
        case AddressMode::Immediate16: line.operands = "#" + hex4(o[0] << 8 | o[1]); break;
        case AddressMode::Direct:
            line.operands = addressText(o[0], true, symbols);
            if (op.flow == FlowKind::Call || op.flow == FlowKind::Jump)
                line.target = o[0];
            break;
        case AddressMode::Extended: {
            const auto target = static_cast<uint16_t>(o[0] << 8 | o[1]);
            line.operands = addressText(target, false, symbols);
            if (op.flow == FlowKind::Call || op.flow == FlowKind::Jump)
                line.target = target;
            break;
        }
        case AddressMode::IndexedX: line.operands = hex2(o[0]) + ",x"; break;
        case AddressMode::IndexedY: line.operands = hex2(o[0]) + ",y"; break;
        case AddressMode::Relative: line.operands = relative(o[0]); break;
        case AddressMode::BitDirect: line.operands = addressText(o[0], true, symbols) + ", #" + hex2(o[1]); break;
        case AddressMode::BitIndexedX: line.operands = hex2(o[0]) + ",x, #" + hex2(o[1]); break;
        case AddressMode::BitIndexedY: line.operands = hex2(o[0]) + ",y, #" + hex2(o[1]); break;
        case AddressMode::BranchDirect:
            line.operands = addressText(o[0], true, symbols) + ", #" + hex2(o[1]) + ", " + relative(o[2]);
            break;
        case AddressMode::BranchIndexedX: line.operands = hex2(o[0]) + ",x, #" + hex2(o[1]) + ", " + relative(o[2]); break;
        case AddressMode::BranchIndexedY: line.operands = hex2(o[0]) + ",y, #" + hex2(o[1]) + ", " + relative(o[2]); break;
        }
        out.push_back(std::move(line));
        i += op.length;
    }
    if (symbols)
        for (DisassembledLine& line : out)
            if (const auto name = symbols->nameAt(line.address))
                line.label = std::string(*name);
    return out;
}

std::vector<std::string> textLines(const std::vector<DisassembledLine>& lines)
{
    std::vector<std::string> out;
    out.reserve(lines.size() + lines.size() / 4);
    for (const DisassembledLine& line : lines) {
        if (!line.label.empty())
            out.push_back(line.label + ":");
        out.push_back(line.text());
    }
    return out;
}

} // namespace Disassembler
