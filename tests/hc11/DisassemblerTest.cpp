// The disassembler: instruction boundaries, data bytes and branch targets against the GNU
// disassembler over every opcode of every page; names from a symbol map; the end of the block.
#include "engine/Disassembler.h"
#include "engine/SymbolMap.h"

#include "GnuDisassembly.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Every opcode of every page, followed by NOP padding: each instruction our disassembler finds
// starts where the GNU one finds one, as long, data where it shows data, and a branch goes where
// the GNU disassembler says it goes.
TEST(Disassembler, EveryPageAgreesWithTheGnuDisassembler)
{
    constexpr int kSlot = 8;
    const std::vector<uint8_t> image = everyPageImage(kSlot);
    const std::vector<GnuInstruction> gnu = gnuDisassemble(image);
    ASSERT_GT(gnu.size(), 4000u) << "no usable output from " << HC11_OBJDUMP;
    const auto ours = Disassembler::disassemble(0, image, nullptr);
    std::map<int, const DisassembledLine*> byAddress;
    for (const DisassembledLine& line : ours)
        byAddress[line.address] = &line;
    // Every image byte is covered once, in order.
    size_t covered = 0;
    for (const DisassembledLine& line : ours) {
        ASSERT_EQ(line.address, covered);
        covered += line.bytes.size();
    }
    EXPECT_EQ(covered, image.size());

    int branches = 0;
    for (const GnuInstruction& g : gnu) {
        SCOPED_TRACE(testing::Message() << "at " << g.address << " (slot " << g.address / kSlot << "): "
                                        << g.mnemonic << " " << g.operands);
        const auto it = byAddress.find(g.address);
        ASSERT_NE(it, byAddress.end());
        const DisassembledLine& line = *it->second;
        EXPECT_EQ(line.isData(), g.mnemonic == ".byte") << line.text();
        EXPECT_EQ(static_cast<int>(line.bytes.size()), g.length) << line.text();
        if (line.flow == FlowKind::Branch || (line.target && !g.operands.empty() && g.operands[0] == '0')) {
            // The GNU disassembler's target is the last operand, in hex.
            const size_t comma = g.operands.rfind(", ");
            const std::string last = comma == std::string::npos ? g.operands : g.operands.substr(comma + 2);
            ASSERT_TRUE(line.target.has_value()) << line.text();
            EXPECT_EQ(*line.target, std::stoi(last, nullptr, 16)) << line.text();
            ++branches;
        }
    }
    EXPECT_GT(branches, 16 + 2 * 3); // the conditional branches, BRSET/BRCLR on every page
}

// Operands and targets in our notation, labels and names from a map, data for what is no
// instruction, and nothing decoded past the block.
TEST(Disassembler, LinesNamesAndEdges)
{
    SymbolMap map;
    ASSERT_EQ(map.parse({"0000c000 t start", "0000c010 t loop", "0000c020 t sub", "00000040 b flag",
                         "0000c100 d table"}),
              5u);
    struct Case {
        const char* what;
        uint16_t at;
        std::vector<uint8_t> bytes;
        std::vector<std::string> texts; // mnemonic and operands of each line, "label:" before a labelled one
    };
    const Case cases[] = {
        {"JSR extended by name", 0xC000, {0xBD, 0xC0, 0x20}, {"start:", "jsr sub"}},
        {"BSR by name, backward BNE by name", 0xC00E, {0x8D, 0x10, 0x26, 0xFE},
         {"bsr sub", "loop:", "bne loop"}},
        {"JMP to an address without a name", 0xC001, {0x7E, 0x12, 0x34}, {"jmp $1234"}},
        {"direct and extended data by name", 0xC030, {0x96, 0x40, 0xB6, 0xC1, 0x00, 0x97, 0x41},
         {"ldaa flag", "ldaa table", "staa $41"}},
        {"immediates are numbers, never names", 0xC030, {0xCE, 0xC0, 0x20, 0x86, 0x40}, {"ldx #$c020", "ldaa #$40"}},
        {"indexed X and Y", 0xC030, {0xA6, 0x05, 0x18, 0xE7, 0xFF}, {"ldaa $05,x", "stab $ff,y"}},
        {"JSR indexed has no fixed target", 0xC030, {0xAD, 0x00}, {"jsr $00,x"}},
        {"bit operations", 0xC030, {0x14, 0x40, 0x80, 0x1D, 0x02, 0x01}, {"bset flag, #$80", "bclr $02,x, #$01"}},
        {"BRSET and BRCLR by page", 0xC00A, {0x12, 0x40, 0x01, 0x02, 0x18, 0x1F, 0x03, 0x80, 0xF7},
         {"brset flag, #$01, loop", "brclr $03,y, #$80, $c00a"}},
        {"page 3 and page 4", 0xC030, {0x1A, 0x83, 0x12, 0x34, 0xCD, 0xEE, 0x07}, {"cpd #$1234", "ldx $07,y"}},
        {"the first of two names", 0xC030, {0x24, 0x00, 0x05}, {"bcc $c032", "asld"}},
        {"undefined opcode is a data byte", 0xC030, {0x41, 0x4F}, {"fcb $41", "clra"}},
        {"an undefined prefix pair is two data bytes", 0xC030, {0x18, 0x41, 0x08, 0x1A, 0x18}, {"fcb $18,$41", "inx", "fcb $1a,$18"}},
        {"cut off at the end of the block", 0xC030, {0x4F, 0xB6, 0xC1}, {"clra", "fcb $b6,$c1"}},
        {"a lone prebyte at the end", 0xC030, {0x08, 0x18}, {"inx", "fcb $18"}},
        {"a prefixed instruction cut after its opcode", 0xC030, {0x18, 0xCE, 0x00}, {"fcb $18,$ce,$00"}},
        {"a branch wraps round the address space", 0xFFFE, {0x20, 0x02}, {"bra $0002"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto lines = Disassembler::disassemble(c.at, c.bytes, &map);
        std::vector<std::string> texts;
        size_t bytes = 0;
        for (const DisassembledLine& line : lines) {
            if (!line.label.empty())
                texts.push_back(line.label + ":");
            texts.push_back(line.operands.empty() ? line.mnemonic : line.mnemonic + " " + line.operands);
            bytes += line.bytes.size();
        }
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(bytes, c.bytes.size()) << "every byte shown exactly once";
    }
}

// A caller that reads past its range gets the last instruction that starts in the range whole,
// and nothing that starts after it; the shown text carries address, bytes and label.
TEST(Disassembler, StartsWithinAndText)
{
    const std::vector<uint8_t> bytes = {0x4F, 0xBD, 0xC0, 0x20, 0x01, 0x01};
    SymbolMap map;
    map.parse({"0000c020 t sub", "0000c000 t start"});
    const auto lines = Disassembler::disassemble(0xC000, bytes, &map, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].bytes.size(), 3u);
    EXPECT_EQ(lines[1].target, 0xC020);
    const auto text = Disassembler::textLines(lines);
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(text[0], "start:");
    EXPECT_EQ(text[1].substr(0, 24), "c000  4F              cl");
    EXPECT_NE(text[2].find("BD C0 20"), std::string::npos);
    EXPECT_NE(text[2].find("jsr"), std::string::npos);
    EXPECT_EQ(text[2].substr(text[2].size() - 4), " sub");
    EXPECT_TRUE(Disassembler::disassemble(0xC000, {}, &map).empty());
}

} // namespace
