// The core's execution against the opcode table (every opcode of every page) and against the
// reference manual's cycle figures. The table itself is checked against the GNU disassembler with
// the other opcode table tests.
#include "CpuTestSupport.h"

namespace {

// Control flow leaves the PC elsewhere; everything else must move it by exactly its length.
bool transfersControl(uint8_t pre, uint8_t op) {
    if (pre == 0x18)
        return op == 0x6E || op == 0xAD;
    return pre == 0 && (op == 0x00 || op == 0x39 || op == 0x3B || op == 0x3E || op == 0x3F || op == 0x6E ||
                        op == 0x7E || op == 0x9D || op == 0xAD || op == 0xBD);
}

// Runs every opcode once with zero operands: defined ones advance the PC by the table length
// and take the table's cycles; undefined ones trap with the first byte's address stacked.
TEST(CpuTables, ExecutionMatchesTablesOnEveryPage) {
    for (uint8_t pre : opcodes::kPrebytes)
        for (int op = 0; op < 256; ++op) {
            const Opcode& info = opcodes::lookup(pre, uint8_t(op));
            if (info.mode == AddressMode::Prefix || (info.mode != AddressMode::Undefined && transfersControl(pre, uint8_t(op))))
                continue;
            FlatBus bus;
            bus.setWord(Vec::kIllegal, 0x6000);
            Cpu cpu(bus);
            size_t at = 0x4000;
            if (pre)
                bus.mem[at++] = pre;
            bus.mem[at] = uint8_t(op);
            cpu.pc = 0x4000;
            cpu.x = 0x2000;
            cpu.y = 0x2100;
            cpu.sp = 0x3000;
            cpu.ccr = 0xD0;
            const uint32_t cycles = cpu.step();
            const std::string what = "page $" + std::to_string(pre) + " opcode " + std::to_string(op);
            EXPECT_EQ(bus.ticked, cycles) << what;
            EXPECT_EQ(bus.tickCalls, 1u) << what;
            if (info.mode == AddressMode::Undefined) {
                EXPECT_EQ(cpu.pc, 0x6000) << what;
                EXPECT_EQ(bus.word(0x2FFF), 0x4000) << what; // stacked PC
                EXPECT_EQ(cycles, Cpu::kInterruptEntryCycles) << what;
                continue;
            }
            EXPECT_EQ(cpu.pc, 0x4000 + info.length) << what;
            EXPECT_EQ(cycles, info.cycles) << what;
            EXPECT_EQ(cpu.state(), CpuState::Running) << what;
        }
}

// E cycles from the reference manual's instruction table, one instruction per family and mode.
struct CycleCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t cycles;
};

TEST(CpuTables, CycleCountsMatchReferenceManual) {
    const CycleCase cases[] = {
        {"LDAA imm", {0x86, 0}, 2},      {"LDAA dir", {0x96, 0}, 3},          {"LDAA ext", {0xB6, 0, 0}, 4},
        {"LDAA ind,X", {0xA6, 0}, 4},    {"LDAA ind,Y", {0x18, 0xA6, 0}, 5},  {"STAB dir", {0xD7, 0}, 3},
        {"STAB ind,Y", {0x18, 0xE7, 0}, 5}, {"LDD imm", {0xCC, 0, 0}, 3},     {"LDD ind,Y", {0x18, 0xEC, 0}, 6},
        {"LDX ind,Y", {0xCD, 0xEE, 0}, 6}, {"LDY imm", {0x18, 0xCE, 0, 0}, 4}, {"LDY dir", {0x18, 0xDE, 0}, 5},
        {"LDY ind,X", {0x1A, 0xEE, 0}, 6}, {"STY ext", {0x18, 0xFF, 0, 0}, 6}, {"STX ind,Y", {0xCD, 0xEF, 0}, 6},
        {"STS ext", {0xBF, 0, 0}, 5},    {"ADDD imm", {0xC3, 0, 0}, 4},       {"SUBD ind,Y", {0x18, 0xA3, 0}, 7},
        {"CPX imm", {0x8C, 0, 0}, 4},    {"CPX ind,Y", {0xCD, 0xAC, 0}, 7},   {"CPD imm", {0x1A, 0x83, 0, 0}, 5},
        {"CPD dir", {0x1A, 0x93, 0}, 6}, {"CPD ind,Y", {0xCD, 0xA3, 0}, 7},   {"CPY imm", {0x18, 0x8C, 0, 0}, 5},
        {"CPY ind,X", {0x1A, 0xAC, 0}, 7}, {"INC ext", {0x7C, 0, 0}, 6},      {"ROL ind,X", {0x69, 0}, 6},
        {"NEG ind,Y", {0x18, 0x60, 0}, 7}, {"CLR ext", {0x7F, 0, 0}, 6},      {"TST ind,Y", {0x18, 0x6D, 0}, 7},
        {"BSET dir", {0x14, 0, 0}, 6},   {"BCLR ind,X", {0x1D, 0, 0}, 7},     {"BSET ind,Y", {0x18, 0x1C, 0, 0}, 8},
        {"BRSET dir", {0x12, 0, 0, 0}, 6}, {"BRCLR ind,X", {0x1F, 0, 0, 0}, 7}, {"BRSET ind,Y", {0x18, 0x1E, 0, 0, 0}, 8},
        {"BNE", {0x26, 0}, 3},           {"BRN", {0x21, 0}, 3},               {"BSR", {0x8D, 0}, 6},
        {"JMP ext", {0x7E, 0, 0}, 3},    {"JMP ind,Y", {0x18, 0x6E, 0}, 4},   {"JSR dir", {0x9D, 0}, 5},
        {"JSR ext", {0xBD, 0, 0}, 6},    {"JSR ind,Y", {0x18, 0xAD, 0}, 7},   {"RTS", {0x39}, 5},
        {"RTI", {0x3B}, 12},             {"SWI", {0x3F}, 14},                 {"PSHA", {0x36}, 3},
        {"PULA", {0x32}, 4},             {"PSHX", {0x3C}, 4},                 {"PULX", {0x38}, 5},
        {"PSHY", {0x18, 0x3C}, 5},       {"PULY", {0x18, 0x38}, 6},           {"TSX", {0x30}, 3},
        {"TSY", {0x18, 0x30}, 4},        {"INX", {0x08}, 3},                  {"INY", {0x18, 0x08}, 4},
        {"ABX", {0x3A}, 3},              {"ABY", {0x18, 0x3A}, 4},            {"XGDX", {0x8F}, 3},
        {"XGDY", {0x18, 0x8F}, 4},       {"ASLD", {0x05}, 3},                 {"LSRD", {0x04}, 3},
        {"MUL", {0x3D}, 10},             {"IDIV", {0x02}, 41},                {"FDIV", {0x03}, 41},
        {"DAA", {0x19}, 2},              {"ABA", {0x1B}, 2},                  {"TAP", {0x06}, 2},
        {"NEGA", {0x40}, 2},             {"NOP", {0x01}, 2},                  {"STOP (S set)", {0xCF}, 2},
    };
    for (const auto& c : cases) {
        FlatBus bus;
        bus.load(0x4000, c.bytes);
        Cpu cpu(bus);
        cpu.pc = 0x4000;
        cpu.sp = 0x3000;
        cpu.x = 0x2000;
        cpu.ccr = 0xD0;
        EXPECT_EQ(cpu.step(), c.cycles) << c.name;
        EXPECT_EQ(bus.ticked, c.cycles) << c.name;
    }
}

} // namespace
