// Target data safety: faults at steps of each operation, then a boot, then the samples' code
// must be as loaded with nothing left planted, and the operation must work again.
#include "FaultSweep.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

namespace {

// Runs of each scenario per fault pattern here; tarvik11-soak takes every byte.
constexpr uint64_t kRunsPerSweep = 3;

class SafetyTarget : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir_.path().empty());
        target_ = std::make_unique<SampleTarget>(dir_.path(), BoardSession::Options{});
        std::string error;
        ASSERT_TRUE(target_->prepare(&error)) << error;
    }
    void expectClean(const SweepFigures& f)
    {
        std::string notes;
        for (const auto& n : f.notes)
            notes += "\n  " + n;
        EXPECT_TRUE(f.clean()) << f.text() << notes;
        EXPECT_EQ(f.straySwis, 0u) << notes;
    }

    TempDir dir_;
    std::unique_ptr<SampleTarget> target_;
};

struct SweepCase {
    size_t scenario;
    const char* pattern;
};

class FaultAtEveryStep : public SafetyTarget, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(FaultAtEveryStep, LeavesNoSwiBehindAndTheOperationWorksAgain)
{
    const Scenario scenario = standardScenarios().at(GetParam().scenario);
    FaultSweep sweep(*target_, 40, 1000);
    const uint64_t bytes = sweep.measure(scenario);
    ASSERT_GT(bytes, 0u) << scenario.name << " fails without faults";
    // Spread the runs over the operation, starting inside its first command.
    const uint64_t stride = std::max<uint64_t>(1, bytes / kRunsPerSweep);
    const SweepFigures f = sweep.sweep(scenario, GetParam().pattern, 3, stride);
    EXPECT_GE(f.operations, std::min<uint64_t>(bytes - 2, kRunsPerSweep));
    EXPECT_GT(f.faults, 0u);
    expectClean(f);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, FaultAtEveryStep,
    ::testing::Values(SweepCase{0, "outage,after=K,ms=600000"}, SweepCase{0, "reset,after=K"},
                      SweepCase{1, "outage,after=K,ms=600000"}, SweepCase{1, "reset,after=K"},
                      SweepCase{2, "outage,after=K,ms=600000"}, SweepCase{2, "reset,after=K"},
                      SweepCase{3, "outage,after=K,ms=600000"}, SweepCase{3, "reset,after=K"}),
    [](const auto& info) {
        return "Scenario" + std::to_string(info.param.scenario) +
               (std::string(info.param.pattern).rfind("outage", 0) == 0 ? "Outage" : "Reset");
    });

// SWIs that a failed operation left planted outside a run are written back by whatever runs
// the target next, so it never meets them; a trace at such an address steps the real instruction.
TEST_F(SafetyTarget, LeftoverSwisAreWrittenBackBeforeTheTargetRuns)
{
    SampleTarget& t = *target_;
    DebugEngine& e = t.engine;
    const uint32_t nop = t.flow("f_nop");
    struct Case {
        const char* name;
        std::function<TalkerStatus()> next;
    };
    const Case cases[] = {
        {"trace", [&] { return e.traceStep(nop); }},
        {"execute without breakpoints", [&] { return e.execute(SampleTarget::kCounter, false); }},
        {"call subroutine", [&] { return e.callSubroutine(t.flow("sub_e")); }},
        {"S19 load", [&] { return e.loadS19(SampleTarget::example("loops.s19")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(t.session.bootRom(), kTalkerOk);
        ASSERT_EQ(t.clearBreakpoints(), kTalkerOk);
        ASSERT_EQ(e.setBreakpoint(nop), kTalkerOk);
        ASSERT_EQ(e.setBreakpoint(SampleTarget::kLoopsFill), kTalkerOk);
        ASSERT_EQ(e.plantBreakpoints(), kTalkerOk);
        // As a hit whose restore failed leaves it: no longer running, SWIs still planted.
        e.running = 0;
        EXPECT_EQ(c.next(), kTalkerOk);
        EXPECT_TRUE(t.nothingPlanted());
        if (std::string(c.name) == "trace") {
            EXPECT_EQ(e.currentPC, nop + 1) << "the NOP under the SWI was stepped";
        }
        (void)e.stop();
        const auto d = t.damage();
        EXPECT_TRUE(d.differing.empty()) << d.differing.size() << " first $" << std::hex << (d.differing.empty() ? 0 : d.differing[0]);
    }
}

// A load while a program runs with breakpoints planted in the loaded area: the new bytes are
// what the breakpoints give back, and a verify sees the file's bytes under the SWIs.
TEST_F(SafetyTarget, LoadWhileRunningKeepsTheNewCodeUnderTheBreakpoints)
{
    SampleTarget& t = *target_;
    DebugEngine& e = t.engine;
    // loops.s19 with the instruction at "fill" (STAB 0,X = $E7 $00) changed to LDAB 0,X ($E6 $00).
    std::ifstream in(SampleTarget::example("loops.s19"));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const MemoryImage original = spanOf(readS19Images(SampleTarget::example("loops.s19")), 0);
    ASSERT_EQ(original.bytes.at(SampleTarget::kLoopsFill - original.address), 0xE7);
    const std::string changed = dir_.file("changed.s19");
    {
        // Rewrite the one record holding "fill", with its checksum.
        std::ofstream out(changed);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            const uint32_t address = static_cast<uint32_t>(std::stoul(line.substr(4, 4), nullptr, 16));
            const size_t count = std::stoul(line.substr(2, 2), nullptr, 16);
            if (line[1] == '1' && SampleTarget::kLoopsFill >= address && SampleTarget::kLoopsFill < address + count - 3) {
                const size_t at = 8 + 2 * (SampleTarget::kLoopsFill - address);
                ASSERT_EQ(line.substr(at, 2), "E7");
                line.replace(at, 2, "E6");
                unsigned sum = 0;
                for (size_t i = 2; i + 2 < line.size(); i += 2)
                    sum += static_cast<unsigned>(std::stoul(line.substr(i, 2), nullptr, 16));
                char checksum[3];
                std::snprintf(checksum, sizeof checksum, "%02X", (~sum) & 0xFF);
                line.replace(line.size() - 2, 2, checksum);
            }
            out << line << "\n";
        }
    }
    ASSERT_EQ(t.clearBreakpoints(), kTalkerOk);
    ASSERT_EQ(e.setBreakpoint(SampleTarget::kLoopsFill), kTalkerOk);
    ASSERT_EQ(e.execute(SampleTarget::kCounter, true), kTalkerOk);
    ASSERT_EQ(e.loadS19(changed), kTalkerOk);
    Bytes now;
    ASSERT_EQ(t.session.read(SampleTarget::kLoopsFill, 1, &now), kTalkerOk);
    EXPECT_EQ(now, Bytes{DebugEngine::kSwiOpcode}) << "the breakpoint stays planted";
    EXPECT_EQ(e.verifyS19(changed), kTalkerOk) << "our SWI counts as the byte it displaces";
    EXPECT_EQ(e.verifyS19(SampleTarget::example("loops.s19")), kTalkerS19Mismatch);
    ASSERT_EQ(e.stop(), kTalkerOk);
    ASSERT_EQ(t.session.read(SampleTarget::kLoopsFill, 1, &now), kTalkerOk);
    EXPECT_EQ(now, Bytes{0xE6}) << "the stop gave back the loaded byte, not the one before the load";
    EXPECT_EQ(e.verifyS19(changed), kTalkerOk);
}

} // namespace
