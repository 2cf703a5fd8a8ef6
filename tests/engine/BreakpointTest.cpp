#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

TEST(Breakpoints, TableLimitsDuplicatesAndReuse)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.model.poke(0xC000, std::vector<uint8_t>(16, 0x01)); // NOPs
    rig.model.poke(0xC100, {0x41});                         // undefined opcode

    EXPECT_EQ(e.setBreakpoint(0x0000), kTalkerBreakpointExists);
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(e.setBreakpoint(0xC000 + i), kTalkerOk) << i;
    EXPECT_EQ(e.setBreakpoint(0xC00A), kTalkerBreakpointLimit);
    EXPECT_EQ(e.setBreakpoint(0xC003), kTalkerBreakpointExists);

    EXPECT_EQ(e.removeBreakpoint(0xC001), kTalkerOk);
    EXPECT_EQ(e.removeBreakpoint(0xC001), kTalkerBreakpointNotFound);
    EXPECT_EQ(e.setBreakpoint(0xC100), kTalkerInvalidOpcode);
    std::array<uint32_t, 10> list{};
    EXPECT_EQ(e.listBreakpoints(list), 9);
    EXPECT_EQ(list[0], 0xC000u);
    EXPECT_EQ(list[1], 0u);
    EXPECT_EQ(list[2], 0xC002u);

    // The lowest free record is taken next; a prefix byte is a valid place.
    rig.model.poke(0xC0F0, {0x18});
    EXPECT_EQ(e.setBreakpoint(0xC0F0), kTalkerOk);
    EXPECT_EQ(e.listBreakpoints(list), 10);
    EXPECT_EQ(list[1], 0xC0F0u);
    EXPECT_EQ(e.breakpoints[1].savedOpcode, 0x18);

    // Setting and removing only read: nothing is written to the target.
    EXPECT_TRUE(rig.commandsOf(0x41).empty());
    EXPECT_EQ(rig.model.peek(0xC100), 0x41);
}

TEST(Breakpoints, PlantAndRestoreKeepTheTargetBytes)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.model.poke(0xC010, {0x86, 0x01}); // LDAA #1
    rig.model.poke(0xC020, {0x01});
    ASSERT_EQ(e.setBreakpoint(0xC010), kTalkerOk);
    ASSERT_EQ(e.setBreakpoint(0xC020), kTalkerOk);

    // The program is reloaded after the breakpoint was set: the byte planted over is the new one.
    rig.model.poke(0xC020, {0x4F}); // CLRA
    ASSERT_EQ(e.plantBreakpoints(), kTalkerOk);
    EXPECT_EQ(e.running, 1);
    EXPECT_EQ(rig.model.peek(0xC010), 0x3F);
    EXPECT_EQ(rig.model.peek(0xC020), 0x3F);

    ASSERT_EQ(e.restoreBreakpoints(), kTalkerOk);
    EXPECT_EQ(e.running, 0);
    EXPECT_EQ(rig.model.peek(0xC010), 0x86);
    EXPECT_EQ(rig.model.peek(0xC020), 0x4F);
    std::array<uint32_t, 10> list{};
    EXPECT_EQ(e.listBreakpoints(list), 2);

    // Restoring while nothing is planted writes nothing, so bytes changed meanwhile survive.
    rig.model.clearLogs();
    rig.model.poke(0xC010, {0x5F});
    ASSERT_EQ(e.restoreBreakpoints(), kTalkerOk);
    EXPECT_TRUE(rig.commandsOf(0x41).empty());
    EXPECT_EQ(rig.model.peek(0xC010), 0x5F);

    // An empty table plants nothing and still counts as running.
    ModelRig empty;
    EXPECT_EQ(empty.engine.plantBreakpoints(), kTalkerOk);
    EXPECT_EQ(empty.engine.running, 1);
    EXPECT_TRUE(empty.commandsOf(0x41).empty());
}

TEST(Breakpoints, NoSwiIsLeftBehindOrLost)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.model.poke(0xC000, {0x01, 0x01, 0x01});
    rig.model.poke(0xE000, {0x01});
    ASSERT_EQ(e.setBreakpoint(0xC000), kTalkerOk);
    ASSERT_EQ(e.setBreakpoint(0xE000), kTalkerOk);
    ASSERT_EQ(e.setBreakpoint(0xC002), kTalkerOk);

    // A plant that fails half-way (ROM at $E000) takes back the SWI it already wrote.
    rig.model.setRom(0xE000, 0xFFFF);
    EXPECT_EQ(e.plantBreakpoints(), kTalkerBadEcho);
    EXPECT_EQ(e.running, 0);
    EXPECT_EQ(rig.model.peek(0xC000), 0x01);
    EXPECT_EQ(rig.model.peek(0xC002), 0x01);
    ASSERT_EQ(e.removeBreakpoint(0xE000), kTalkerOk);

    // Removing a breakpoint while its SWI is planted writes the byte back.
    ASSERT_EQ(e.plantBreakpoints(), kTalkerOk);
    ASSERT_EQ(rig.model.peek(0xC002), 0x3F);
    ASSERT_EQ(e.removeBreakpoint(0xC002), kTalkerOk);
    EXPECT_EQ(rig.model.peek(0xC002), 0x01);
    EXPECT_EQ(rig.model.peek(0xC000), 0x3F);

    // A breakpoint set where a tracepoint sits takes the byte the tracepoint displaced.
    ASSERT_EQ(e.plantTracepoint(0xC001), kTalkerOk);
    ASSERT_EQ(rig.model.peek(0xC001), 0x3F);
    ASSERT_EQ(e.setBreakpoint(0xC001), kTalkerOk);
    EXPECT_EQ(e.breakpoints[1].savedOpcode, 0x01);

    ASSERT_EQ(e.restoreTracepoints(), kTalkerOk);
    ASSERT_EQ(e.restoreBreakpoints(), kTalkerOk);
    EXPECT_EQ(rig.model.peek(0xC000), 0x01);
    EXPECT_EQ(rig.model.peek(0xC001), 0x01);
}

// The byte a record will write back is the target's own even when the line garbles a reply:
// otherwise taking the SWI out would write the garbled byte into the program.
TEST(Breakpoints, AGarbledReadIsNeverSavedAsTheProgramsByte)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.model.poke(0xC000, {0x4F, 0x5F});
    ASSERT_EQ(e.setBreakpoint(0xC000), kTalkerOk);

    rig.model.garbleReads(1);
    ASSERT_EQ(e.plantBreakpoints(), kTalkerOk);
    EXPECT_EQ(e.breakpoints[0].savedOpcode, 0x4F);
    rig.model.garbleReads(2);
    ASSERT_EQ(e.plantTracepoint(0xC001), kTalkerOk);
    EXPECT_EQ(e.tracepoints[0].savedOpcode, 0x5F);
    ASSERT_EQ(e.restoreTracepoints(), kTalkerOk);
    ASSERT_EQ(e.restoreBreakpoints(), kTalkerOk);
    EXPECT_EQ(rig.model.peek(0xC000), 0x4F);
    EXPECT_EQ(rig.model.peek(0xC001), 0x5F);

    // A line so bad that no two reads agree plants nothing.
    rig.model.garbleReads(100);
    EXPECT_EQ(e.plantBreakpoints(), kTalkerBadEcho);
    EXPECT_EQ(e.plantTracepoint(0xC001), kTalkerBadEcho);
    rig.model.garbleReads(0);
    EXPECT_EQ(rig.model.peek(0xC000), 0x4F);
    EXPECT_EQ(rig.model.peek(0xC001), 0x5F);
    EXPECT_FALSE(e.breakpoints[0].planted);
    EXPECT_FALSE(e.tracepoints[0].planted);
}

TEST(Breakpoints, LinkFailuresPassUpUnchanged)
{
    ModelRig rig(false); // port closed
    EXPECT_EQ(rig.engine.setBreakpoint(0xC000), kTalkerPortNotOpen);
    std::array<uint32_t, 10> list{};
    EXPECT_EQ(rig.engine.listBreakpoints(list), 0);
}

} // namespace
