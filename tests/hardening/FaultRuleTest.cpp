#include "sim/FaultRule.h"
#include "sim/LineFaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Clock = LineFaults::Clock;
using namespace std::chrono_literals;

TEST(FaultRule, ParsesEveryKindAndWritesItBack)
{
    struct Case {
        const char* text;
        FaultKind kind;
        FaultDirection direction;
        const char* canonical;
    };
    const Case cases[] = {
        {"drop,p=0.01", FaultKind::Drop, FaultDirection::Both, "drop,p=0.01"},
        {"garble,dir=to-host,p=1", FaultKind::Garble, FaultDirection::ToHost, "garble,p=1,dir=to-host"},
        {"duplicate,after=17,dir=to-board", FaultKind::Duplicate, FaultDirection::ToBoard,
         "duplicate,after=17,dir=to-board"},
        {"delay,p=0.5,ms=30", FaultKind::Delay, FaultDirection::Both, "delay,p=0.5,ms=30"},
        {"outage,ms=300,after=500", FaultKind::Outage, FaultDirection::Both, "outage,after=500,ms=300"},
        {"reset,every=2000,count=3", FaultKind::Reset, FaultDirection::Both, "reset,every=2000,count=3"},
    };
    for (const Case& c : cases) {
        FaultRule spec;
        std::string error;
        ASSERT_TRUE(FaultRule::parse(c.text, &spec, &error)) << c.text << ": " << error;
        EXPECT_EQ(spec.kind, c.kind) << c.text;
        EXPECT_EQ(spec.direction, c.direction) << c.text;
        EXPECT_EQ(spec.text(), c.canonical);
        FaultRule again;
        EXPECT_TRUE(FaultRule::parse(spec.text(), &again, &error)) << error;
    }
}

TEST(FaultRule, RejectsBadTextsNamingTheFault)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "unknown kind"},
        {"lose,p=0.1", "unknown kind 'lose'"},
        {"drop", "exactly one of"},
        {"drop,p=0.1,after=3", "exactly one of"},
        {"drop,p=0", "bad p"},
        {"drop,p=1.5", "bad p"},
        {"drop,p=nan", "bad p"},
        {"drop,p=0.1x", "bad p"},
        {"drop,after=0", "bad after"},
        {"drop,after=-1", "bad after"},
        {"drop,after=99999999999999999999999", "bad after"},
        {"drop,every=", "bad every"},
        {"drop,p=0.1,count=0", "bad count"},
        {"drop,p=0.1,dir=up", "bad dir"},
        {"drop,p=0.1,p=0.2", "given twice"},
        {"drop,p=0.1,", "empty setting"},
        {"drop,", "empty setting"},
        {"drop,p", "not key=value"},
        {"drop,p=0.1,speed=2", "unknown setting 'speed'"},
        {"delay,p=0.1", "needs ms="},
        {"outage,after=3,ms=600001", "bad ms"},
        {"reset,after=3,ms=5", "takes no ms="},
        {std::string("drop,p=0.1\0x", 12), "bad p"},
    };
    for (const auto& [text, reason] : cases) {
        FaultRule spec;
        spec.limit = 77;
        std::string error;
        EXPECT_FALSE(FaultRule::parse(text, &spec, &error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << " -> " << error;
        EXPECT_EQ(error.rfind("bad fault '", 0), 0u) << error;
        EXPECT_EQ(spec.limit, 77u) << "a rejected text leaves the rule alone: " << text;
    }
}

FaultRule spec(const char* text)
{
    FaultRule s;
    std::string error;
    EXPECT_TRUE(FaultRule::parse(text, &s, &error)) << error;
    return s;
}

// The verdicts for n bytes (value i) crossing in one direction, one millisecond apart.
std::vector<LineFaults::Verdict> run(LineFaults& faults, FaultDirection d, int n, Clock::time_point t0)
{
    std::vector<LineFaults::Verdict> out;
    for (int i = 0; i < n; ++i)
        out.push_back(faults.pass(d, static_cast<uint8_t>(i), t0 + std::chrono::milliseconds(i)));
    return out;
}

TEST(LineFaults, CountedTriggersFireAtTheirBytesOnly)
{
    const Clock::time_point t0{};
    LineFaults faults({spec("drop,after=3,dir=to-board"), spec("duplicate,every=4,count=2"),
                       spec("reset,after=2,dir=to-host")},
                      1);
    const auto toBoard = run(faults, FaultDirection::ToBoard, 12, t0 + 1s);
    std::vector<int> counts;
    for (const auto& v : toBoard) {
        counts.push_back(v.count);
        EXPECT_FALSE(v.reset);
    }
    // Third byte dropped; fourth and eighth duplicated; count=2 ends the duplicates.
    EXPECT_EQ(counts, (std::vector<int>{1, 1, 0, 2, 1, 1, 1, 2, 1, 1, 1, 1}));
    const auto toHost = run(faults, FaultDirection::ToHost, 3, t0 + 2s);
    EXPECT_FALSE(toHost[0].reset);
    EXPECT_TRUE(toHost[1].reset);
    EXPECT_EQ(toHost[1].count, 1) << "the byte that resets the board still crosses";
    const LineFaults::Stats s = faults.stats();
    EXPECT_EQ(s.injected[size_t(FaultKind::Drop)], 1u);
    EXPECT_EQ(s.injected[size_t(FaultKind::Duplicate)], 2u);
    EXPECT_EQ(s.injected[size_t(FaultKind::Reset)], 1u);
    EXPECT_EQ(s.bytesToBoard, 12u);
    EXPECT_EQ(s.bytesToHost, 3u);
    EXPECT_EQ(s.damagedToBoard, 3u) << "one dropped, two doubled; a reset damages nothing";
}

TEST(LineFaults, OutageSilencesBothWaysForItsTimeAndEndsWithTheFaults)
{
    const Clock::time_point t0 = Clock::time_point{} + 10s;
    LineFaults faults({spec("outage,after=2,ms=50,dir=to-host")}, 1);
    EXPECT_EQ(faults.pass(FaultDirection::ToBoard, 1, t0).count, 1) << "to-board bytes do not count";
    EXPECT_EQ(faults.pass(FaultDirection::ToHost, 1, t0).count, 1);
    EXPECT_EQ(faults.pass(FaultDirection::ToHost, 2, t0).count, 0) << "the second byte starts it";
    EXPECT_EQ(faults.pass(FaultDirection::ToBoard, 3, t0 + 49ms).count, 0);
    EXPECT_EQ(faults.pass(FaultDirection::ToHost, 4, t0 + 49ms).count, 0);
    EXPECT_EQ(faults.pass(FaultDirection::ToBoard, 5, t0 + 50ms).count, 1);
    EXPECT_EQ(faults.stats().lostInOutage, 2u);
    EXPECT_EQ(faults.stats().damagedToBoard, 0u) << "an outage's bytes are counted as lost in it";

    faults.set({spec("outage,p=1,ms=1000")}, 1);
    EXPECT_EQ(faults.pass(FaultDirection::ToBoard, 1, t0).count, 0);
    EXPECT_FALSE(faults.quiet());
    faults.set({}, 1);
    EXPECT_TRUE(faults.quiet());
    EXPECT_EQ(faults.pass(FaultDirection::ToBoard, 1, t0 + 1ms).count, 1) << "ending the faults ends the outage";
    EXPECT_EQ(faults.stats().total(), 0u);
}

TEST(LineFaults, RandomFaultsRepeatWithTheSeedAndKeepTheirRates)
{
    const Clock::time_point t0 = Clock::time_point{} + 1s;
    const std::vector<FaultRule> specs{spec("garble,p=0.1"), spec("delay,p=0.05,ms=20"), spec("drop,p=0.02")};
    auto signature = [&](uint64_t seed) {
        LineFaults faults(specs, seed);
        std::vector<int> out;
        for (const auto& v : run(faults, FaultDirection::ToBoard, 5000, t0)) {
            out.push_back(v.count == 0 ? -1 : v.bytes[0]);
            out.push_back(v.holdUntil != Clock::time_point{});
        }
        return std::make_pair(out, faults.stats());
    };
    const auto [a, statsA] = signature(7);
    const auto [b, statsB] = signature(7);
    const auto [c, statsC] = signature(8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    // 5000 bytes: each rate within a wide band around its expectation.
    EXPECT_NEAR(double(statsA.injected[size_t(FaultKind::Garble)]), 500, 100);
    EXPECT_NEAR(double(statsA.injected[size_t(FaultKind::Delay)]), 250, 75);
    EXPECT_NEAR(double(statsA.injected[size_t(FaultKind::Drop)]), 100, 50);

    // A garbled byte always differs from the one sent; a delayed one is held for its time.
    LineFaults faults({spec("garble,p=1"), spec("delay,p=1,ms=20")}, 3);
    for (int i = 0; i < 256; ++i) {
        const auto v = faults.pass(FaultDirection::ToHost, static_cast<uint8_t>(i), t0);
        EXPECT_NE(v.bytes[0], i);
        EXPECT_EQ(v.holdUntil, t0 + 20ms);
    }
    EXPECT_EQ(faults.stats().damagedToBoard, 0u) << "damage on the way to the host";
    faults.pass(FaultDirection::ToBoard, 0x41, t0);
    EXPECT_EQ(faults.stats().damagedToBoard, 1u);
}

} // namespace
