#include "hc11/Successors.h"

#include "sim/Cpu.h"
#include "hc11/OpcodeTable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using D = BranchDecision;
using K = FlowKind;

constexpr uint8_t kN = 0x08, kZ = 0x04, kV = 0x02, kC = 0x01;

struct Case {
    const char* name;
    uint16_t address;
    std::vector<uint8_t> bytes;
    CpuRegisters registers;
    std::vector<uint8_t> memory; // what the first answer's needs asked for (empty: nothing supplied)
    K kind;
    uint8_t length;
    std::vector<uint16_t> targets;
    D decision;
    MemoryRange needs = {}; // of the answer with memory supplied
};

CpuRegisters regs(uint8_t ccr = 0, uint16_t x = 0, uint16_t y = 0, uint16_t sp = 0x00FF)
{
    CpuRegisters r;
    r.CCR = ccr;
    r.X = x;
    r.Y = y;
    r.SP = sp;
    return r;
}

Successors answer(const Case& c, std::span<const uint8_t> memory)
{
    InstructionBytes b{};
    std::copy(c.bytes.begin(), c.bytes.end(), b.begin());
    return successorsOf(c.address, b, c.registers, memory);
}

// Every kind of instruction with values worked out from the reference manual's descriptions.
TEST(Successors, EveryKindOfInstruction)
{
    const std::vector<Case> cases = {
        {"NOP", 0xC000, {0x01}, regs(), {}, K::Next, 1, {0xC001}, D::Unknown},
        {"LDX extended", 0xC000, {0xFE, 0x12, 0x34}, regs(), {}, K::Next, 3, {0xC003}, D::Unknown},
        {"plain instruction at the top wraps", 0xFFFF, {0x01}, regs(), {}, K::Next, 1, {0x0000}, D::Unknown},
        {"LDY immediate ($18 page)", 0xC000, {0x18, 0xCE, 0x12, 0x34}, regs(), {}, K::Next, 4, {0xC004}, D::Unknown},
        {"CPD immediate ($1A page)", 0xC000, {0x1A, 0x83, 0x12, 0x34}, regs(), {}, K::Next, 4, {0xC004}, D::Unknown},
        {"LDX indexed Y ($CD page)", 0xC000, {0xCD, 0xEE, 0x05}, regs(), {}, K::Next, 3, {0xC003}, D::Unknown},
        // Conditional branches: each condition once true, once false.
        {"BHI taken", 0xC010, {0x22, 0x10}, regs(0), {}, K::Branch, 2, {0xC022, 0xC012}, D::Taken},
        {"BHI not taken (Z)", 0xC010, {0x22, 0x10}, regs(kZ), {}, K::Branch, 2, {0xC022, 0xC012}, D::NotTaken},
        {"BLS taken (C)", 0xC010, {0x23, 0x10}, regs(kC), {}, K::Branch, 2, {0xC022, 0xC012}, D::Taken},
        {"BLS not taken", 0xC010, {0x23, 0x10}, regs(kN | kV), {}, K::Branch, 2, {0xC022, 0xC012}, D::NotTaken},
        {"BCC taken", 0xC010, {0x24, 0xF0}, regs(kZ), {}, K::Branch, 2, {0xC002, 0xC012}, D::Taken},
        {"BCS not taken", 0xC010, {0x25, 0xF0}, regs(kZ), {}, K::Branch, 2, {0xC002, 0xC012}, D::NotTaken},
        {"BNE taken", 0xC010, {0x26, 0xF0}, regs(kC), {}, K::Branch, 2, {0xC002, 0xC012}, D::Taken},
        {"BEQ taken", 0xC010, {0x27, 0xF0}, regs(kZ), {}, K::Branch, 2, {0xC002, 0xC012}, D::Taken},
        {"BVC not taken", 0xC010, {0x28, 0x7F}, regs(kV), {}, K::Branch, 2, {0xC091, 0xC012}, D::NotTaken},
        {"BVS taken", 0xC010, {0x29, 0x80}, regs(kV), {}, K::Branch, 2, {0xBF92, 0xC012}, D::Taken},
        {"BPL not taken", 0xC010, {0x2A, 0x02}, regs(kN), {}, K::Branch, 2, {0xC014, 0xC012}, D::NotTaken},
        {"BMI taken", 0xC010, {0x2B, 0x02}, regs(kN), {}, K::Branch, 2, {0xC014, 0xC012}, D::Taken},
        {"BGE taken (N and V)", 0xC010, {0x2C, 0x02}, regs(kN | kV), {}, K::Branch, 2, {0xC014, 0xC012}, D::Taken},
        {"BGE not taken (N only)", 0xC010, {0x2C, 0x02}, regs(kN), {}, K::Branch, 2, {0xC014, 0xC012}, D::NotTaken},
        {"BLT taken (V only)", 0xC010, {0x2D, 0x02}, regs(kV), {}, K::Branch, 2, {0xC014, 0xC012}, D::Taken},
        {"BGT not taken (Z)", 0xC010, {0x2E, 0x02}, regs(kZ), {}, K::Branch, 2, {0xC014, 0xC012}, D::NotTaken},
        {"BGT taken", 0xC010, {0x2E, 0x02}, regs(kN | kV), {}, K::Branch, 2, {0xC014, 0xC012}, D::Taken},
        {"BLE taken (N differs from V)", 0xC010, {0x2F, 0x02}, regs(kN), {}, K::Branch, 2, {0xC014, 0xC012}, D::Taken},
        {"BRN never branches", 0xC000, {0x21, 0x10}, regs(0xFF), {}, K::Branch, 2, {0xC002}, D::NotTaken},
        {"BNE to itself", 0xC000, {0x26, 0xFE}, regs(), {}, K::Branch, 2, {0xC000, 0xC002}, D::Taken},
        {"BRA", 0xC000, {0x20, 0x05}, regs(), {}, K::Jump, 2, {0xC007}, D::Taken},
        {"BRA backwards across $0000", 0x0002, {0x20, 0xF0}, regs(), {}, K::Jump, 2, {0xFFF4}, D::Taken},
        {"BRA to itself", 0xC000, {0x20, 0xFE}, regs(), {}, K::Jump, 2, {0xC000}, D::Taken},
        // Bit branches: the tested byte decides; without it the decision stays open.
        {"BRSET direct, bits set", 0xC000, {0x12, 0x40, 0x81, 0x10}, regs(), {0xF1}, K::Branch, 4, {0xC014, 0xC004}, D::Taken},
        {"BRSET direct, a bit clear", 0xC000, {0x12, 0x40, 0x81, 0x10}, regs(), {0x80}, K::Branch, 4, {0xC014, 0xC004}, D::NotTaken},
        {"BRSET with mask 0 always branches", 0xC000, {0x12, 0x40, 0x00, 0x10}, regs(), {0x00}, K::Branch, 4, {0xC014, 0xC004}, D::Taken},
        {"BRCLR direct, bits clear", 0xC000, {0x13, 0x40, 0x01, 0xFC}, regs(), {0xFE}, K::Branch, 4, {0xC000, 0xC004}, D::Taken},
        {"BRCLR to itself with the bit set", 0xC000, {0x1F, 0x00, 0x01, 0xFC}, regs(0, 0x1000), {0x01}, K::Branch, 4, {0xC000, 0xC004}, D::NotTaken},
        {"BRSET indexed X", 0xC000, {0x1E, 0x05, 0x80, 0x02}, regs(0, 0xC100), {0x80}, K::Branch, 4, {0xC006, 0xC004}, D::Taken},
        {"BRCLR indexed Y", 0xC000, {0x18, 0x1F, 0x05, 0x80, 0xF0}, regs(0, 0xC100, 0xD000), {0x80}, K::Branch, 5, {0xBFF5, 0xC005}, D::NotTaken},
        {"BRSET indexed Y", 0xC000, {0x18, 0x1E, 0xFF, 0x01, 0x00}, regs(0, 0, 0xD000), {0x01}, K::Branch, 5, {0xC005, 0xC005}, D::Taken},
        // Jumps and calls.
        {"JMP extended", 0xC000, {0x7E, 0xD1, 0x23}, regs(), {}, K::Jump, 3, {0xD123}, D::Taken},
        {"JMP indexed X", 0xC000, {0x6E, 0x05}, regs(0, 0xC100), {}, K::Jump, 2, {0xC105}, D::Taken},
        {"JMP indexed Y", 0xC000, {0x18, 0x6E, 0x05}, regs(0, 0xC100, 0xD000), {}, K::Jump, 3, {0xD005}, D::Taken},
        {"JMP indexed X wraps", 0xC000, {0x6E, 0x10}, regs(0, 0xFFF8), {}, K::Jump, 2, {0x0008}, D::Taken},
        {"BSR", 0xC000, {0x8D, 0x10}, regs(), {}, K::Call, 2, {0xC012}, D::Taken},
        {"JSR direct", 0xC000, {0x9D, 0x40}, regs(), {}, K::Call, 2, {0x0040}, D::Taken},
        {"JSR extended", 0xC000, {0xBD, 0xC2, 0x00}, regs(), {}, K::Call, 3, {0xC200}, D::Taken},
        {"JSR indexed X", 0xC000, {0xAD, 0xFF}, regs(0, 0xC100), {}, K::Call, 2, {0xC1FF}, D::Taken},
        {"JSR indexed Y", 0xC000, {0x18, 0xAD, 0x10}, regs(0, 0, 0xD000), {}, K::Call, 3, {0xD010}, D::Taken},
        // Returns: the address from the stack.
        {"RTS", 0xC000, {0x39}, regs(0, 0, 0, 0x00E8), {0xC0, 0x33}, K::Return, 1, {0xC033}, D::Unknown},
        {"RTI", 0xC000, {0x3B}, regs(0, 0, 0, 0x00E0), {0xC1, 0x44}, K::ReturnFromInterrupt, 1, {0xC144}, D::Unknown},
        // No successor of its own.
        {"SWI", 0xC000, {0x3F}, regs(), {}, K::SoftwareInterrupt, 1, {}, D::Unknown},
        {"WAI", 0xC000, {0x3E}, regs(), {}, K::Wait, 1, {}, D::Unknown},
        {"STOP", 0xC000, {0xCF}, regs(), {}, K::Wait, 1, {}, D::Unknown},
        // Undefined.
        {"undefined opcode", 0xC000, {0x41}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"undefined after a prefix", 0xC000, {0x18, 0x87}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"prefix after a prefix", 0xC000, {0x18, 0x18, 0x08}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"JMP after $1A", 0xC000, {0x1A, 0x6E, 0x00}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"BRA after $CD", 0xC000, {0xCD, 0x20, 0x00}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"RTS after $1A", 0xC000, {0x1A, 0x39}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"BRSET indexed after $CD", 0xC000, {0xCD, 0x1E, 0x00, 0x01, 0x02}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"JMP extended after $18 (no Y form)", 0xC000, {0x18, 0x7E, 0xC0, 0x00}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"SWI after $18", 0xC000, {0x18, 0x3F}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        // Pairs whose page-1 instruction has no form on the prefix's page trap like undefined opcodes.
        {"LDAA immediate after $18", 0xC000, {0x18, 0x86, 0x00}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"INX after $1A", 0xC000, {0x1A, 0x08}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"CPX immediate after $CD", 0xC000, {0xCD, 0x8C, 0x12, 0x34}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"LDY extended after $1A", 0xC000, {0x1A, 0xFE, 0x12, 0x34}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
        {"NOP after $CD", 0xC000, {0xCD, 0x01}, regs(), {}, K::Undefined, 0, {}, D::Unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Successors s = answer(c, c.memory);
        EXPECT_EQ(s.kind, c.kind);
        EXPECT_EQ(s.length, c.length);
        EXPECT_EQ(s.next, static_cast<uint16_t>(c.address + c.length));
        EXPECT_EQ(std::vector<uint16_t>(s.targets.begin(), s.targets.begin() + s.count), c.targets);
        EXPECT_EQ(s.decision, c.decision);
        EXPECT_EQ(s.needs.count, 0);
    }
}

// What the answer asks for before the target bytes are there.
TEST(Successors, AsksForTheBytesItDependsOn)
{
    struct Need {
        const char* name;
        std::vector<uint8_t> bytes;
        CpuRegisters registers;
        MemoryRange needs;
    };
    const std::vector<Need> needs = {
        {"BRSET direct: its operand", {0x12, 0x40, 0x01, 0x10}, regs(), {0x0040, 1}},
        {"BRCLR indexed Y: Y + offset, wrapping", {0x18, 0x1F, 0x05, 0x01, 0x10}, regs(0, 0x10FE, 0xFFFE), {0x0003, 1}},
        {"RTS: the two bytes above SP", {0x39}, regs(0, 0, 0, 0x00E8), {0x00E9, 2}},
        {"RTI: the PC of the stacked frame", {0x3B}, regs(0, 0, 0, 0x00E0), {0x00E8, 2}},
        {"JMP indexed: the registers are enough", {0x6E, 0x10}, regs(0, 0x2000), {}},
    };
    for (const Need& n : needs) {
        SCOPED_TRACE(n.name);
        InstructionBytes b{};
        std::copy(n.bytes.begin(), n.bytes.end(), b.begin());
        const Successors s = successorsOf(0xC000, b, n.registers);
        EXPECT_EQ(s.needs.address, n.needs.address);
        EXPECT_EQ(s.needs.count, n.needs.count);
        if (n.needs.count == 2) {
            EXPECT_EQ(s.count, 0);
            const uint8_t tooFew[1] = {0xC0};
            EXPECT_EQ(successorsOf(0xC000, b, n.registers, tooFew).count, 0);
        }
    }
}

TEST(Successors, InsideMeansTheInstructionsOwnBytes)
{
    InstructionBytes b{0x18, 0x1F, 0x00, 0x01, 0xFB}; // BRCLR 0,Y,#1 to its own second byte
    const Successors s = successorsOf(0xFFFE, b, regs());
    ASSERT_EQ(s.length, 5);
    EXPECT_TRUE(s.inside(0xFFFE));
    EXPECT_TRUE(s.inside(0x0002));
    EXPECT_FALSE(s.inside(0x0003));
    EXPECT_FALSE(s.inside(0xFFFD));
    EXPECT_EQ(s.targets[0], 0xFFFE);
}

// A 64 KB memory for the simulator's core; vectors come from the normal-mode vector addresses.
class FlatMemory : public Bus {
public:
    FlatMemory() : mem(0x10000, 0) {}
    uint8_t read(uint16_t a) override { return mem[a]; }
    void write(uint16_t a, uint8_t v) override { mem[a] = v; }
    void tick(uint32_t) override {}
    uint16_t readVector(uint16_t v) override { return static_cast<uint16_t>(mem[v] << 8 | mem[uint16_t(v + 1)]); }
    std::vector<uint8_t> mem;
};

// Against the simulator's core: every opcode of the four pages, in random states, is executed
// once; the address it arrives at must be the one the answer gives (or among them where the
// answer leaves the choice open), and undefined pairs must trap.
TEST(Successors, AgreeWithTheSimulatedCore)
{
    constexpr uint16_t kSwiHandler = 0xE000, kIllegalHandler = 0xE100;
    std::mt19937 random(11);
    auto next16 = [&](uint16_t low, uint16_t high) {
        return static_cast<uint16_t>(std::uniform_int_distribution<int>(low, high)(random));
    };
    std::vector<uint8_t> image(0x10000);
    for (auto& m : image)
        m = static_cast<uint8_t>(random());
    int compared = 0;
    for (int prefix : {-1, 0x18, 0x1A, 0xCD}) {
        for (int opcode = 0; opcode < 256; ++opcode) {
            // TEST runs only in special test mode and traps elsewhere; a prefix as the opcode
            // byte of a bare instruction is the start of another page, not an instruction.
            if (prefix < 0 && (opcode == 0x00 || opcode == 0x18 || opcode == 0x1A || opcode == 0xCD))
                continue;
            const Opcode& info = opcodes::lookup(prefix < 0 ? 0 : static_cast<uint8_t>(prefix), static_cast<uint8_t>(opcode));
            for (int round = 0; round < 6; ++round) {
                SCOPED_TRACE(testing::Message() << "prefix " << prefix << " opcode $" << std::hex << opcode << " round " << round);
                FlatMemory bus;
                bus.mem = image;
                bus.mem[0xFFF6] = kSwiHandler >> 8;
                bus.mem[0xFFF7] = kSwiHandler & 0xFF;
                bus.mem[0xFFF8] = kIllegalHandler >> 8;
                bus.mem[0xFFF9] = kIllegalHandler & 0xFF;
                const uint16_t address = next16(0x0100, 0xFE00);
                InstructionBytes b{};
                for (size_t i = 0; i < b.size(); ++i)
                    b[i] = bus.mem[uint16_t(address + i)];
                size_t at = 0;
                if (prefix >= 0)
                    b[at++] = static_cast<uint8_t>(prefix);
                b[at] = static_cast<uint8_t>(opcode);
                for (size_t i = 0; i < b.size(); ++i)
                    bus.mem[uint16_t(address + i)] = b[i];

                Cpu cpu(bus);
                cpu.a = static_cast<uint8_t>(random());
                cpu.b = static_cast<uint8_t>(random());
                cpu.ccr = static_cast<uint8_t>(random() | 0x50); // X and I set: no interrupt
                cpu.x = static_cast<uint16_t>(random());
                cpu.y = static_cast<uint16_t>(random());
                cpu.sp = next16(0x0200, 0xFE00);
                cpu.pc = address;
                CpuRegisters r;
                r.A = cpu.a;
                r.B = cpu.b;
                r.CCR = cpu.ccr;
                r.X = cpu.x;
                r.Y = cpu.y;
                r.SP = cpu.sp;

                Successors s = successorsOf(address, b, r);
                if (s.needs.count) {
                    std::vector<uint8_t> bytes;
                    for (int i = 0; i < s.needs.count; ++i)
                        bytes.push_back(bus.mem[uint16_t(s.needs.address + i)]);
                    s = successorsOf(address, b, r, bytes);
                }
                cpu.step();
                ++compared;

                if (info.mode == AddressMode::Undefined) {
                    EXPECT_EQ(s.kind, K::Undefined);
                    EXPECT_EQ(s.count, 0);
                    EXPECT_EQ(cpu.pc, kIllegalHandler);
                    continue;
                }
                ASSERT_NE(s.kind, K::Undefined);
                EXPECT_EQ(s.length, info.length);
                EXPECT_EQ(s.needs.count, 0);
                switch (s.kind) {
                case K::SoftwareInterrupt:
                    EXPECT_EQ(cpu.pc, kSwiHandler);
                    break;
                case K::Wait:
                    // STOP with S set is a NOP.
                    if (cpu.state() == CpuState::Running) {
                        EXPECT_TRUE(opcode == 0xCF && (r.CCR & 0x80) && cpu.pc == s.next);
                    }
                    break;
                default: {
                    ASSERT_GT(s.count, 0);
                    uint16_t expected = s.targets[0];
                    if (s.kind == K::Branch)
                        expected = s.decision == D::Taken ? s.targets[0] : s.next;
                    EXPECT_EQ(cpu.pc, expected);
                    break;
                }
                }
            }
        }
    }
    EXPECT_GT(compared, 5000);
}

} // namespace
