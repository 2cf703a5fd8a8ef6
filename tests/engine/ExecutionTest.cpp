#include "EngineRig.h"

#include <gtest/gtest.h>

namespace {

TalkerModel::Registers someFrame()
{
    TalkerModel::Registers r;
    r.SP = 0x00E0;
    r.CCR = 0xC4;
    r.B = 0x12;
    r.A = 0x34;
    r.X = 0x5678;
    r.Y = 0x9ABC;
    r.PC = 0x0123;
    return r;
}

// Polls until the engine reports something other than "nothing yet" (bounded).
BreakpointHit pollUntilReported(DebugEngine& e)
{
    BreakpointHit hit;
    for (int i = 0; i < 5000 && hit.kind == BreakpointHitKind::None; ++i) {
        hit = e.pollBreakpointHit();
        if (hit.kind == BreakpointHitKind::None)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return hit;
}

TEST(Execution, ExecuteCallAndStopWriteTheRightFrames)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    e.talkerIdleAddress = 0x0042;
    rig.model.setRegisters(someFrame());

    // execute: same registers, new PC.
    ASSERT_EQ(e.execute(0xC000, true), kTalkerOk);
    EXPECT_EQ(e.currentPC, 0xC000u);
    EXPECT_EQ(e.running, 1);
    auto frames = rig.commandsOf(0xC1);
    ASSERT_EQ(frames.size(), 1u);
    auto expected = someFrame();
    expected.PC = 0xC000;
    EXPECT_TRUE(sameRegisters(frameOf(frames[0]), expected));

    // stop: currentPC from the frame, target back at the talker's idle loop.
    ASSERT_EQ(e.stop(), kTalkerOk);
    EXPECT_EQ(e.running, 0);
    EXPECT_EQ(e.currentPC, 0xC000u);
    frames = rig.commandsOf(0xC1);
    ASSERT_EQ(frames.size(), 2u);
    expected.PC = 0x0042;
    EXPECT_TRUE(sameRegisters(frameOf(frames[1]), expected));

    // callSubroutine: frame moved down two bytes, return address on the program's stack, then PC.
    rig.model.setRegisters(someFrame());
    rig.model.clearLogs();
    const uint32_t pcBefore = e.currentPC;
    ASSERT_EQ(e.callSubroutine(0xC100), kTalkerOk);
    frames = rig.commandsOf(0xC1);
    ASSERT_EQ(frames.size(), 2u);
    expected = someFrame();
    expected.SP = 0x00DE;
    EXPECT_TRUE(sameRegisters(frameOf(frames[0]), expected));
    expected.PC = 0xC100;
    EXPECT_TRUE(sameRegisters(frameOf(frames[1]), expected));
    const auto writes = rig.commandsOf(0x41);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 0x00E7);
    EXPECT_EQ(writes[0].data, (std::vector<uint8_t>{0x00, 0x42}));
    // The frame is read twice (taken once two reads agree) before it is written back.
    EXPECT_EQ(rig.kinds(), (std::vector<uint8_t>{0x81, 0x81, 0xC1, 0x41, 0x01, 0xC1}));
    EXPECT_EQ(e.currentPC, pcBefore);
    EXPECT_EQ(e.running, 0);
}

TEST(Execution, ExecuteFailuresKeepStateAsDocumented)
{
    ModelRig rig(false);
    DebugEngine& e = rig.engine;
    EXPECT_EQ(e.execute(0xC000, true), kTalkerPortNotOpen);
    EXPECT_EQ(e.currentPC, 0xC000u);
    EXPECT_EQ(e.running, 1); // planting an empty table succeeded before the register read failed
    EXPECT_EQ(e.stop(), kTalkerPortNotOpen);
}

TEST(Execution, BreakpointHitIsHandledAndReported)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.model.poke(0xC000, {0x01, 0x01, 0x01, 0x01});
    rig.model.poke(0xC010, {0x4F});
    ASSERT_EQ(e.setBreakpoint(0xC010), kTalkerOk);
    ASSERT_EQ(e.setBreakpoint(0xC002), kTalkerOk);

    // Not running: the port is not touched.
    rig.model.clearLogs();
    EXPECT_EQ(e.pollBreakpointHit().kind, BreakpointHitKind::None);
    EXPECT_TRUE(rig.model.commands().empty());

    ASSERT_EQ(e.execute(0xC000, true), kTalkerOk);
    EXPECT_EQ(e.pollBreakpointHit().kind, BreakpointHitKind::None);
    // The stop is announced once confirmed, before any SWI is written back.
    std::vector<uint32_t> announced;
    size_t writesWhenAnnounced = 0;
    e.breakpointConfirmed = [&](uint32_t address) {
        announced.push_back(address);
        writesWhenAnnounced = rig.commandsOf(0x41).size();
    };
    const size_t writesBefore = rig.commandsOf(0x41).size();
    rig.model.raiseSwi(0xC010);
    const BreakpointHit hit = pollUntilReported(e);
    e.breakpointConfirmed = nullptr;
    EXPECT_EQ(announced, std::vector<uint32_t>{0xC010});
    EXPECT_EQ(writesWhenAnnounced, writesBefore);
    ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
    EXPECT_EQ(hit.address, 0xC010u);
    EXPECT_EQ(hit.registers.PC, 0xC010u);
    EXPECT_EQ(e.running, 0);
    EXPECT_EQ(rig.model.peek(0xC010), 0x4F);
    EXPECT_EQ(rig.model.peek(0xC002), 0x01);
    std::array<uint32_t, 10> list{};
    EXPECT_EQ(e.listBreakpoints(list), 1); // one-shot: the hit one is gone, the other stays
    EXPECT_EQ(list[1], 0xC002u);
    EXPECT_EQ(e.currentPC, 0xC000u);
    EXPECT_TRUE(rig.notifier.messages.empty());

    // An SWI that is no breakpoint: everything restored, reported, message shown.
    ASSERT_EQ(e.execute(0xC000, true), kTalkerOk);
    rig.model.raiseSwi(0xC030);
    const BreakpointHit stray = pollUntilReported(e);
    EXPECT_EQ(stray.kind, BreakpointHitKind::NotInTable);
    EXPECT_EQ(stray.address, 0xC030u);
    EXPECT_EQ(rig.model.peek(0xC002), 0x01);
    EXPECT_EQ(e.running, 0);
    EXPECT_EQ(rig.notifier.messages, (std::vector<std::string>{"Unable to remove current breakpoint from table."}));
}

// At exit nothing of ours stays in the target's code, even with a hit waiting to be taken.
TEST(Execution, EngineGoingAwayWritesEveryDisplacedByteBack)
{
    PtyPair pty;
    TalkerModel model(pty);
    model.poke(0xC010, {0x4F});
    model.poke(0xC020, {0x5F});
    {
        HostSide host;
        ASSERT_EQ(host.link.openPort(pty.modeText()), kTalkerOk);
        ASSERT_EQ(host.engine.setBreakpoint(0xC010), kTalkerOk);
        ASSERT_EQ(host.engine.execute(0xC000, true), kTalkerOk);
        ASSERT_EQ(model.peek(0xC010), DebugEngine::kSwiOpcode);
    }
    EXPECT_EQ(model.peek(0xC010), 0x4F);

    model.clearLogs();
    {
        HostSide host;
        ASSERT_EQ(host.link.openPort(pty.modeText()), kTalkerOk);
        ASSERT_EQ(host.engine.setBreakpoint(0xC010), kTalkerOk);
        ASSERT_EQ(host.engine.setBreakpoint(0xC020), kTalkerOk);
        ASSERT_EQ(host.engine.execute(0xC000, true), kTalkerOk);
        model.raiseSwi(0xC020);
        for (int i = 0; i < 5000 && !host.port.hasInput(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(host.port.hasInput());
    }
    EXPECT_EQ(model.peek(0xC010), 0x4F);
    EXPECT_EQ(model.peek(0xC020), 0x5F);
    // The hit is confirmed first, then both bytes go back.
    std::vector<uint8_t> kinds;
    for (const auto& c : model.commands())
        if (c.kind == 0xB5 || c.kind == 0x41)
            kinds.push_back(c.kind);
    ASSERT_GE(kinds.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(kinds.end() - 3, kinds.end()), (std::vector<uint8_t>{0xB5, 0x41, 0x41}));
}

TEST(Execution, FailedConfirmationKeepsPolling)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.port.readWaitMs = 50;
    ASSERT_EQ(e.execute(0xC000, true), kTalkerOk);
    rig.model.setSilent(true);
    rig.model.sendRaw({0x4A});
    const BreakpointHit hit = pollUntilReported(e);
    EXPECT_EQ(hit.kind, BreakpointHitKind::ConfirmFailed);
    EXPECT_EQ(hit.status, kTalkerNoResponse);
    EXPECT_EQ(e.running, 1);
    EXPECT_EQ(rig.notifier.messages, (std::vector<std::string>{"SWI confirmation failed."}));

    // A byte other than "J" while running is dropped.
    rig.model.setSilent(false);
    rig.model.sendRaw({0x41});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(e.pollBreakpointHit().kind, BreakpointHitKind::None);
}

TEST(Execution, FailedRestoreAfterHitIsReported)
{
    ModelRig rig;
    DebugEngine& e = rig.engine;
    rig.model.poke(0xC010, {0x4F});
    ASSERT_EQ(e.setBreakpoint(0xC010), kTalkerOk);
    ASSERT_EQ(e.execute(0xC000, true), kTalkerOk);
    rig.model.setRom(0xC010, 0xC010); // the SWI can no longer be overwritten
    rig.model.raiseSwi(0xC010);
    const BreakpointHit hit = pollUntilReported(e);
    EXPECT_EQ(hit.kind, BreakpointHitKind::RestoreFailed);
    EXPECT_EQ(hit.status, kTalkerBadEcho);
    EXPECT_EQ(e.running, 0);
    EXPECT_EQ(e.breakpoints[0].address, 0xC010u); // kept, so a later restore can still succeed
    EXPECT_TRUE(e.breakpoints[0].planted);
    EXPECT_EQ(rig.notifier.messages, (std::vector<std::string>{"Error: unable to remove all breakpoints."}));
}

} // namespace
