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

// Every typed field takes the numbers its target holds: a byte 0-255, an address or a 16-bit
// register 0-$FFFF, in any length of digits. Anything else is refused before any traffic, naming
// the field and what is wrong, and nothing is written: not at $C000, not at $FFFF (where -1 or
// $10000 would wrap), not in the registers, not in the breakpoint table.
TEST_F(TypedNumbers, outOfRangeEmptyOrNoNumberIsRefusedAndWritesNothing)
{
    bootAndLoad("");
    ok(session->fill("$c000", "$c003", "$5a"));
    const uint8_t top = raw(0xFFFF);
    ok(session->readRegisters());
    const TargetRegisters registers = session->lastRegisters();
    struct Case {
        const char* name;
        SessionCommand command;
        const char* refusal; // empty: the command succeeds
    };
    const Case cases[] = {
        {"set, value over a byte", [](DebugSession& s) { return s.setMemory("$c000", "$100"); },
         "Error: the value '$100' is out of range: it takes 0-255 ($00-$ff)"},
        {"set, decimal value over a byte", [](DebugSession& s) { return s.setMemory("$c001", "#300"); },
         "Error: the value '#300' is out of range: it takes 0-255 ($00-$ff)"},
        {"set, negative address", [](DebugSession& s) { return s.setMemory("-1", "$12"); },
         "Error: the address '-1' is out of range: it takes 0-65535 ($0000-$ffff)"},
        {"set, address over $ffff", [](DebugSession& s) { return s.setMemory("$10000", "$12"); },
         "Error: the address '$10000' is out of range: it takes 0-65535 ($0000-$ffff)"},
        {"set, empty address", [](DebugSession& s) { return s.setMemory("", "$12"); },
         "Error: the address is empty; it takes 0-65535 ($0000-$ffff)"},
        {"fill, byte over 8 bits", [](DebugSession& s) { return s.fill("$c000", "$c003", "$177"); },
         "Error: the byte '$177' is out of range: it takes 0-255 ($00-$ff)"},
        {"fill, blank end", [](DebugSession& s) { return s.fill("$c000", " ", "$12"); },
         "Error: the end address is empty; it takes 0-65535 ($0000-$ffff)"},
        {"move, destination over $ffff", [](DebugSession& s) { return s.move("$c000", "$c001", "$1c000"); },
         "Error: the destination '$1c000' is out of range: it takes 0-65535 ($0000-$ffff)"},
        {"find, byte over 8 bits", [](DebugSession& s) { return s.find("$c000", "$c003", "$139"); },
         "Error: the byte '$139' is out of range: it takes 0-255 ($00-$ff)"},
        {"setreg A over a byte", [](DebugSession& s) { return s.setRegister("a", "$100"); },
         "Error: the register A '$100' is out of range: it takes 0-255 ($00-$ff)"},
        {"setreg X over 16 bits", [](DebugSession& s) { return s.setRegister("X", "%10000000000000000"); },
         "Error: the register X '%10000000000000000' is out of range: it takes 0-65535 ($0000-$ffff)"},
        {"registers window, A = $1FF", [&](DebugSession& s) {
             RegisterFields f = RegisterText::fields(registers);
             f.A = "$1FF";
             return s.writeRegisterTexts(f);
         }, "Error: the Accumulator A '$1FF' is out of range: it takes 0-255 ($00-$ff)"},
        {"registers window, empty Y", [&](DebugSession& s) {
             RegisterFields f = RegisterText::fields(registers);
             f.Y = "";
             return s.writeRegisterTexts(f);
         }, "Error: the Index Y is empty; it takes 0-65535 ($0000-$ffff)"},
        {"break -1", [](DebugSession& s) { return s.setBreakpoint("-1"); },
         "Error: the address '-1' is out of range: it takes 0-65535 ($0000-$ffff)"},
        // What fits is taken, whatever its length: leading zeros, the top of memory.
        {"find the top byte", [](DebugSession& s) { return s.find("$c000", "$c003", "#0090"); }, ""},
        {"dump to the top of memory", [](DebugSession& s) { return s.dump("$ffff", ""); }, ""},
        {"set with leading zeros", [](DebugSession& s) { return s.setMemory("$0000c004", "$00ff"); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandResult result = c.command(*session);
        if (*c.refusal) {
            EXPECT_EQ(result.refusal, c.refusal);
        } else {
            EXPECT_TRUE(result.ok()) << result.errorText();
        }
    }
    for (uint32_t a = 0xC000; a <= 0xC003; ++a)
        EXPECT_EQ(raw(a), 0x5A);
    EXPECT_EQ(raw(0xC004), 0xFF);
    EXPECT_EQ(raw(0xFFFF), top);
    EXPECT_TRUE(session->breakpoints().empty());
    EXPECT_EQ(session->runState(), RunState::Idle);
    ok(session->readRegisters());
    EXPECT_EQ(session->lastRegisters().A, registers.A);
    EXPECT_EQ(session->lastRegisters().Y, registers.Y);
}

// With the default base decimal, five-digit addresses are addresses.
TEST_F(TypedNumbers, decimalAddressesTakeFiveDigits)
{
    bootAndLoad("");
    session->setBase(kBaseDecimal);
    ok(session->setMemory("49152", "171")); // $C000
    EXPECT_EQ(raw(0xC000), 171);
    EXPECT_EQ(session->setMemory("65536", "1").refusal,
              "Error: the address '65536' is out of range: it takes 0-65535 ($0000-$ffff)");
}

// Set, fill and move cannot reach into the RAM talker's code, stack or its own pseudo-vectors;
// the interrupt slots a program installs its handlers in stay writable.
TEST_F(UserWrites, theTalkersRamIsRefusedButTheProgramsInterruptSlotsAreNot)
{
    bootAndLoad("");
    ok(session->fill("$c000", "$c00f", "$a5"));
    uint8_t talker[256];
    ASSERT_EQ(session->memory().readBlock(0, 256, talker), kTalkerOk);
    const std::pair<const char*, SessionCommand> refused[] = {
        {"set in the code", [](DebugSession& s) { return s.setMemory("$0005", "$01"); }},
        {"move to the bottom", [](DebugSession& s) { return s.move("$fff0", "$ffff", "$0000"); }},
        {"fill from the slots into the SWI slot", [](DebugSession& s) { return s.fill("$00f0", "$00f5", "$01"); }},
        {"move into the SPI slot", [](DebugSession& s) { return s.move("$c000", "$c002", "$00c7"); }},
        {"set the COP slot", [](DebugSession& s) { return s.setMemory("$00fa", "$01"); }},
    };
    for (const auto& [name, command] : refused) {
        SCOPED_TRACE(name);
        const CommandResult result = command(*session);
        EXPECT_NE(result.refusal.find("belongs to the talker in RAM"), std::string::npos) << result.errorText();
    }
    uint8_t after[256];
    ASSERT_EQ(session->memory().readBlock(0, 256, after), kTalkerOk);
    EXPECT_TRUE(std::equal(talker, talker + 256, after));
    EXPECT_EQ(session->setMemory("$0005", "$01").refusal,
              "Error: $0005 belongs to the talker in RAM ($0000-$00c9, $00f4-$00ff); nothing was written");
    // An IRQ handler's JMP, and a pulse-accumulator slot.
    ok(session->move("$c000", "$c002", "$00ee"));
    ok(session->setMemory("$00ca", "$7e"));
    EXPECT_EQ(raw(0x00EE), 0xA5);
    EXPECT_EQ(raw(0x00CA), 0x7E);
    ok(session->dump("$0000", "$00ff"));
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
