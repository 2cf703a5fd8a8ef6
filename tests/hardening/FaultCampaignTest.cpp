// The fault campaign's judge: each kind of wrong success a session can report must be noticed,
// and what a session may rightly do must not be. (The campaign itself runs as a CTest entry of
// tarvik11-soak.)
#include "FaultCampaign.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

struct JudgeCase {
    const char* name;
    // Commands in order: line, success, printed text, whether the talker had gone.
    std::vector<std::tuple<std::string, bool, std::string, bool>> commands;
    size_t wrong;          // wrong successes the judge must find
    size_t brokenPromises; // writes that must be missing when the RAM reads back as it started
};

TEST(CampaignJudgeTest, findsEveryKindOfWrongSuccessAndNothingElse)
{
    const CampaignScenario scenario{"hit", {}, {0xC011}};
    const std::string dumpOfZeros = "       .00.01\n$c000 - 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ....\n";
    const std::string dumpWithSwi = "$c000 - 00 3f 00 00 00 00 00 00 00 00 00 00 00 00 00 00 .?..\n";
    const JudgeCase cases[] = {
        {"a clean session", {{"boot", true, "", false}, {"dump $c000 $c00f", true, dumpOfZeros, false},
                             {"wait 10", true, "Breakpoint reached at $c011\n", false}}, 0, 0},
        {"a dump that shows a byte the target does not hold",
         {{"boot", true, "", false}, {"dump $c000 $c00f", true, dumpWithSwi, false}}, 1, 0},
        {"after a failed boot, every talker command that succeeds is wrong",
         {{"boot", false, "", false}, {"regs", true, "", false}, {"dump $c000 $c00f", true, dumpOfZeros, false},
          {"break $c011", true, "", false}, {"set $c000 $12", false, "", false}}, 2, 0},
        {"after a RESET the same", {{"boot", true, "", false}, {"regs", true, "", false}, {"stop", true, "", true}}, 1, 0},
        {"a hit at the wrong address", {{"boot", true, "", false}, {"wait 10", true, "Breakpoint reached at $c01b", false}},
         1, 0},
        {"a write reported done that is not there", {{"boot", true, "", false}, {"set $c004 $a5", true, "", false}}, 0, 1},
        {"a failed write may or may not be there", {{"boot", true, "", false}, {"fill $c000 $c003 $77", false, "", false}},
         0, 0},
        {"a dump after a write shows the written byte",
         {{"boot", true, "", false}, {"set $c001 $3f", true, "", false}, {"dump $c000 $c00f", true, dumpWithSwi, false}},
         0, 1},
    };
    const Bytes zeros(0x8000, 0);
    for (const JudgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        CampaignJudge judge(zeros, scenario);
        int index = 0;
        for (const auto& [line, ok, text, gone] : c.commands)
            judge.command(index++, line, ok, text, gone);
        EXPECT_EQ(judge.wrong.size(), c.wrong);
        TargetModel::Findings found;
        judge.model.compare(0x8000, zeros, found);
        EXPECT_EQ(found.brokenPromises.size(), c.brokenPromises);
    }
}

// A campaign of a few dozen sessions must reach every ending, every fault kind both ways, single
// and random faults, and faults in the boot's download; the same seed plans the same campaign,
// and every ending and fault lands inside the traffic it is meant for.
TEST(CampaignPlanTest, aShortCampaignCoversEveryEndingFaultAndDirection)
{
    const std::vector<uint64_t> traffic{1257, 810, 2438, 970};
    std::set<std::string> seen;
    for (uint64_t i = 0; i < 36; ++i) {
        const CampaignSession s = planSession(3, i, traffic);
        const CampaignSession again = planSession(3, i, traffic);
        EXPECT_EQ(s.label(), again.label());
        ASSERT_LT(s.scenario, traffic.size());
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(FaultRule::parse(s.fault, &rule, &error)) << s.fault << ": " << error;
        seen.insert(sessionEndName(s.end));
        seen.insert(s.fault.substr(0, s.fault.find(',')));
        seen.insert(s.fault.substr(s.fault.find("dir=")));
        seen.insert(s.fault.find("p=") != std::string::npos ? "random" : "single");
        if (!s.romBoot)
            seen.insert("download");
        EXPECT_GE(s.endAtByte, 1u);
        EXPECT_LE(s.endAtByte, traffic[s.scenario] + 600);
    }
    for (const char* wanted : {"exit", "SIGINT", "SIGTERM", "SIGHUP", "RESET", "board killed", "drop", "garble",
                               "duplicate", "dir=to-board", "dir=to-host", "random", "single", "download"})
        EXPECT_EQ(seen.count(wanted), 1u) << "never planned: " << wanted;
}

} // namespace
