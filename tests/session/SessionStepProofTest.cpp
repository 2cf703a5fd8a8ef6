// Where the session's run control meets the breakpoint table: step out only to a return address
// it can prove, run to an address only where an instruction starts, a user's breakpoint at a
// stepped-over call's return, bytes the program wrote over our SWIs, and S19 records in the
// EEPROM, the ROM and the register block.
#include "SessionRig.h"

#include "engine/CommandTexts.h"
#include "engine/EngineNotifier.h"

#include <functional>

using CommandText::format;

namespace {

uint32_t value(const std::string& text) { return static_cast<uint32_t>(std::stoul(text.substr(1), nullptr, 16)); }

bool contains(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// At $C300: lds #$dfff; ldaa #$01; staa next; next: inca; loop: bra loop. The store lands on the
// byte after it, where a step's SWI (or a breakpoint's) sits.
const std::vector<uint8_t> kSelfWriting{0x8E, 0xDF, 0xFF, 0x86, 0x01, 0xB7, 0xC3, 0x08, 0x4C, 0x20, 0xFE};
constexpr uint32_t kSelfWritingAt = 0xC300;

} // namespace

class StepProof : public SessionRig {
protected:
    void runTo(const std::string& symbol)
    {
        ok(session->setBreakpoint(sym.at(symbol)));
        ok(session->execute(sym.at("main")));
        const BreakpointHit hit = stopped();
        ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
        ASSERT_EQ(hit.address, value(sym.at(symbol)));
    }
    void writeSelfWriting() { ok(session->writeBytes(kSelfWritingAt, kSelfWriting)); }
    static uint32_t d(const BreakpointHit& hit) { return uint32_t{hit.registers.A} << 8 | hit.registers.B; }
    // Nothing of ours is left in the program and no temporary breakpoint in the table.
    void nothingLeft()
    {
        EXPECT_TRUE(session->engine().plantedRecords().empty());
        EXPECT_TRUE(session->breakpoints().empty());
    }

    std::map<std::string, std::string> sym = symbols("recursion");
};

// Step out on the recursive sum: from a call the session saw the program make, and from frames
// it never saw enter (the routine keeps its argument on the stack above the return address).
TEST_F(StepProof, stepOutReturnsWhereTheCallerContinues)
{
    struct Case {
        const char* name;
        std::function<void()> reach;
        const char* returnsTo;
        uint32_t sum; // D at the return
    };
    const std::vector<Case> cases{
        {"traced into the call from the entry",
         [&] {
             ok(session->trace(sym.at("main"))); // lds
             for (int i = 0; i < 3; ++i)          // cli, ldab, bsr sum
                 ok(session->continueTrace());
             ASSERT_EQ(session->currentPC(), value(sym.at("sum")));
         },
         "after", 15},
        {"after its own argument was pushed (found by stepping)",
         [&] {
             runTo("recurse");
             ok(session->stepOver());
             ASSERT_EQ(stepEnded().address, value(sym.at("inner")));
         },
         "after", 15},
        {"at a recursive call, stepped over on the way", [&] { runTo("recurse"); }, "after", 15},
        {"the deepest frame", [&] { runTo("zero"); }, "inner", 0},
        {"traced into a deeper call after a run",
         [&] {
             runTo("recurse");
             ok(session->continueTrace()); // into sum for n = 4
         },
         "inner", 10},
    };
    bootAndLoad("recursion");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ok(session->loadS19(example("recursion.s19")));
        c.reach();
        seen.stops.clear();
        ok(session->stepOut());
        const BreakpointHit hit = stepEnded();
        EXPECT_EQ(hit.kind, BreakpointHitKind::StepDone);
        EXPECT_EQ(hit.address, value(sym.at(c.returnsTo)));
        EXPECT_EQ(d(hit), c.sum);
        EXPECT_EQ(session->runState(), RunState::Held);
        nothingLeft();
    }
}

// Commands that must not send the program off: refused before anything runs, or stopped where
// the search for a return gives up.
TEST_F(StepProof, stepOutAndUntilRefuseWhatTheyCannotProve)
{
    struct Case {
        const char* name;
        std::function<void()> reach;
        std::function<CommandResult()> command;
        std::string error;   // the result's error text has this
        uint32_t heldAt;     // where the program is held afterwards
    };
    const std::vector<Case> cases{
        {"step out at the top level of a program followed from its entry",
         [&] { ok(session->trace(sym.at("main"))); }, [&] { return session->stepOut(); },
         format(CommandText::kStepOutTopLevel, value(sym.at("main"))), value(sym.at("main")) + 3},
        {"step out at the top level after a run: stepping meets the program's end",
         [&] { runTo("after"); }, [&] { return session->stepOut(); }, CommandText::kNoReturnSwi,
         value(sym.at("done"))},
        {"run to $0000", [&] { ok(session->trace(sym.at("main"))); }, [&] { return session->runUntil("$0"); },
         CommandText::kUntilZero, value(sym.at("main")) + 3},
        {"run into a call's operand (the listing)", [&] { ok(session->trace(sym.at("main"))); },
         [&] { return session->runUntil("$dc07"); },
         format(CommandText::kUntilInside, 0xDC07u, 0xDC06u, CommandText::kInsideByListing),
         value(sym.at("main")) + 3},
        {"run into an operand (disassembled from where the program is held)",
         [&] {
             writeSelfWriting();
             ok(session->trace("$c300"));
         },
         [&] { return session->runUntil("$c306"); },
         format(CommandText::kUntilInside, 0xC306u, 0xC305u, format(CommandText::kInsideByDisassembly, 0xC303u).c_str()),
         0xC303},
    };
    bootAndLoad("recursion");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ok(session->loadS19(example("recursion.s19")));
        c.reach();
        const CommandResult result = c.command();
        EXPECT_FALSE(result.ok());
        EXPECT_NE(result.errorText().find(c.error), std::string::npos) << result.errorText();
        EXPECT_EQ(session->runState(), RunState::Held) << "the program ran";
        EXPECT_EQ(session->currentPC(), c.heldAt);
        nothingLeft();
        EXPECT_NE(raw(0xDC07), 0x3F);
    }
}

TEST_F(StepProof, untilAnAddressNothingVouchesForRunsWithANote)
{
    bootAndLoad("");
    writeSelfWriting();
    ok(session->trace("$c300"));
    CommandResult proven = session->runUntil("$c309"); // the disassembly from $c303 lands on it
    ok(proven);
    EXPECT_TRUE(proven.notes.empty());
    EXPECT_EQ(stopped().address, 0xC309u);

    CommandResult unproven = session->runUntil("$c400"); // never reached: the program loops
    ok(unproven);
    EXPECT_TRUE(contains(unproven.notes, format(CommandText::kUntilUnproven, 0xC400u)));
    ok(session->stop());
    nothingLeft();
}

// A user's breakpoint at the return address of a recursive call that is stepped over: a deeper
// call returns there first, and the user's breakpoint stops the program there.
TEST_F(StepProof, stepOverStopsAtTheUsersBreakpointOnTheCallsReturn)
{
    bootAndLoad("recursion");
    runTo("recurse");
    ok(session->setBreakpoint(sym.at("inner")));
    ok(session->stepOver());
    const BreakpointHit hit = stopped();
    EXPECT_EQ(hit.kind, BreakpointHitKind::Hit);
    EXPECT_EQ(hit.address, value(sym.at("inner")));
    EXPECT_EQ(d(hit), 0u) << "the deepest call returns first";
    EXPECT_EQ(session->runState(), RunState::Held);
    nothingLeft();
    EXPECT_FALSE(contains(seen.texts, EngineMessage::kHitNotInTable));
}

// A byte the program wrote over one of our SWIs is the program's: taking the SWI out keeps it.
TEST_F(StepProof, takingAnSwiOutKeepsABytesTheProgramWroteThere)
{
    struct Case {
        const char* name;
        std::function<void()> plantAndRun;
        uint32_t address;
        uint8_t expected;
        bool told;
    };
    const std::vector<Case> cases{
        {"a step's SWI on the stored-to byte",
         [&] {
             ok(session->trace("$c300"));
             ok(session->continueTrace());
             EXPECT_FALSE(session->continueTrace().ok()); // the store overwrote the step's SWI
         },
         0xC308, 0x01, true},
        {"a breakpoint on the stored-to byte",
         [&] {
             ok(session->setBreakpoint("$c308"));
             ok(session->execute("$c300"));
         },
         0xC308, 0x01, true},
        {"a breakpoint the program leaves alone",
         [&] {
             ok(session->setBreakpoint("$c309"));
             ok(session->execute("$c300"));
         },
         0xC309, 0x20, false},
    };
    bootAndLoad("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeSelfWriting();
        seen.texts.clear();
        c.plantAndRun();
        ok(session->stop());
        EXPECT_EQ(raw(c.address), c.expected);
        EXPECT_EQ(contains(seen.texts, format(EngineMessage::kProgramByteKept, c.address, 0x01u, 0x4Cu)), c.told);
        (void)session->clearBreakpoints();
        nothingLeft();
    }
}

// S19 records in the EEPROM are programmed and verified; records in ROM or the register block are
// refused by name before anything is written.
TEST_F(StepProof, s19RecordsInTheEepromRomAndRegisterBlock)
{
    struct Case {
        const char* name;
        std::vector<std::string> records;
        std::string refusal; // empty: loads and verifies
        std::vector<std::pair<uint32_t, uint8_t>> after;
    };
    const std::vector<Case> cases{
        {"EEPROM and RAM", {"S107B6001122334498", "S105C100010236"}, "",
         {{0xB600, 0x11}, {0xB603, 0x44}, {0xB604, 0xFF}, {0xC100, 0x01}}},
        {"EEPROM again, partly changed", {"S105B6023355BA"}, "", {{0xB602, 0x33}, {0xB603, 0x55}}},
        {"boot ROM", {"S104C2000138", "S104BFF0113B"},
         format(EngineMessage::kS19OverRom, 2u, 0xBFF0u, "boot ROM", 0xBF40u, 0xBFFFu), {{0xC200, 0x00}}},
        {"register block", {"S104C2100128", "S104100411D6"}, "register block", {{0xC210, 0x00}}},
    };
    BootSettings boot;
    boot.port = session->boardDevice();
    boot.talkerFile = TARVIK11_TALKER_FILE;
    boot.chipMode = ChipMode::SpecialTest;
    boot.eepromEnable = true;
    boot.readWaitMs = 1000;
    boot.base = kBaseHexadecimal;
    ok(session->boot(boot));
    const std::string path = ::testing::TempDir() + "/step-proof.s19";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::ofstream out(path);
            for (const std::string& r : c.records)
                out << r << "\n";
            out << "S9030000FC\n";
        }
        const CommandResult loaded = session->loadS19(path);
        if (c.refusal.empty()) {
            ok(loaded);
            ok(session->verifyS19(path));
        } else {
            EXPECT_FALSE(loaded.ok());
            EXPECT_NE(loaded.errorText().find(c.refusal), std::string::npos) << loaded.errorText();
        }
        for (const auto& [address, byte] : c.after)
            EXPECT_EQ(raw(address), byte) << std::hex << address;
    }
}
