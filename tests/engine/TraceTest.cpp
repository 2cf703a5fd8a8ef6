#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

struct TraceCase {
    const char* name;
    uint16_t address;
    std::vector<uint8_t> code;
    std::vector<uint32_t> tracepoints; // in planting order
    uint16_t stopAt;                   // where the "program" arrives
    uint16_t x = 0, y = 0, sp = 0x00F6;
    std::vector<uint8_t> stackTop = {}; // bytes at SP + 9 (RTS) or SP + 16 (RTI)
};

// Every successor rule: the planted SWIs are checked on the wire, the bytes under them afterwards.
TEST(Trace, SuccessorsOfEveryKindOfInstruction)
{
    const std::vector<TraceCase> cases = {
        {"NOP falls through", 0xC000, {0x01}, {0xC001}, 0xC001},
        {"BNE taken", 0xC010, {0x26, 0xF0}, {0xC002, 0xC012}, 0xC002},
        {"BNE not taken", 0xC010, {0x26, 0xF0}, {0xC002, 0xC012}, 0xC012},
        {"BRN only falls through", 0xC000, {0x21, 0x10}, {0xC002}, 0xC002},
        {"BRA", 0xC000, {0x20, 0x05}, {0xC007}, 0xC007},
        {"BRA backwards across $0000", 0x0002, {0x20, 0xF0}, {0xFFF4}, 0xFFF4},
        {"BSR", 0xC000, {0x8D, 0x10}, {0xC012}, 0xC012},
        {"BRSET direct", 0xC000, {0x12, 0x40, 0x01, 0x10}, {0xC014, 0xC004}, 0xC014},
        {"BRCLR direct", 0xC000, {0x13, 0x40, 0x01, 0xFA}, {0xBFFE, 0xC004}, 0xC004},
        {"BRSET indexed by X", 0xC000, {0x1E, 0x05, 0x80, 0x02}, {0xC006, 0xC004}, 0xC006},
        {"BRCLR indexed by Y", 0xC000, {0x18, 0x1F, 0x05, 0x80, 0xF0}, {0xBFF5, 0xC005}, 0xC005},
        {"JMP extended", 0xC000, {0x7E, 0xD1, 0x23}, {0xD123}, 0xD123},
        {"JMP indexed by X", 0xC000, {0x6E, 0x05}, {0xC105}, 0xC105, 0xC100},
        {"JMP indexed by Y", 0xC000, {0x18, 0x6E, 0x05}, {0xD005}, 0xD005, 0xC100, 0xD000},
        {"JSR direct", 0xC000, {0x9D, 0x40}, {0x0040}, 0x0040},
        {"JSR extended", 0xC000, {0xBD, 0xC2, 0x00}, {0xC200}, 0xC200},
        {"JSR indexed by X", 0xC000, {0xAD, 0xFF}, {0xC1FF}, 0xC1FF, 0xC100},
        {"JSR indexed by Y", 0xC000, {0x18, 0xAD, 0x10}, {0xD010}, 0xD010, 0, 0xD000},
        {"RTS", 0xC000, {0x39}, {0xC033}, 0xC033, 0, 0, 0x00E0, {0xC0, 0x33}},
        {"RTI", 0xC000, {0x3B}, {0xC044}, 0xC044, 0, 0, 0x00D0, {0xC0, 0x44}},
        {"LDY immediate after a prefix", 0xC000, {0x18, 0xCE, 0x12, 0x34}, {0xC004}, 0xC004},
        {"CPD after $1A", 0xC000, {0x1A, 0x83, 0x12, 0x34}, {0xC004}, 0xC004},
        {"SWI is reported by the talker itself", 0xC000, {0x3F}, {}, 0xC000},
        {"branch to its own fall-through", 0xC000, {0x26, 0x00}, {0xC002}, 0xC002},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModelRig rig;
        DebugEngine& e = rig.engine;
        // Distinct bytes everywhere a tracepoint may land, so a lost byte shows.
        for (uint32_t t : c.tracepoints)
            rig.model.poke(static_cast<uint16_t>(t), {static_cast<uint8_t>(0x80 ^ (t & 0x7F))});
        rig.model.poke(c.address, c.code);
        TalkerModel::Registers regs;
        regs.X = c.x;
        regs.Y = c.y;
        regs.SP = c.sp;
        rig.model.setRegisters(regs);
        if (!c.stackTop.empty())
            rig.model.poke(static_cast<uint16_t>(c.sp + (c.code[0] == 0x3B ? 16 : 9)), c.stackTop);
        std::vector<uint8_t> before;
        for (uint32_t t : c.tracepoints)
            before.push_back(rig.model.peek(static_cast<uint16_t>(t)));
        {
            SwiAfterStart program(rig.model, c.stopAt);
            ASSERT_EQ(e.traceStep(c.address), kTalkerOk);
        }
        EXPECT_EQ(rig.singleWrites(0x3F), c.tracepoints);
        EXPECT_EQ(e.currentPC, c.stopAt);
        for (size_t i = 0; i < c.tracepoints.size(); ++i)
            EXPECT_EQ(rig.model.peek(static_cast<uint16_t>(c.tracepoints[i])), before[i]) << i;
        for (const auto& t : e.tracepoints)
            EXPECT_FALSE(t.planted);
        // The target was started at the traced instruction without breakpoints.
        const auto frames = rig.commandsOf(0xC1);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frameOf(frames[0]).PC, c.address);
        EXPECT_EQ(e.running, 0);
        EXPECT_TRUE(rig.notifier.messages.empty());
    }
}

TEST(Trace, UndefinedInstructionsPlantNothing)
{
    const std::vector<std::vector<uint8_t>> codes = {{0x41}, {0x18, 0x87}, {0x1A, 0x6E, 0x00}, {0xCD, 0x20, 0x00}};
    for (const auto& code : codes) {
        ModelRig rig;
        rig.model.poke(0xC000, code);
        EXPECT_EQ(rig.engine.traceStep(0xC000), kTalkerInvalidOpcode);
        EXPECT_TRUE(rig.commandsOf(0x41).empty());
        EXPECT_TRUE(rig.commandsOf(0xC1).empty());
    }
}

TEST(Trace, AStepThatDoesNotComeBackLosesNoByte)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.model.poke(0xC000, {0x26, 0x10, 0x5F}); // BNE, CLRB
    rig.model.poke(0xC012, {0x4F});

    // No report: the step gives up, leaving its tracepoints recorded.
    e.traceWaitMs = 30;
    EXPECT_EQ(e.traceStep(0xC000), kTalkerTraceFailed);
    EXPECT_EQ(rig.notifier.messages, (std::vector<std::string>{"68HC11 failed to return control to Tarvik11."}));
    EXPECT_EQ(rig.model.peek(0xC002), 0x3F);
    EXPECT_EQ(rig.model.peek(0xC012), 0x3F);
    EXPECT_EQ(e.currentPC, 0xC000u);

    // The target arrives late; the next step takes that report, restores the leftovers and
    // steps normally.
    rig.model.raiseSwi(0xC012);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.traceWaitMs = 5000;
    rig.notifier.messages.clear();
    {
        SwiAfterStart program(rig.model, 0xC003);
        ASSERT_EQ(e.traceStep(0xC002), kTalkerOk);
    }
    EXPECT_EQ(e.currentPC, 0xC003u);
    EXPECT_EQ(rig.model.peek(0xC002), 0x5F);
    EXPECT_EQ(rig.model.peek(0xC003), 0x00);
    EXPECT_EQ(rig.model.peek(0xC012), 0x4F);
    EXPECT_TRUE(rig.notifier.messages.empty());

    // Leftovers are also cleared by a run with breakpoints and by stop.
    e.traceWaitMs = 30;
    EXPECT_EQ(e.traceStep(0xC000), kTalkerTraceFailed);
    ASSERT_EQ(e.stop(), kTalkerOk);
    EXPECT_EQ(rig.model.peek(0xC002), 0x5F);
    EXPECT_EQ(rig.model.peek(0xC012), 0x4F);
    EXPECT_EQ(e.traceStep(0xC000), kTalkerTraceFailed);
    ASSERT_EQ(e.execute(0xC000, true), kTalkerOk);
    EXPECT_EQ(rig.model.peek(0xC002), 0x5F);
    EXPECT_EQ(rig.model.peek(0xC012), 0x4F);
}

TEST(Trace, ConfirmationAndRestoreFailuresAreReported)
{
    {
        ModelRig rig;
        rig.port.readWaitMs = 50;
        rig.model.poke(0xC000, {0x01});
        rig.model.setRegisters({});
        std::thread program([&] {
            while (SwiAfterStart::frameWrites(rig.model) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            rig.model.setSilent(true);
            rig.model.sendRaw({0x4A});
        });
        EXPECT_EQ(rig.engine.traceStep(0xC000), kTalkerTraceFailed);
        program.join();
        EXPECT_EQ(rig.notifier.messages, (std::vector<std::string>{"SWI confirmation failed."}));
        EXPECT_TRUE(rig.engine.tracepoints[0].planted);
    }
    {
        ModelRig rig;
        rig.model.poke(0xC000, {0x01, 0x4F});
        std::thread program([&] {
            while (SwiAfterStart::frameWrites(rig.model) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            rig.model.setRom(0xC001, 0xC001);
            rig.model.raiseSwi(0xC001);
        });
        EXPECT_EQ(rig.engine.traceStep(0xC000), kTalkerTraceFailed);
        program.join();
        EXPECT_EQ(rig.notifier.messages, (std::vector<std::string>{"Error: unable to remove all tracepoints."}));
        EXPECT_EQ(rig.engine.currentPC, 0xC001u);
        EXPECT_TRUE(rig.engine.tracepoints[0].planted);
    }
}

} // namespace
