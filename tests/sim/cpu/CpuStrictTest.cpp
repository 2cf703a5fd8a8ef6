// Single instructions and interrupt sequences on a bus that fails on any access it does not
// expect: DAA, the X-bit rule, stacking order, RTI, WAI, STOP, the illegal-opcode trap, TEST.
#include "CpuTestSupport.h"

namespace {

constexpr uint16_t kCode = 0xC000;
constexpr uint8_t kX = 0x40, kH = 0x20, kI = 0x10, kN = 0x08, kZ = 0x04, kC = 0x01;

struct StrictCpu {
    StrictBus bus;
    Cpu cpu{bus};
    explicit StrictCpu(const std::vector<uint8_t>& code) {
        bus.place(kCode, code);
        cpu.pc = kCode;
        cpu.sp = 0x01FF;
    }
    // Allows the nine-byte interrupt frame below SP.
    void allowFrame() { bus.allowWrites(uint16_t(cpu.sp - 8), 9); }
    std::vector<StrictBus::Write> expectedFrame(uint16_t stackedPc) const {
        const uint16_t s = cpu.sp;
        return {{s, uint8_t(stackedPc)},       {uint16_t(s - 1), uint8_t(stackedPc >> 8)},
                {uint16_t(s - 2), uint8_t(cpu.y)}, {uint16_t(s - 3), uint8_t(cpu.y >> 8)},
                {uint16_t(s - 4), uint8_t(cpu.x)}, {uint16_t(s - 5), uint8_t(cpu.x >> 8)},
                {uint16_t(s - 6), cpu.a},          {uint16_t(s - 7), cpu.b},
                {uint16_t(s - 8), cpu.ccr}};
    }
};

TEST(CpuStrict, DaaCorrectsEveryRowOfTheBcdTable) {
    struct Row {
        uint8_t a;
        bool h, c;
        uint8_t result;
        bool carry;
    };
    const Row rows[] = {
        {0x45, false, false, 0x45, false}, {0x4B, false, false, 0x51, false}, {0x42, true, false, 0x48, false},
        {0xA4, false, false, 0x04, true},  {0x9C, false, false, 0x02, true},  {0xB1, true, false, 0x17, true},
        {0x25, false, true, 0x85, true},   {0x1D, false, true, 0x83, true},   {0x32, true, true, 0x98, true},
        {0x99, false, false, 0x99, false}, {0x00, false, false, 0x00, false},
    };
    for (const Row& r : rows) {
        StrictCpu t({0x19});
        t.cpu.a = r.a;
        t.cpu.ccr = uint8_t(0xD0 | (r.h ? kH : 0) | (r.c ? kC : 0));
        EXPECT_EQ(t.cpu.step(), 2u);
        EXPECT_EQ(t.cpu.a, r.result) << std::hex << int(r.a);
        EXPECT_EQ(bool(t.cpu.ccr & kC), r.carry) << std::hex << int(r.a);
        EXPECT_EQ(bool(t.cpu.ccr & kZ), r.result == 0);
        EXPECT_EQ(bool(t.cpu.ccr & kN), bool(r.result & 0x80));
        EXPECT_EQ(t.cpu.ccr & kH, r.h ? kH : 0); // H is left alone
    }
}

TEST(CpuStrict, SoftwareCanClearButNeverSetX) {
    struct Case {
        uint8_t ccr, a, want;
    };
    // TAP: X may go 1 -> 0; from 0 it stays 0 whatever A holds. S and the others follow A.
    for (const Case& c : {Case{0xD0, 0x00, 0x00}, Case{0x10, 0xFF, 0xBF}, Case{0x50, 0x45, 0x45}, Case{0x00, 0x40, 0x00}}) {
        StrictCpu t({0x06});
        t.cpu.ccr = c.ccr;
        t.cpu.a = c.a;
        t.cpu.step();
        EXPECT_EQ(t.cpu.ccr, c.want) << std::hex << int(c.ccr) << " " << int(c.a);
    }
    // RTI applies the same rule to the stacked CCR and reloads everything else in order.
    StrictCpu t({0x3B});
    t.cpu.sp = 0x01F6;
    t.cpu.ccr = 0x80; // X clear
    t.bus.place(0x01F7, {0xFF, 0xBB, 0xAA, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    EXPECT_EQ(t.cpu.step(), 12u);
    EXPECT_EQ(t.cpu.ccr, 0xBF);
    EXPECT_EQ(t.cpu.b, 0xBB);
    EXPECT_EQ(t.cpu.a, 0xAA);
    EXPECT_EQ(t.cpu.x, 0x1234);
    EXPECT_EQ(t.cpu.y, 0x5678);
    EXPECT_EQ(t.cpu.pc, 0x9ABC);
    EXPECT_EQ(t.cpu.sp, 0x01FF);
    EXPECT_TRUE(t.bus.writes.empty());
}

TEST(CpuStrict, InterruptEntryStacksInOrderAndHonoursMasks) {
    // An I-maskable request is ignored while I is set: the instruction runs instead.
    {
        StrictCpu t({0x01});
        t.cpu.ccr = 0xD0;
        t.cpu.setInterruptRequest(Vec::kTof);
        EXPECT_EQ(t.cpu.step(), 2u);
        EXPECT_EQ(t.cpu.pc, kCode + 1);
    }
    // With I clear: frame PCL..CCR, I set, vector fetched, no instruction fetched.
    {
        StrictCpu t({});
        t.cpu.a = 0x0A;
        t.cpu.b = 0x0B;
        t.cpu.x = 0x1122;
        t.cpu.y = 0x3344;
        t.cpu.ccr = 0xC5;
        t.allowFrame();
        t.bus.vectors[Vec::kTof] = 0xE000;
        const auto frame = t.expectedFrame(kCode);
        t.cpu.setInterruptRequest(Vec::kTof);
        EXPECT_EQ(t.cpu.step(), Cpu::kInterruptEntryCycles);
        EXPECT_EQ(t.bus.writes, frame);
        EXPECT_EQ(t.cpu.pc, 0xE000);
        EXPECT_EQ(t.cpu.sp, 0x01F6);
        EXPECT_EQ(t.cpu.ccr, 0xC5 | kI);
        EXPECT_EQ(t.bus.ticked, Cpu::kInterruptEntryCycles);
    }
    // XIRQ outranks a pending IRQ, and sets both X and I.
    {
        StrictCpu t({});
        t.cpu.ccr = 0x80;
        t.allowFrame();
        t.bus.vectors[Vec::kXirq] = 0xE100;
        t.cpu.setInterruptRequest(Vec::kIrq);
        t.cpu.setXirq(true);
        t.cpu.step();
        EXPECT_EQ(t.cpu.pc, 0xE100);
        EXPECT_EQ(t.cpu.ccr, 0x80 | kX | kI);
    }
    // SWI stacks the address after itself and is not masked by I.
    {
        StrictCpu t({0x3F});
        t.cpu.ccr = 0xD0;
        t.allowFrame();
        t.bus.vectors[Vec::kSwi] = 0xE200;
        const auto frame = t.expectedFrame(kCode + 1);
        EXPECT_EQ(t.cpu.step(), 14u);
        EXPECT_EQ(t.bus.writes, frame);
        EXPECT_EQ(t.cpu.pc, 0xE200);
    }
}

TEST(CpuStrict, WaiStacksOnceAndTheInterruptOnlyFetchesItsVector) {
    StrictCpu t({0x3E});
    t.cpu.ccr = 0xC0;
    t.allowFrame();
    const auto frame = t.expectedFrame(kCode + 1);
    EXPECT_EQ(t.cpu.step(), Cpu::kWaiStackingCycles);
    EXPECT_EQ(t.bus.writes, frame);
    EXPECT_EQ(t.cpu.state(), CpuState::Waiting);

    // Waiting: time passes to the bus in small chunks, with no bus access at all.
    EXPECT_TRUE(t.cpu.idle());
    EXPECT_EQ(t.cpu.step(), Cpu::kIdleChunkCycles);
    EXPECT_EQ(t.cpu.idleFor(10000), 10000u);
    EXPECT_EQ(t.bus.ticked, Cpu::kWaiStackingCycles + Cpu::kIdleChunkCycles + 10000);

    // A request masked by I does not end the wait.
    t.cpu.ccr |= kI;
    t.cpu.setInterruptRequest(Vec::kSci);
    EXPECT_TRUE(t.cpu.idle());
    t.cpu.step();
    EXPECT_EQ(t.cpu.state(), CpuState::Waiting);

    t.cpu.ccr &= uint8_t(~kI);
    EXPECT_FALSE(t.cpu.idle());
    EXPECT_EQ(t.cpu.idleFor(100), 0u);
    t.bus.vectors[Vec::kSci] = 0xE300;
    EXPECT_EQ(t.cpu.step(), Cpu::kWaitVectorCycles);
    EXPECT_EQ(t.bus.writes.size(), 9u); // not stacked again
    EXPECT_EQ(t.cpu.pc, 0xE300);
    EXPECT_EQ(t.cpu.state(), CpuState::Running);
    EXPECT_TRUE(t.cpu.ccr & kI);
    EXPECT_EQ(t.cpu.cycles(), t.bus.ticked);
}

TEST(CpuStrict, StopWaitsForResetIrqOrXirq) {
    // S set: a NOP.
    StrictCpu nop({0xCF});
    nop.cpu.ccr = 0xD0;
    EXPECT_EQ(nop.cpu.step(), 2u);
    EXPECT_EQ(nop.cpu.state(), CpuState::Running);

    // Wake-ups from STOP: XIRQ with X set resumes after the STOP without stacking; XIRQ with X
    // clear and IRQ with I clear are serviced; a request masked by I keeps the core stopped.
    struct Case {
        uint8_t ccr;
        bool xirq;
        uint16_t request, wantPc;
        bool stacked;
    };
    for (const Case& c : {Case{0x50, true, Vec::kTof, kCode + 1, false}, Case{0x10, true, 0, 0xE400, true},
                          Case{0x00, false, Vec::kIrq, 0xE500, true}}) {
        StrictCpu t({0xCF});
        t.cpu.ccr = c.ccr;
        t.cpu.step();
        EXPECT_EQ(t.cpu.state(), CpuState::Stopped);
        t.cpu.setInterruptRequest(Vec::kTof);
        t.cpu.ccr |= kI;
        EXPECT_TRUE(t.cpu.idle());
        t.cpu.step();
        EXPECT_EQ(t.cpu.state(), CpuState::Stopped);
        t.cpu.ccr = c.ccr;
        t.allowFrame();
        t.bus.vectors = {{Vec::kXirq, 0xE400}, {Vec::kIrq, 0xE500}};
        t.cpu.setInterruptRequest(c.request);
        t.cpu.setXirq(c.xirq);
        EXPECT_FALSE(t.cpu.idle());
        t.cpu.step();
        EXPECT_EQ(t.cpu.state(), CpuState::Running);
        EXPECT_EQ(t.cpu.pc, c.wantPc);
        EXPECT_EQ(t.bus.writes.size(), c.stacked ? 9u : 0u);
    }

    // Reset leaves STOP through the given vector with S, X and I set.
    StrictCpu t({0xCF});
    t.cpu.ccr = 0x00;
    t.cpu.step();
    t.bus.vectors[Vec::kCop] = 0xE600;
    t.cpu.reset(Vec::kCop);
    EXPECT_EQ(t.cpu.state(), CpuState::Running);
    EXPECT_EQ(t.cpu.pc, 0xE600);
    EXPECT_EQ(t.cpu.ccr & 0xD0, 0xD0);
}

TEST(CpuStrict, IllegalOpcodesTrapWithTheInstructionAddressStacked) {
    const std::vector<std::vector<uint8_t>> illegal = {{0x41}, {0x87}, {0xC7}, {0x18, 0x00}, {0x18, 0x86},
                                                       {0x1A, 0x00}, {0x1A, 0xA6}, {0xCD, 0xEC}, {0x00}};
    for (const auto& code : illegal) {
        StrictCpu t(code);
        t.cpu.ccr = 0xC0;
        t.allowFrame();
        t.bus.vectors[Vec::kIllegal] = 0xE700;
        const auto frame = t.expectedFrame(kCode);
        EXPECT_EQ(t.cpu.step(), Cpu::kInterruptEntryCycles);
        EXPECT_EQ(t.bus.writes, frame) << std::hex << int(code[0]);
        EXPECT_EQ(t.cpu.pc, 0xE700);
        EXPECT_TRUE(t.cpu.ccr & kI);
    }
    // TEST in special test mode: the core loops, passing time only.
    StrictCpu t({0x00});
    t.cpu.setTestOpcodeEnabled(true);
    t.cpu.step();
    EXPECT_EQ(t.cpu.state(), CpuState::TestLoop);
    EXPECT_TRUE(t.cpu.idle());
    t.cpu.run(1000);
    EXPECT_TRUE(t.bus.writes.empty());
    EXPECT_EQ(t.cpu.cycles(), t.bus.ticked);
}

} // namespace
