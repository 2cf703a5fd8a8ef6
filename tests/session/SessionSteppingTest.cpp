// Step over, step out, run to an address and continue, on a program that calls itself with
// interrupts enabled (the talker's SCI interrupt comes in while it runs).
#include "SessionRig.h"

#include "engine/CommandTexts.h"

namespace {

uint32_t value(const std::string& text) { return static_cast<uint32_t>(std::stoul(text.substr(1), nullptr, 16)); }

} // namespace

class Stepping : public SessionRig {
protected:
    // Runs from main to the breakpoint at the symbol.
    void runTo(const std::string& symbol)
    {
        ok(session->setBreakpoint(sym.at(symbol)));
        ok(session->execute(sym.at("main")));
        const BreakpointHit hit = stopped();
        ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
        ASSERT_EQ(hit.address, value(sym.at(symbol)));
    }
    uint32_t d(const BreakpointHit& hit) const { return uint32_t{hit.registers.A} << 8 | hit.registers.B; }

    std::map<std::string, std::string> sym = symbols("recursion");
};

// Stepping over the call that recursion re-enters stops only when this depth's call returns:
// deeper calls come back to the same address first, with the stack pointer lower.
TEST_F(Stepping, overARecursiveCallStopsWhenThisDepthReturns)
{
    bootAndLoad("recursion");
    runTo("recurse"); // depth 1: n = 5, calling for n = 4
    ok(session->stepOver());
    const BreakpointHit hit = stopped();
    EXPECT_EQ(hit.kind, BreakpointHitKind::StepDone);
    EXPECT_EQ(hit.address, value(sym.at("inner")));
    EXPECT_EQ(d(hit), 10u) << "stopped at a deeper return"; // 4 + 3 + 2 + 1
    EXPECT_TRUE(session->breakpoints().empty()) << "the temporary breakpoint is gone";
    EXPECT_EQ(session->currentPC(), value(sym.at("inner")));

    // An instruction that calls nothing is one trace step.
    const CommandResult step = session->stepOver();
    ok(step);
    EXPECT_EQ(step.doneText, CommandText::format(CommandText::kTraceDone, value(sym.at("inner")) + 1));
}

TEST_F(Stepping, aBreakpointInsideTheCalledRoutineStopsFirst)
{
    bootAndLoad("recursion");
    ok(session->setBreakpoint(sym.at("zero")));
    ok(session->trace(sym.at("main"))); // lds
    ok(session->stepOver());            // cli: one step
    ok(session->stepOver());            // ldab
    ok(session->stepOver());            // bsr sum: the breakpoint at "zero" comes first
    const BreakpointHit hit = stopped();
    EXPECT_EQ(hit.kind, BreakpointHitKind::Hit);
    EXPECT_EQ(hit.address, value(sym.at("zero")));
    EXPECT_TRUE(session->breakpoints().empty()) << "the hit breakpoint and the temporary one are gone";
}

TEST_F(Stepping, outOfTheDeepestCallAndOnToAnAddress)
{
    bootAndLoad("recursion");
    runTo("zero"); // the deepest call, n = 0
    ok(session->stepOut());
    BreakpointHit hit = stepEnded();
    EXPECT_EQ(hit.kind, BreakpointHitKind::StepDone);
    EXPECT_EQ(hit.address, value(sym.at("inner")));
    EXPECT_EQ(d(hit), 0u); // the sum for n = 0, about to add n = 1

    ok(session->runUntil(sym.at("done")));
    hit = stopped();
    EXPECT_EQ(hit.kind, BreakpointHitKind::StepDone);
    EXPECT_EQ(hit.address, value(sym.at("done")));
    EXPECT_EQ(d(hit), 15u);
}

TEST_F(Stepping, continueStepsOffTheBreakpointWhereItStopped)
{
    bootAndLoad("recursion");
    runTo("sum"); // n = 5
    ok(session->setBreakpoint(sym.at("sum"))); // the same place again: the next depth's entry
    ok(session->continueRun());
    const BreakpointHit hit = stopped();
    EXPECT_EQ(hit.kind, BreakpointHitKind::Hit);
    EXPECT_EQ(hit.address, value(sym.at("sum")));
    EXPECT_EQ(hit.registers.B, 4) << "stopped again where it was instead of moving on";
}
