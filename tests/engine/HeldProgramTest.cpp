// A program that the talker holds at one of our SWIs, on the virtual board: where stop, execute,
// trace and call go on from there.
#include "BoardRig.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr uint32_t kMain = 0xC000;
constexpr uint32_t kNop = 0xC005;      // a breakpoint here holds the program with PC $C006
constexpr uint32_t kSub = 0xC006;      // INCA, STAA $C180, RTS: also a subroutine
constexpr uint32_t kAfterRts = 0xC00B; // where the RTS goes when the program runs on from kSub
constexpr uint32_t kSpin = 0xC00E;
constexpr uint32_t kOtherSub = 0xC100;
constexpr uint32_t kStored = 0xC180, kMainWentOn = 0xC181, kOtherSubRan = 0xC182;
constexpr uint32_t kTalkerRts = 0x00C8;

const Bytes kProgram = {
    0x8E, 0xC1, 0xFF, // C000 LDS  #$C1FF
    0x86, 0x01,       // C003 LDAA #1
    0x01,             // C005 NOP
    0x4C,             // C006 INCA
    0xB7, 0xC1, 0x80, // C007 STAA $C180
    0x39,             // C00A RTS
    0x7C, 0xC1, 0x81, // C00B INC  $C181
    0x20, 0xFE,       // C00E BRA  *
};

// The program loaded, the markers clear, and the program held at the NOP (A = 1, SP = $C1FF),
// from whatever the target did before.
void holdAtNop(BoardRig& rig)
{
    DebugEngine& e = rig.engine;
    // Back to the talker first: a frame held from before lies on the program's stack.
    ASSERT_EQ(e.stop(), kTalkerOk);
    rig.poke(kMain, kProgram);
    rig.poke(kOtherSub, {0x7C, 0xC1, 0x82, 0x39}); // INC $C182, RTS
    rig.poke(kStored, {0x00, 0x00, 0x00});
    rig.poke(0xC200, {0xC0, 0x0B}); // the top of the stack: kAfterRts
    ASSERT_EQ(e.setBreakpoint(kNop), kTalkerOk);
    ASSERT_EQ(e.execute(kMain, true), kTalkerOk);
    const BreakpointHit hit = rig.awaitHit();
    ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
    ASSERT_EQ(hit.address, kNop);
    ASSERT_EQ(e.heldAt, std::optional<uint32_t>(kNop));
    ASSERT_EQ(rig.registers().PC, kNop + 1) << "the talker holds the program after its SWI";
}

// After a stop, execution goes on at the instruction where the program stopped, not after the SWI.
TEST(HeldProgram, StopGoesOnAtTheStoppedInstruction)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    DebugEngine& e = rig.engine;
    holdAtNop(rig);

    ASSERT_EQ(e.stop(), kTalkerOk);
    EXPECT_EQ(e.currentPC, kNop);
    EXPECT_FALSE(e.heldAt);
    ASSERT_TRUE(rig.awaitIdle());

    // The trace steps the NOP itself, then the INCA.
    ASSERT_EQ(e.traceStep(e.currentPC), kTalkerOk);
    EXPECT_EQ(e.currentPC, kSub);
    EXPECT_EQ(e.heldAt, std::optional<uint32_t>(kSub));
    ASSERT_EQ(e.traceStep(e.currentPC), kTalkerOk);
    EXPECT_EQ(e.currentPC, kSub + 1);
    EXPECT_EQ(rig.registers().A, 2);

    // A stop after a step goes on at the step's end.
    ASSERT_EQ(e.stop(), kTalkerOk);
    EXPECT_EQ(e.currentPC, kSub + 1);
    ASSERT_EQ(e.traceStep(e.currentPC), kTalkerOk);
    EXPECT_EQ(rig.peek(kStored), 2) << "STAA ran with the program's A";
    EXPECT_EQ(e.currentPC, 0xC00Au);
    EXPECT_TRUE(rig.notifier.messages.empty());
}

// Execute, trace and call at the very address the talker holds the program at (the address after
// the SWI) start there; a call elsewhere runs only the subroutine. Through the talker's RTS, and
// through its idle loop where that RTS is not there.
TEST(HeldProgram, StartsAtTheHeldAddressAndCallsRunOnlyTheSubroutine)
{
    struct Case {
        const char* name;
        std::function<void(BoardRig&)> run;
    };
    auto runToSpin = [](BoardRig& rig) {
        DebugEngine& e = rig.engine;
        ASSERT_EQ(e.setBreakpoint(kSpin), kTalkerOk);
        ASSERT_EQ(e.execute(kSub, true), kTalkerOk);
        const BreakpointHit hit = rig.awaitHit();
        ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
        EXPECT_EQ(hit.address, kSpin);
        EXPECT_EQ(hit.registers.A, 2);
        // The RTS took the program's own return address: its stack pointer was $C1FF again.
        EXPECT_EQ(rig.peek(kMainWentOn), 1);
        EXPECT_EQ(hit.registers.SP, 0xC201u - 8);
        EXPECT_EQ(rig.peek(kStored), 2);
    };
    auto callSub = [](BoardRig& rig, uint32_t sub) {
        ASSERT_EQ(rig.engine.callSubroutine(sub), kTalkerOk);
        EXPECT_FALSE(rig.engine.heldAt);
        ASSERT_TRUE(rig.awaitIdle()) << "the subroutine returns into the talker";
        EXPECT_EQ(rig.peek(kMainWentOn), 0) << "the held program must not go on";
    };
    const Case cases[] = {
        {"execute", runToSpin},
        {"execute with an SWI of ours on the talker's RTS",
         [&](BoardRig& rig) {
             ASSERT_EQ(rig.engine.setBreakpoint(kTalkerRts), kTalkerOk);
             runToSpin(rig);
             EXPECT_EQ(rig.peek(kTalkerRts), 0x39);
         }},
        {"trace",
         [](BoardRig& rig) {
             ASSERT_EQ(rig.engine.traceStep(kSub), kTalkerOk);
             EXPECT_EQ(rig.engine.currentPC, kSub + 1);
             const TargetRegisters r = rig.registers();
             EXPECT_EQ(r.A, 2);
             EXPECT_EQ(r.SP, 0xC1FFu - 8);
         }},
        {"call at the held address",
         [&](BoardRig& rig) {
             callSub(rig, kSub);
             EXPECT_EQ(rig.peek(kStored), 2);
         }},
        {"call at the held address without the talker's RTS",
         [&](BoardRig& rig) {
             rig.poke(kTalkerRts, {0x01});
             callSub(rig, kSub);
             rig.poke(kTalkerRts, {0x39});
             EXPECT_EQ(rig.peek(kStored), 2);
         }},
        {"call elsewhere",
         [&](BoardRig& rig) {
             callSub(rig, kOtherSub);
             EXPECT_EQ(rig.peek(kOtherSubRan), 1);
             EXPECT_EQ(rig.peek(kStored), 0);
         }},
    };
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.clearBreakpoints();
        holdAtNop(rig);
        c.run(rig);
        EXPECT_TRUE(rig.notifier.messages.empty());
    }
}

} // namespace
