// Run control through the session: a stop that is waiting on the line, writes over planted
// SWIs, going away while a program runs, and typed numbers that are no numbers.
#include "SessionRig.h"

#include "engine/CommandTexts.h"

#include <functional>

namespace {

constexpr uint32_t kLoopsDeca = 0xC01F; // "deca" in loops: reached once the delay loop ends
constexpr uint8_t kDeca = 0x4A;
constexpr uint32_t kCounterStart = 0xCC00; // "lds #$dfff" in counter, never run again once it loops
constexpr uint32_t kCounterLoop = 0xCC0A;

using SessionCommand = std::function<CommandResult(DebugSession&)>;

} // namespace

class WaitingStop : public SessionRig {};

// A program that stops while the user types the next command must not have its "J" read as
// that command's echo: the stop is taken first, reported, and the command does its work.
TEST_F(WaitingStop, isTakenBeforeWhateverCommandComesNext)
{
    const std::vector<std::pair<const char*, SessionCommand>> next{
        {"stop", [](DebugSession& s) { return s.stop(); }},
        {"unbreak", [](DebugSession& s) { return s.removeBreakpoint("$c025"); }},
        {"dump", [](DebugSession& s) { return s.dump("$c000", "$c3ff"); }},
        {"run", [](DebugSession& s) { return s.execute(std::string("$c000")); }},
        {"set", [](DebugSession& s) { return s.setMemory("$c026", "$00"); }},
        {"regs", [](DebugSession& s) { return s.readRegisters(); }},
    };
    for (const auto& [name, command] : next) {
        SCOPED_TRACE(name);
        newSession();
        bootAndLoad("loops");
        ok(session->setBreakpoint("$c025"));
        ok(session->setBreakpoint("$c01f"));
        ok(session->execute(std::string("$c000")));
        ASSERT_TRUE(talkerSpoke());
        ok(command(*session));
        ASSERT_FALSE(seen.stops.empty());
        EXPECT_EQ(seen.stops.front().kind, BreakpointHitKind::Hit);
        EXPECT_EQ(seen.stops.front().address, kLoopsDeca);
        // Whatever came next, the program can be stopped and its code is its own again.
        ok(session->stop());
        EXPECT_EQ(raw(kLoopsDeca), kDeca);
        // Later commands still talk to the talker.
        ok(session->dump("$c000", "$c00f"));
    }
}

TEST_F(WaitingStop, isTakenWhenTheSessionGoesAway)
{
    bootAndLoad("loops");
    ok(session->setBreakpoint("$c01f"));
    ok(session->execute(std::string("$c000")));
    ASSERT_TRUE(talkerSpoke());
    newSession(); // the old one goes: it takes the hit and writes the displaced byte back
    bootAndLoad("");
    EXPECT_EQ(raw(kLoopsDeca), kDeca);
}

class UserWrites : public SessionRig {};

// While a program runs with a breakpoint planted, a write over the breakpoint's byte is the
// user's new byte: the SWI stays until the program stops, then the new byte is what is there.
TEST_F(UserWrites, overAPlantedBreakpointSurviveTheStop)
{
    const std::vector<std::pair<const char*, SessionCommand>> writes{
        {"set", [](DebugSession& s) { return s.setMemory("$cc00", "$01"); }},
        {"fill", [](DebugSession& s) { return s.fill("$cbff", "$cc01", "$01"); }},
        {"move", [](DebugSession& s) { return s.move("$c100", "$c100", "$cc00"); }},
    };
    for (const auto& [name, write] : writes) {
        SCOPED_TRACE(name);
        newSession();
        bootAndLoad("counter");
        ok(session->setMemory("$c100", "$01"));
        ok(session->setBreakpoint("$cc00"));
        ok(session->execute(std::string("$cc0a")));
        EXPECT_EQ(raw(kCounterStart), DebugEngine::kSwiOpcode);
        ok(write(*session));
        EXPECT_EQ(raw(kCounterStart), DebugEngine::kSwiOpcode) << "the breakpoint stays planted";
        ok(session->stop());
        EXPECT_EQ(raw(kCounterStart), 0x01);
    }
}

TEST_F(UserWrites, dumpsFindsAndMovesSeeTheProgramsBytesNotOurSwis)
{
    bootAndLoad("counter");
    ok(session->setBreakpoint("$cc00"));
    ok(session->execute(std::string("$cc0a")));
    ASSERT_EQ(raw(kCounterStart), DebugEngine::kSwiOpcode);

    const CommandResult dumped = session->dump("$cc00", "$cc0f");
    ok(dumped);
    ASSERT_GE(dumped.lines.size(), 2u);
    EXPECT_EQ(dumped.lines[1].substr(0, 17), "$cc00 - 8e df ff ");
    const CommandResult found = session->find("$cc00", "$cc0f", "$3f");
    EXPECT_EQ(found.status, kTalkerSearchNotFound);
    ok(session->move("$cc00", "$cc02", "$c200"));
    ok(session->stop());
    EXPECT_EQ(raw(0xC200), 0x8E);
}

class TypedNumbers : public SessionRig {};

// Text that is no number is refused before any traffic: nothing is written at $0000, the
// talker's own first byte, and nothing runs.
TEST_F(TypedNumbers, thatAreNoNumbersAreRefusedWithoutTraffic)
{
    bootAndLoad("");
    const uint8_t talkerStart = raw(0x0000);
    const std::vector<std::pair<const char*, SessionCommand>> commands{
        {"set empty", [](DebugSession& s) { return s.setMemory("", "$12"); }},
        {"set letters", [](DebugSession& s) { return s.setMemory("start", "$12"); }},
        {"set value", [](DebugSession& s) { return s.setMemory("$0000", "x"); }},
        {"fill", [](DebugSession& s) { return s.fill("$0000", "", "$12"); }},
        {"move", [](DebugSession& s) { return s.move("$c000", "$c001", "dest"); }},
        {"run", [](DebugSession& s) { return s.execute(std::string("")); }},
        {"break", [](DebugSession& s) { return s.setBreakpoint("here"); }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        const CommandResult result = command(*session);
        EXPECT_FALSE(result.ok());
        EXPECT_NE(result.refusal.find("is not a number"), std::string::npos) << result.errorText();
    }
    EXPECT_EQ(raw(0x0000), talkerStart);
    EXPECT_EQ(session->runState(), RunState::Idle);
    ok(session->dump("0", "$000f")); // a typed zero is a number
}

class HeldProgram : public SessionRig {
protected:
    BreakpointHit stopped()
    {
        BreakpointHit hit;
        EXPECT_EQ(session->waitForHit(20000, {}, &hit), WaitOutcome::Stopped);
        return hit;
    }
};

// A program held at a breakpoint goes on from the breakpoint's own address: after a stop, the
// next trace begins there, and a run or trace at the address after it (where the talker holds
// the program) really starts the program.
TEST_F(HeldProgram, goesOnFromWhereItStopped)
{
    bootAndLoad("loops");
    ok(session->setBreakpoint("$c011"));
    ok(session->execute(std::string("$c000")));
    EXPECT_EQ(stopped().address, 0xC011u);
    ok(session->stop());
    const CommandResult traced = session->trace(std::nullopt);
    ok(traced);
    EXPECT_EQ(seen.texts.back(), "Beginning trace at $c011");
    EXPECT_EQ(traced.doneText, "Trace completed at $c013");

    ok(session->setBreakpoint("$c01f"));
    ok(session->execute(std::string("$c000")));
    EXPECT_EQ(stopped().address, 0xC01Fu);
    ok(session->setBreakpoint("$c022"));
    ok(session->execute(std::string("$c020"))); // the address the talker holds the program at
    EXPECT_EQ(stopped().address, 0xC022u);
    EXPECT_EQ(session->runState(), RunState::Held);
    EXPECT_EQ(*session->heldAt(), 0xC022u);
}

class IoBlock : public SessionRig {};

// The register block by name and bit; the SCI's status and data are left alone unless asked for,
// since reading them would take the byte the talker is waiting for.
TEST_F(IoBlock, isDecodedAndTheSciIsLeftAloneUnlessAskedFor)
{
    bootAndLoad("");
    const CommandResult io = session->readIoRegisters(false);
    ok(io);
    ASSERT_EQ(io.lines.size(), 59u); // 64 addresses less five unused ones
    auto lineOf = [&](const CommandResult& r, const std::string& start) {
        for (const std::string& l : r.lines)
            if (l.rfind(start, 0) == 0)
                return l;
        return std::string();
    };
    EXPECT_EQ(lineOf(io, "$102d"), "$102d SCCR2   $2c %00101100  RIE TE RE");
    EXPECT_EQ(lineOf(io, "$103c"), "$103c HPRIO   $e5 %11100101  RBOOT SMOD MDA PSEL2 PSEL0");
    EXPECT_NE(lineOf(io, "$102f").find("not read"), std::string::npos);
    EXPECT_NE(lineOf(io, "$1029").find("not read"), std::string::npos);

    const CommandResult all = session->readIoRegisters(true);
    ok(all);
    EXPECT_EQ(lineOf(all, "$102f").find("not read"), std::string::npos);
    ok(session->dump("$c000", "$c00f")); // the talker still answers
}

class WriteThenStop : public HeldProgram {};

// A program waits on a flag with a breakpoint right after the wait: the "J" it sends comes at
// once behind the echo of the byte that sets the flag. The stop must be reported where it
// happened, whatever the byte's value ($4A is the "J" itself, a doubled echo looks the same).
TEST_F(WriteThenStop, aBreakpointHitRightAfterTheWriteIsReported)
{
    bootAndLoad("");
    // $c100: ldaa $c10b / beq $c100 / nop (breakpoint) / bra *
    const uint8_t zero = 0;
    const std::vector<uint8_t> program{0xB6, 0xC1, 0x0B, 0x27, 0xFB, 0x01, 0x20, 0xFE};
    for (const char* value : {"1", "$4a"}) {
        SCOPED_TRACE(value);
        seen = Recorder{};
        ASSERT_EQ(session->memory().writeBlock(0xC100, uint32_t(program.size()), program.data()), kTalkerOk);
        ASSERT_EQ(session->memory().writeBlock(0xC10B, 1, &zero), kTalkerOk);
        ok(session->setBreakpoint("$c105"));
        ok(session->execute(std::string("$c100")));
        ok(session->setMemory("$c10b", value));
        const BreakpointHit hit = seen.stops.empty() ? stopped() : seen.stops.front();
        EXPECT_EQ(hit.kind, BreakpointHitKind::Hit);
        EXPECT_EQ(hit.address, 0xC105u);
        EXPECT_EQ(session->runState(), RunState::Held);
        ok(session->stop());
        EXPECT_EQ(raw(0xC105), 0x01) << "the program's byte is back";
    }
}
