// The opcode table against the GNU disassembler: every opcode of every page is defined exactly
// where the GNU tools know it, with their length, name and operand layout; the decoder's view of
// page 1 keeps its lengths and names.
#include "hc11/InstructionDecoder.h"
#include "hc11/OpcodeTable.h"

#include "GnuDisassembly.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSlot = 8;

// One instruction as the disassembler prints it.
using Disassembled = GnuInstruction;

// Disassembles every opcode of every page in one run: each sits in an 8-byte slot padded with
// NOPs ($01), so the listing falls back into step at every slot and every operand byte is $01.
// Returns the instructions that start a slot, by slot number (page * 256 + opcode).
std::map<int, Disassembled> disassembleEveryPage()
{
    std::map<int, Disassembled> result;
    for (const GnuInstruction& d : gnuDisassemble(everyPageImage(kSlot)))
        if (d.address % kSlot == 0)
            result[d.address / kSlot] = d;
    return result;
}

// True when one of the "/"-separated names is the disassembler's name.
bool namesInclude(std::string_view names, const std::string& lowerName)
{
    std::string upper;
    for (char c : lowerName)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    size_t start = 0;
    while (start <= names.size()) {
        size_t slash = names.find('/', start);
        if (slash == std::string_view::npos)
            slash = names.size();
        if (names.substr(start, slash - start) == upper)
            return true;
        start = slash + 1;
    }
    return false;
}

std::string hex(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// The operands the disassembler prints for an instruction at slotAddress whose operand bytes are
// all $01, in its notation: "#" immediate, "*" direct, ",x"/",y" indexed, a bare extended address
// or relative target, ", #mask" after the address of a bit operation.
std::string operandsFor(AddressMode mode, int slotAddress, int length)
{
    const std::string target = hex(slotAddress + length + 1);
    switch (mode) {
    case AddressMode::Inherent: return "";
    case AddressMode::Immediate8: return "#0x1";
    case AddressMode::Immediate16: return "#0x101";
    case AddressMode::Direct: return "*0x1";
    case AddressMode::Extended: return "0x101";
    case AddressMode::IndexedX: return "0x1,x";
    case AddressMode::IndexedY: return "0x1,y";
    case AddressMode::Relative: return target;
    case AddressMode::BitDirect: return "*0x1, #0x01";
    case AddressMode::BitIndexedX: return "0x1,x, #0x01";
    case AddressMode::BitIndexedY: return "0x1,y, #0x01";
    case AddressMode::BranchDirect: return "*0x1, #0x01, " + target;
    case AddressMode::BranchIndexedX: return "0x1,x, #0x01, " + target;
    case AddressMode::BranchIndexedY: return "0x1,y, #0x01, " + target;
    case AddressMode::Prefix:
    case AddressMode::Undefined: break;
    }
    return "?";
}

// Every opcode of every page: defined where the GNU tools decode it, with their length, one of
// our names being theirs, and the operand layout of our addressing mode. On page 1 the decoder's
// view agrees too; after a prefix, the decoder's contract (one byte more than the page-1 length
// of the same byte) gives the pair's length.
TEST(OpcodeTable, EveryPageAgreesWithTheGnuDisassembler)
{
    const auto listing = disassembleEveryPage();
    ASSERT_GT(listing.size(), 1000u) << "no usable output from " << HC11_OBJDUMP;
    int checked = 0;
    for (size_t page = 0; page < opcodes::kPrebytes.size(); ++page)
        for (int op = 0; op < 256; ++op) {
            const Opcode& o = (*opcodes::kPages[page])[op];
            if (o.mode == AddressMode::Prefix)
                continue; // on its own a prebyte is no instruction; its pages are checked here
            const int slot = static_cast<int>(page) * 256 + op;
            SCOPED_TRACE(testing::Message() << "page " << page + 1 << " opcode $" << std::hex << op);
            const auto it = listing.find(slot);
            ASSERT_NE(it, listing.end());
            const Disassembled& gnu = it->second;
            const bool defined = o.mode != AddressMode::Undefined;
            ASSERT_EQ(defined, gnu.mnemonic != ".byte") << gnu.mnemonic;
            ++checked;
            const DecodedInstruction decoded = InstructionDecoder::decode(static_cast<uint8_t>(op));
            if (page == 0) {
                EXPECT_EQ(decoded.valid, defined);
                EXPECT_EQ(decoded.length, defined ? gnu.length : 0);
            }
            if (!defined)
                continue;
            EXPECT_EQ(o.length, gnu.length) << gnu.mnemonic;
            EXPECT_EQ(gnu.operands, operandsFor(o.mode, slot * kSlot, o.length)) << gnu.mnemonic;
            if (page > 0) {
                EXPECT_EQ(1 + decoded.length, gnu.length) << gnu.mnemonic;
            }
            // The GNU tools name the test opcode "bgnd" and $58 "aslb"; our texts say "TEST" and "LSLB".
            if (page == 0 && (op == 0x00 || op == 0x58))
                continue;
            EXPECT_TRUE(namesInclude(o.mnemonic, gnu.mnemonic)) << o.mnemonic << " vs " << gnu.mnemonic;
            if (page == 0) {
                EXPECT_TRUE(namesInclude(decoded.mnemonic, gnu.mnemonic)) << decoded.mnemonic << " vs " << gnu.mnemonic;
            }
        }
    EXPECT_EQ(checked, 4 * 256 - 3);
}

} // namespace
