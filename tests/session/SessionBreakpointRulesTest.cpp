// Breakpoints with conditions, hit counts and log messages, judged by the session at each hit,
// and breakpoints kept across hits, on the loops sample: its "sum" loop passes the breakpoint
// ten times with B = 10, 9, ... 1 and A the sum so far (0, 10, 19, ...).
#include "SessionRig.h"

#include "hc11/OpcodeTable.h"
#include "session/BreakpointRules.h"

namespace {

// Keeps the log lines too.
class LogRecorder : public Recorder {
public:
    void breakpointLogged(uint32_t, const std::string& text, bool error) override
    {
        (error ? errors : logs).push_back(text);
    }
    std::vector<std::string> logs;
    std::vector<std::string> errors;
};

// A of the loops sample when the breakpoint at "sum" sees B (the sum of 10 down to B + 1).
uint8_t sumBefore(int b) { return static_cast<uint8_t>((10 + b + 1) * (10 - b) / 2); }

} // namespace

class BreakpointRules : public SessionRig {
protected:
    void start(bool keep)
    {
        newSession();
        log = LogRecorder{};
        session->setObserver(&log);
        bootAndLoad("loops");
        session->setKeepBreakpoints(keep);
        sum = symbols("loops").at("sum");
        done = std::stoul(symbols("loops").at("done").substr(1), nullptr, 16);
    }
    // Waits for the stop that is reported (the program's own SWI is no breakpoint of the table:
    // a failed wait); false when none comes.
    bool stopped(BreakpointHit& hit)
    {
        const WaitOutcome outcome = session->waitForHit(20000, {}, &hit);
        return outcome == WaitOutcome::Stopped || (outcome == WaitOutcome::Failed && hit.kind == BreakpointHitKind::NotInTable);
    }
    LogRecorder log;
    std::string sum;
    uint32_t done = 0;
};

TEST_F(BreakpointRules, decideWhichHitStopsAndWhatIsLogged)
{
    struct Case {
        const char* name;
        BreakpointRule rule;
        bool keep;
        int stopB;            // B at the stop; 0: no hit stops, the program reaches its own SWI
        uint64_t hits;        // the rule's count afterwards (when kept)
        size_t logs;          // log lines
        const char* firstLog; // the first of them
        bool error;           // the rule could not be judged (the hit stops, the reason is told)
    };
    const Case cases[] = {
        {"condition on a register", {"B == 3", "", ""}, false, 3, 0, 0, "", false},
        {"condition kept", {"B == 3", "", ""}, true, 3, 1, 0, "", false},
        {"the fourth hit", {"", "==4", "", 0}, true, 7, 4, 0, "", false},
        {"every third hit", {"", "%3", "", 0}, true, 8, 3, 0, "", false},
        {"condition and count", {"B < 5", "2", "", 0}, true, 3, 2, 0, "", false},
        {"condition on memory that never holds", {"[total] == $37", "", ""}, false, 0, 0, 0, "", false},
        {"log message", {"", "", "B={B} A={A} at {PC - sum}"}, true, 0, 10, 10, "B=$0a A=$00 at $00", false},
        {"log from the 9th hit on", {"", ">=9", "B={b}"}, true, 0, 10, 2, "B=$02", false},
        {"a read outside memory", {"[A - 1] == 0", "", ""}, false, 10, 0, 0, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.keep);
        ok(session->setBreakpoint(sum, c.rule));
        ok(session->execute(std::string("$c000")));
        BreakpointHit hit;
        ASSERT_TRUE(stopped(hit));
        if (c.stopB > 0) {
            ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
            EXPECT_EQ(hit.registers.B, c.stopB);
            EXPECT_EQ(hit.registers.A, sumBefore(c.stopB));
        } else {
            EXPECT_EQ(hit.kind, BreakpointHitKind::NotInTable);
            EXPECT_EQ(hit.address, done);
            EXPECT_EQ(hit.registers.A, 0x37);
        }
        EXPECT_EQ(log.errors.empty(), !c.error);
        ASSERT_EQ(log.logs.size(), c.logs);
        if (c.logs > 0) {
            EXPECT_EQ(log.logs.front(), c.firstLog);
        }
        // A breakpoint that did not stop, or a kept one, is still set; a one-shot one went with its stop.
        const bool stillSet = c.keep || c.stopB == 0;
        EXPECT_EQ(session->breakpoints().size(), stillSet ? 1u : 0u);
        const auto rules = session->breakpointRules(std::stoul(sum.substr(1), nullptr, 16));
        EXPECT_EQ(rules.size(), stillSet ? 1u : 0u);
        if (c.keep && !rules.empty()) {
            EXPECT_EQ(rules[0].hits, c.hits);
        }
        ok(session->clearBreakpoints());
        EXPECT_TRUE(session->breakpointRules(std::stoul(sum.substr(1), nullptr, 16)).empty());
    }
}

// A kept breakpoint is planted again when the program goes on: continue and Execute from the
// stop reach it at the next round, not at once where the program stands.
TEST_F(BreakpointRules, keptBreakpointsStopAgainAtTheNextRound)
{
    struct Case {
        const char* name;
        bool keepSetting;
        std::function<CommandResult(DebugSession&)> resume;
        bool keptAfterResume; // the run after the first stop keeps its breakpoint
    };
    const Case cases[] = {
        {"continue that keeps", false, [](DebugSession& s) { return s.continueRun(true); }, true},
        {"plain continue with the setting on", true, [](DebugSession& s) { return s.continueRun(); }, true},
        {"Execute with the setting on", true, [](DebugSession& s) { return s.execute(std::nullopt); }, true},
        {"plain continue, one-shot", false, [](DebugSession& s) { return s.continueRun(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.keepSetting);
        ok(session->setBreakpoint(sum));
        ok(session->execute(std::string("$c000")));
        BreakpointHit hit;
        ASSERT_TRUE(stopped(hit));
        ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
        EXPECT_EQ(hit.registers.B, 10);
        if (!c.keepSetting) {
            EXPECT_TRUE(session->breakpoints().empty()); // one-shot by default
            ok(session->setBreakpoint(sum));
        }
        for (int b = 9; b >= 8; --b) {
            ok(c.resume(*session));
            ASSERT_TRUE(stopped(hit));
            if (!c.keptAfterResume) {
                EXPECT_EQ(hit.registers.B, 9);
                EXPECT_TRUE(session->breakpoints().empty());
                break;
            }
            ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
            EXPECT_EQ(hit.registers.B, b);
            EXPECT_EQ(session->breakpoints().size(), 1u);
        }
        ok(session->clearBreakpoints());
        EXPECT_EQ(raw(std::stoul(sum.substr(1), nullptr, 16)), 0x1B); // "aba": the program's own byte
    }
}

// A rule that is no rule is refused before any traffic and sets nothing; a new rule for a set
// breakpoint replaces its old one.
TEST_F(BreakpointRules, badRulesAreRefusedAndSetNothing)
{
    start(false);
    const BreakpointRule bad[] = {
        {"A ==", "", ""}, {"nosuchsymbol == 1", "", ""}, {"(A", "", ""}, {"", "often", ""},
        {"", "%0", ""},   {"", "", "A is {A +}"},        {"", "", "{zz}"}, {"", ">=-1", ""},
    };
    for (const BreakpointRule& rule : bad) {
        SCOPED_TRACE(rule.describe());
        const CommandResult result = session->setBreakpoint(sum, rule);
        EXPECT_FALSE(result.refusal.empty());
        EXPECT_TRUE(session->breakpoints().empty());
    }
    ok(session->setBreakpoint(sum, {"B == 4", "", ""}));
    ok(session->setBreakpoint(sum, {"B == 2", "", ""}));
    EXPECT_EQ(session->breakpoints().size(), 1u);
    EXPECT_EQ(session->breakpointRules(std::stoul(sum.substr(1), nullptr, 16)).at(0).condition, "B == 2");
    EXPECT_FALSE(session->setBreakpoint(sum, {"B ==", "", ""}).ok()); // the old rule stays
    EXPECT_EQ(session->breakpointRules(std::stoul(sum.substr(1), nullptr, 16)).at(0).condition, "B == 2");
    ok(session->execute(std::string("$c000")));
    BreakpointHit hit;
    ASSERT_TRUE(stopped(hit));
    EXPECT_EQ(hit.registers.B, 2);
}

TEST(BreakpointWords, splitTheAddressFromItsRules)
{
    struct Case {
        std::vector<std::string> words;
        const char* address; // nullptr: refused
        BreakpointRule rule;
    };
    const Case cases[] = {
        {{"$c000"}, "$c000", {}},
        {{"sum", "if", "B", "==", "3"}, "sum", {"B == 3", "", ""}},
        {{"sum", "hits", ">=4", "if", "A==2"}, "sum", {"A==2", ">=4", ""}},
        {{"x.s:12", "log", "A is {A}", "if", "[$c400] > 3"}, "x.s:12", {"[$c400] > 3", "", "A is {A}"}},
        {{"sum", "if"}, nullptr, {}},
        {{"sum", "if", "hits", "3"}, nullptr, {}},
        {{"sum", "hits", "3", "hits", "4"}, nullptr, {}},
        {{"sum", "when", "A"}, nullptr, {}},
        {{}, nullptr, {}},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto words = parseBreakpointWords(c.words, error);
        SCOPED_TRACE(c.words.empty() ? "(none)" : c.words[0]);
        if (!c.address) {
            EXPECT_FALSE(words);
            EXPECT_FALSE(error.empty());
            continue;
        }
        ASSERT_TRUE(words) << error;
        EXPECT_EQ(words->address, c.address);
        EXPECT_EQ(words->rule.condition, c.rule.condition);
        EXPECT_EQ(words->rule.hitCondition, c.rule.hitCondition);
        EXPECT_EQ(words->rule.logMessage, c.rule.logMessage);
    }
}

// A program that stops at no breakpoint of ours is shown where it stopped: at its own SWI, or on
// the illegal opcode that trapped (the chip stacks that opcode's own address, not the next one).
TEST_F(BreakpointRules, aStopAtNoBreakpointIsShownOnTheInstructionThatStopped)
{
    static_assert(opcodes::kPage1[0x41].flow == FlowKind::Undefined);
    struct Case {
        const char* name;
        uint8_t stopper;    // at $c002, after two NOPs
        bool call;          // started by Call Subroutine (no breakpoints), else by a run
        bool breakpoint;    // one is planted elsewhere ($c010)
        BreakpointHitKind kind;
    };
    const Case cases[] = {
        {"illegal opcode in a call", 0x41, true, false, BreakpointHitKind::Stopped},
        {"illegal opcode in a run", 0x41, false, false, BreakpointHitKind::NotInTable},
        {"illegal opcode, breakpoints planted", 0x41, false, true, BreakpointHitKind::NotInTable},
        {"the program's SWI in a call", 0x3F, true, false, BreakpointHitKind::Stopped},
        {"the program's SWI, breakpoints planted", 0x3F, false, true, BreakpointHitKind::NotInTable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(false);
        ok(session->writeBytes(0xC000, {0x01, 0x01, c.stopper, 0x01}));
        if (c.breakpoint)
            ok(session->setBreakpoint("$c010"));
        BreakpointHit hit;
        if (c.call) {
            ok(session->callSubroutine(std::string("$c000")));
            ASSERT_TRUE(talkerSpoke());
            session->pollFreeRunningStop();
            ASSERT_FALSE(log.stops.empty());
            hit = log.stops.back();
        } else {
            ok(session->execute(std::string("$c000")));
            ASSERT_TRUE(stopped(hit));
        }
        EXPECT_EQ(hit.kind, c.kind);
        EXPECT_EQ(hit.address, 0xC002u);
        EXPECT_EQ(hit.registers.PC, 0xC002u);
        EXPECT_EQ(session->stoppedPC(), std::optional<uint32_t>(0xC002));
        ok(session->stop());
    }
}
