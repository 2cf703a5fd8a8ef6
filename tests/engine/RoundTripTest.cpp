// Round trips per command, counted on the host side of the line: behind a USB-serial adapter
// each one costs up to a latency-timer period, so they, not the baud rate, set the speed.
// Printed for our talker's checked mode and for the plain protocol (the same talker booted
// without it), and held to what checked mode is built to need.
#include "EngineRig.h"
#include "BoardRig.h"
#include "RoundTripCounter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kProgram = 0xD010;
constexpr uint32_t kFlag = 0xD1A5;

// On the in-memory line on virtual time: round trips are counted, not timed.
struct CountedRig {
    std::unique_ptr<VirtualBoard> board = startedBoardOnVirtualTime();
    BoardChannel channel{*board->memoryLine()};
    RoundTripCounter line{channel};
    TalkerLink link{line};
    TargetMemory memory{link};
    DebugEngine engine{link, memory};

    explicit CountedRig(bool checked)
    {
        line.readWaitMs = 1000;
        engine.traceWaitMs = 5000;
        engine.extendedMode = checked;
        EXPECT_EQ(engine.startTalker("board", TalkerType::Ram, TARVIK11_TALKER_FILE,
                                     ChipMode::SpecialTest, 1),
                  kTalkerOk);
        EXPECT_EQ(link.checked(), checked);
    }
};

struct Counts {
    uint64_t registerWrite = 0, byteWrite = 0, traceStep = 0;
};

Counts measure(bool checked)
{
    CountedRig rig(checked);
    Counts counts;
    // NOPs to step through, then a loop.
    const std::vector<uint8_t> program{0x01, 0x01, 0x01, 0x01, 0x01, 0x20, 0xFE};
    EXPECT_EQ(rig.link.writeMemory(kProgram, uint32_t(program.size()), program.data()), kTalkerOk);
    // The first step takes the program from the idle talker; the next ones are the usual case.
    EXPECT_EQ(rig.engine.traceStep(kProgram), kTalkerOk);
    rig.line.reset();
    EXPECT_EQ(rig.engine.traceStep(rig.engine.currentPC), kTalkerOk);
    EXPECT_EQ(rig.engine.currentPC, kProgram + 2);
    counts.traceStep = rig.line.roundTrips();

    TargetRegisters held;
    EXPECT_EQ(rig.link.readRegisters(held), kTalkerOk);
    held.A = 0x5A;
    rig.line.reset();
    EXPECT_EQ(rig.link.writeRegisters(held), kTalkerOk);
    counts.registerWrite = rig.line.roundTrips();
    TargetRegisters now;
    EXPECT_EQ(rig.link.readRegisters(now), kTalkerOk);
    EXPECT_EQ(now, held) << "the program stays held with the new registers";

    const uint8_t value = 0x3F;
    rig.line.reset();
    EXPECT_EQ(rig.link.writeMemory(kFlag, 1, &value), kTalkerOk);
    counts.byteWrite = rig.line.roundTrips();
    return counts;
}

} // namespace

TEST(RoundTrips, CheckedModeAgainstThePlainProtocol)
{
    const Counts checked = measure(true);
    const Counts plain = measure(false);
    std::printf("round trips        checked  plain  ratio\n");
    auto row = [](const char* what, uint64_t c, uint64_t p) {
        std::printf("%-18s %7llu %6llu  %5.2f\n", what, (unsigned long long)c, (unsigned long long)p,
                    p ? double(c) / double(p) : 0.0);
    };
    row("trace step", checked.traceStep, plain.traceStep);
    row("register write", checked.registerWrite, plain.registerWrite);
    row("one-byte write", checked.byteWrite, plain.byteWrite);
    // The plain protocol: an echo per command, the rest sent blind.
    EXPECT_EQ(plain.registerWrite, 1u);
    EXPECT_EQ(plain.byteWrite, 3u);
    // Checked mode: the command's echo, its arguments at once, the go with the data, the read-back.
    EXPECT_LE(checked.byteWrite, 5u);
    EXPECT_LE(checked.registerWrite, 8u);
}
