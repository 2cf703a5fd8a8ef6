#include "engine/ListingLines.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct LineCase {
    const char* name;
    std::string line;
    std::optional<uint32_t> address;
};

// Lines as the GNU assembler for the 68HC11 writes them (tabs and blanks as it puts them), and
// near misses that must not be taken for code.
const LineCase kCases[] = {
    {"instruction", "   8 c400 8E DF FF    \t\tlds\t#0xdfff", 0xC400},
    {"one byte", "  18 c419 3F          \tdone:\tswi", 0xC419},
    {"four bytes", "  13 d006 18 CE B6 00 \t\tldy\t#EEPROM_TABLE", 0xD006},
    {"upper-case address", "  18 C419 3F          \tdone:\tswi", 0xC419},
    {"address zero", "   1 0000 01          \t\tnop", 0x0000},
    {"top of memory", "   1 ffff 39          \t\trts", 0xFFFF},
    {"five-digit line number", "10000 c000 4F          \t\tclra", 0xC000},
    {"no leading blanks", "1234 c000 86 01 ldaa #1", 0xC000},
    {"bytes end the line", "  46 c437 00 00 00 00", 0xC437},
    {"bytes grouped in words", "   8 c400 8EDF FF \t\tlds\t#0xdfff", 0xC400},
    {"data continuation", "  46      00 00 00 00 ", std::nullopt},
    {"comment", "   1                 \t; Subroutines (load address $C400)", std::nullopt},
    {"label only", "   7                 \tmain:", std::nullopt},
    {"directive", "   6                 \t\t.text", std::nullopt},
    {"empty source line", "  19                 \t", std::nullopt},
    {"value where an address stands", "   7 103b   PPROG equ $103b", std::nullopt},
    {"address without bytes", "  12 c00a", std::nullopt},
    {"address and blank only", "  12 c00a ", std::nullopt},
    {"odd byte digits", "   8 c400 8 DF", std::nullopt},
    {"byte run into text", "   8 c400 8Ex", std::nullopt},
    {"three-digit address", "   8 c40 8E DF", std::nullopt},
    {"five-digit address", "   8 1c400 8E DF", std::nullopt},
    {"tab after the line number", "   8\tc400 8E DF FF", std::nullopt},
    {"two blanks after the line number", "   8  c400 8E DF FF", std::nullopt},
    {"no line number", "     c400 8E DF FF", std::nullopt},
    {"page header", "68HC11 GAS  loops.s \t\t\tpage 1", std::nullopt},
    {"form feed", "\f", std::nullopt},
    {"empty", "", std::nullopt},
    {"line number only", "  30", std::nullopt},
    {"cut inside the address", "   8 c4", std::nullopt},
};

TEST(ListingLines, FindsTheAddressOfLinesThatAssembleBytes)
{
    for (const LineCase& c : kCases)
        EXPECT_EQ(ListingLines::addressOf(c.line), c.address) << c.name << ": \"" << c.line << "\"";
}

} // namespace
