#include "hc11/InstructionDecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <sstream>
#include <string>

namespace {

// The opcode map written the way the reference tables print it: per row a default mode and
// length, per entry "NAME [MODE] [LENGTH] [F]", "-" for an undefined opcode.
struct Row {
    const char* defaults;
    std::array<const char*, 16> entries;
};

const Row kRows[16] = {
    {"INH 1", {"TEST", "NOP", "IDIV", "FDIV", "LSRD", "ASLD/LSLD", "TAP", "TPA", "INX/INY", "DEX/DEY", "CLV", "SEV", "CLC", "SEC", "CLI", "SEI"}},
    {"", {"SBA INH 1", "CBA INH 1", "BRSET DIR 4 F", "BRCLR DIR 4 F", "BSET DIR 3", "BCLR DIR 3", "TAB INH 1", "TBA INH 1",
          "PAGE2 CTRL 1", "DAA INH 1", "PAGE3 CTRL 1", "ABA INH 1", "BSET IND 3", "BCLR IND 3", "BRSET IND 4 F", "BRCLR IND 4 F"}},
    {"REL 2 F", {"BRA", "BRN", "BHI", "BLS", "BCC/BHS", "BCS/BLO", "BNE", "BEQ", "BVC", "BVS", "BPL", "BMI", "BGE", "BLT", "BGT", "BLE"}},
    {"INH 1", {"TSX/TSY", "INS", "PULA", "PULB", "DES", "TXS/TYS", "PSHA", "PSHB", "PULX/PULY", "RTS F", "ABX/ABY", "RTI", "PSHX/PSHY", "MUL", "WAI", "SWI"}},
    {"INH 1", {"NEGA", "-", "-", "COMA", "LSRA", "-", "RORA", "ASRA", "ASLA/LSLA", "ROLA", "DECA", "-", "INCA", "TSTA", "-", "CLRA"}},
    {"INH 1", {"NEGB", "-", "-", "COMB", "LSRB", "-", "RORB", "ASRB", "LSLB", "ROLB", "DECB", "-", "INCB", "TSTB", "-", "CLRB"}},
    {"IND 2", {"NEG", "-", "-", "COM", "LSR", "-", "ROR", "ASR", "ASL/LSL", "ROL", "DEC", "-", "INC", "TST", "JMP F", "CLR"}},
    {"EXT 3", {"NEG", "-", "-", "COM", "LSR", "-", "ROR", "ASR", "ASL/LSL", "ROL", "DEC", "-", "INC", "TST", "JMP F", "CLR"}},
    {"IMM", {"SUBA 2", "CMPA 2", "SBCA 2", "SUBD 3", "ANDA 2", "BITA 2", "LDAA 2", "-", "EORA 2", "ADCA 2", "ORAA 2", "ADDA 2",
             "CPX/CPY 3", "BSR REL 2 F", "LDS 3", "XGDX/XGDY INH 1"}},
    {"DIR 2", {"SUBA", "CMPA", "SBCA", "SUBD", "ANDA", "BITA", "LDAA", "STAA", "EORA", "ADCA", "ORAA", "ADDA", "CPX/CPY", "JSR F", "LDS", "STS"}},
    {"IND 2", {"SUBA", "CMPA", "SBCA", "SUBD", "ANDA", "BITA", "LDAA", "STAA", "EORA", "ADCA", "ORAA", "ADDA", "CPX/CPY", "JSR F", "LDS", "STS"}},
    {"EXT 3", {"SUBA", "CMPA", "SBCA", "SUBD", "ANDA", "BITA", "LDAA", "STAA", "EORA", "ADCA", "ORAA", "ADDA", "CPX/CPY", "JSR F", "LDS", "STS"}},
    {"IMM", {"SUBB 2", "CMPB 2", "SBCB 2", "ADDD 3", "ANDB 2", "BITB 2", "LDAB 2", "-", "EORB 2", "ADCB 2", "ORAB 2", "ADDB 2",
             "LDD 3", "PAGE4 CRTL 1", "LDX/LDY 3", "STOP INH 1"}},
    {"DIR 2", {"SUBB", "CMPB", "SBCB", "ADDD", "ANDB", "BITB", "LDAB", "STAB", "EORB", "ADCB", "ORAB", "ADDB", "LDD", "STD", "LDX/LDY", "STX/STY"}},
    {"IND 2", {"SUBB", "CMPB", "SBCB", "ADDD", "ANDB", "BITB", "LDAB", "STAB", "EORB", "ADCB", "ORAB", "ADDB", "LDD", "STD", "LDX/LDY", "STX/STY"}},
    {"EXT 3", {"SUBB", "CMPB", "SBCB", "ADDD", "ANDB", "BITB", "LDAB", "STAB", "EORB", "ADCB", "ORAB", "ADDB", "LDD", "STD", "LDX/LDY", "STX/STY"}},
};

struct Expected {
    bool valid = false;
    std::string mnemonic = "INVALID";
    std::string mode = "INVALID";
    int length = 0;
    bool flow = false;
};

Expected expectedFor(int opcode)
{
    const Row& row = kRows[opcode >> 4];
    std::string entry = row.entries[opcode & 15];
    Expected e;
    if (entry == "-")
        return e;
    e.valid = true;
    std::istringstream words(entry + " " + row.defaults);
    words >> e.mnemonic;
    bool modeSeen = false, lengthSeen = false;
    for (std::string w; words >> w;) {
        if (w == "F")
            e.flow = true;
        else if (std::isdigit(static_cast<unsigned char>(w[0])) && !lengthSeen)
            e.length = std::stoi(w), lengthSeen = true;
        else if (!std::isdigit(static_cast<unsigned char>(w[0])) && !modeSeen)
            e.mode = w, modeSeen = true;
    }
    return e;
}

TEST(InstructionDecoder, EveryOpcodeMatchesTheReferenceMap)
{
    int invalid = 0;
    for (int op = 0; op < 256; ++op) {
        SCOPED_TRACE(testing::Message() << "opcode $" << std::hex << op);
        const Expected e = expectedFor(op);
        const DecodedInstruction d = InstructionDecoder::decode(static_cast<uint8_t>(op));
        EXPECT_EQ(d.valid, e.valid);
        EXPECT_EQ(d.mnemonic, e.mnemonic);
        EXPECT_EQ(d.mode, e.mode);
        EXPECT_EQ(d.length, e.length);
        EXPECT_EQ(d.changesFlow, e.flow);
        invalid += d.valid ? 0 : 1;
    }
    EXPECT_EQ(invalid, 20);
}

} // namespace
