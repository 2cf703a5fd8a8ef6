// Under each kind of line fault every operation ends with a status; once the fault has ended,
// booting the talker again (the 257-byte download) gives a fully working session.
#include "FaultSweep.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class UnderFault : public ::testing::TestWithParam<const char*> {};

// Operations of every kind, run one after another whatever each returns.
std::vector<TalkerStatus> mixedOperations(SampleTarget& t)
{
    DebugEngine& e = t.engine;
    std::vector<TalkerStatus> out;
    Bytes bytes;
    TargetRegisters r;
    const Bytes pattern{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    out.push_back(t.session.read(0xC000, 64, &bytes));
    out.push_back(t.session.memory.writeBlock(0xC100, static_cast<uint32_t>(pattern.size()), pattern.data()));
    out.push_back(t.session.link.readRegisters(r));
    out.push_back(e.setBreakpoint(SampleTarget::kLoopsFill));
    out.push_back(e.execute(SampleTarget::kLoops, true));
    for (int i = 0; i < 20; ++i) {
        const BreakpointHit hit = e.pollBreakpointHit();
        if (hit.kind != BreakpointHitKind::None) {
            out.push_back(hit.status);
            break;
        }
    }
    out.push_back(e.stop());
    out.push_back(e.traceStep(t.flow("flow")));
    out.push_back(e.traceStep(e.currentPC));
    out.push_back(e.loadS19(SampleTarget::example("flow.s19")));
    out.push_back(e.verifyS19(SampleTarget::example("flow.s19")));
    out.push_back(e.callSubroutine(t.flow("sub_e")));
    out.push_back(e.execute(SampleTarget::kCounter, true));
    out.push_back(e.stop());
    out.push_back(t.clearBreakpoints());
    return out;
}

TEST_P(UnderFault, EveryOperationEndsAndANewBootWorksFully)
{
    TempDir dir;
    SampleTarget t(dir.path(), {});
    std::string error;
    ASSERT_TRUE(t.prepare(&error)) << error;
    t.session.port.readWaitMs = 40;
    t.engine.traceWaitMs = 40;

    t.session.setFaults({faultOf(GetParam())}, 11);
    const std::vector<TalkerStatus> statuses = mixedOperations(t);
    const LineFaults::Stats stats = t.session.board().faultStats();
    t.session.setFaults({});
    EXPECT_GT(stats.total(), 0u) << "the fault never struck";
    for (TalkerStatus s : statuses)
        EXPECT_TRUE(s >= 0 && s <= kTalkerTraceFailed) << s;

    // The user boots again once the line is good (a second try if a character was in flight at RESET).
    t.session.port.readWaitMs = 1000;
    t.engine.traceWaitMs = 1000;
    const TalkerStatus boot = t.session.bootRam(2);
    ASSERT_EQ(boot, kTalkerOk) << talkerStatusText(boot);
    EXPECT_TRUE(t.nothingPlanted());

    // A fully working session: the samples loaded afresh, memory, registers, a run, a trace.
    DebugEngine& e = t.engine;
    for (const char* name : {"loops.s19", "counter.s19", "flow.s19"}) {
        ASSERT_EQ(e.loadS19(SampleTarget::example(name)), kTalkerOk) << name;
        EXPECT_EQ(e.verifyS19(SampleTarget::example(name)), kTalkerOk) << name;
    }
    const Bytes pattern{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Bytes back;
    ASSERT_EQ(t.session.memory.writeBlock(0xC200, static_cast<uint32_t>(pattern.size()), pattern.data()), kTalkerOk);
    ASSERT_EQ(t.session.read(0xC200, pattern.size(), &back), kTalkerOk);
    EXPECT_EQ(back, pattern);
    ASSERT_EQ(t.clearBreakpoints(), kTalkerOk);
    ASSERT_EQ(e.setBreakpoint(SampleTarget::kLoopsOuter), kTalkerOk);
    ASSERT_EQ(e.execute(SampleTarget::kLoops, true), kTalkerOk);
    BreakpointHit hit;
    for (int i = 0; i < 500 && hit.kind == BreakpointHitKind::None; ++i) {
        hit = e.pollBreakpointHit();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(hit.kind, BreakpointHitKind::Hit);
    EXPECT_EQ(hit.address, SampleTarget::kLoopsOuter);
    ASSERT_EQ(e.stop(), kTalkerOk);
    ASSERT_EQ(e.traceStep(t.flow("flow")), kTalkerOk);
    ASSERT_EQ(e.traceStep(e.currentPC), kTalkerOk);
    EXPECT_EQ(e.currentPC, t.flow("f_pre18"));
    const SampleTarget::Damage d = t.damage();
    EXPECT_TRUE(d.differing.empty()) << d.differing.size() << " code bytes differ";
    EXPECT_TRUE(t.nothingPlanted());
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnderFault,
                         ::testing::Values("drop,p=0.02", "garble,p=0.02", "duplicate,p=0.02",
                                           "delay,p=0.1,ms=30", "outage,every=150,ms=120", "reset,every=60"),
                         [](const auto& info) {
                             const std::string text = info.param;
                             return text.substr(0, text.find(','));
                         });

} // namespace
