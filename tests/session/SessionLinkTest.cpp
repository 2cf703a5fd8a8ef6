// The talker start-up on the line a user really has: behind a USB adapter's latency timer with
// default settings, and with a download the line damages.
#include "session/DebugSession.h"
#include "sim/MemoryLine.h"
#include "sim/VirtualBoard.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

namespace {

std::string example(const std::string& name) { return std::string(TARVIK11_EXAMPLES_DIR) + "/" + name; }

// Reads "(link round trip N ms, read wait M ms)" from a boot's done text; false when absent.
bool measuredLink(const std::string& text, int& roundTripMs, int& readWaitMs)
{
    const size_t at = text.find("(link round trip");
    return at != std::string::npos &&
           std::sscanf(text.c_str() + at, "(link round trip %d ms, read wait %d ms)", &roundTripMs, &readWaitMs) == 2;
}

struct Booted {
    std::unique_ptr<VirtualBoard> board;
    std::unique_ptr<DebugSession> session;
    CommandResult result;
};

// A board with the given options and a session booted on it with default settings (but the
// talker file and special test mode, for the external RAM). A board behind a pseudo-terminal runs
// in real time; one on the in-memory line runs on virtual time.
Booted bootOn(VirtualBoardOptions options)
{
    Booted b;
    options.virtualTime = options.line == BoardLineKind::Memory;
    b.board = std::make_unique<VirtualBoard>(options);
    std::string error;
    EXPECT_TRUE(b.board->start(&error)) << error;
    // The loader needs a moment after power-on before it listens, as after a press of RESET
    // (which the session's boot gives a board on virtual time).
    if (!options.virtualTime)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    b.session = std::make_unique<DebugSession>();
    BootSettings boot; // the read wait stays at its default
    // A board behind a pseudo-terminal is reached as any serial port, with a serial port's
    // default read wait; the in-memory line needs the board attached.
    if (options.line == BoardLineKind::Memory)
        b.session->attachBoard(b.board.get());
    boot.port = options.line == BoardLineKind::Memory ? b.session->boardDevice() : b.board->devicePath();
    boot.talkerFile = TARVIK11_TALKER_FILE;
    boot.chipMode = ChipMode::SpecialTest;
    boot.base = NumberBase::Hexadecimal;
    b.result = b.session->boot(boot);
    return b;
}

class BehindAnAdapter : public ::testing::TestWithParam<BoardLineKind> {};

// The default read wait (20 ms) is shorter than a round trip through an adapter whose latency
// timer is 16 ms; the boot measures the line and waits long enough from then on.
TEST_P(BehindAnAdapter, defaultSettingsBootAndEveryKindOfCommandWorks)
{
    VirtualBoardOptions options;
    options.line = GetParam();
    options.latencyMs = 16;
    Booted b = bootOn(options);
    ASSERT_TRUE(b.result.ok()) << b.result.errorText();
    int roundTrip = 0, readWait = 0;
    ASSERT_TRUE(measuredLink(b.result.doneText, roundTrip, readWait)) << b.result.doneText;
    // A byte waits for the timer somewhere between at once and 16 ms; the worst of a few is late.
    EXPECT_GE(roundTrip, 4) << b.result.doneText;
    EXPECT_GE(readWait, 2 * roundTrip);
    EXPECT_EQ(b.session->port().readWaitMs, readWait);

    DebugSession& s = *b.session;
    ASSERT_TRUE(s.loadS19(example("loops.s19")).ok());
    const CommandResult set = s.setMemory("c100", "5a");
    ASSERT_TRUE(set.ok()) << set.errorText();
    const CommandResult dump = s.dump("c100", "c10f");
    ASSERT_TRUE(dump.ok()) << dump.errorText();
    ASSERT_EQ(dump.lines.size(), 2u);
    EXPECT_EQ(dump.lines[1].substr(0, 10), "$c100 - 5a");
    const CommandResult reg = s.setRegister("A", "33");
    ASSERT_TRUE(reg.ok()) << reg.errorText();
    ASSERT_TRUE(s.readRegisters().ok());
    EXPECT_EQ(s.lastRegisters().A, 0x33u);
    const CommandResult step = s.trace(std::string("c000"));
    ASSERT_TRUE(step.ok()) << step.errorText();
    EXPECT_EQ(step.doneText, "Trace completed at $c003");
}

INSTANTIATE_TEST_SUITE_P(Lines, BehindAnAdapter,
                         ::testing::Values(BoardLineKind::PseudoTerminal, BoardLineKind::Memory),
                         [](const auto& info) {
                             return std::string(info.param == BoardLineKind::Memory ? "InMemory" : "PseudoTerminal");
                         });

// A download the line damages is never run: the host checks every echo and holds the image's
// last byte back when one was wrong, so the boot loader (which runs the image only once it has
// all 256 bytes) keeps waiting; the user is told to press RESET. The next boot (the last case's) then works.
TEST(DamagedDownload, isHeldBackAndReportedThenTheNextBootWorks)
{
    struct Case {
        const char* fault;
        const char* says; // a part of the failure text
        bool lastByteHeld;
    };
    const Case cases[] = {
        // Lost, doubled or damaged on the way to the board, early and among the last bytes.
        {"drop,after=100,dir=to-board", "byte 99 of 256", true},
        {"duplicate,after=60,dir=to-board", "byte 60 of 256", true},
        {"duplicate,after=255,dir=to-board", "byte 255 of 256", true},
        // An echo lost or doubled on its way back.
        {"duplicate,after=254,dir=to-host", "byte 255 of 256", true},
        // The last echo doubled: the chip has the whole image; the run is reported as doubtful.
        {"duplicate,after=256,dir=to-host", "extra echo", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        VirtualBoardOptions options;
        options.speed = 0;
        options.line = BoardLineKind::Memory;
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(FaultRule::parse(c.fault, &rule, &error)) << error;
        options.faults = {rule};
        Booted b = bootOn(options);
        EXPECT_FALSE(b.result.ok());
        EXPECT_NE(b.result.errorText().find(c.says), std::string::npos) << b.result.errorText();
        EXPECT_NE(b.result.errorText().find("RESET"), std::string::npos) << b.result.errorText();
        EXPECT_EQ(b.session->runState(), RunState::NoTalker);
        // The synchronisation character and the image: all 257 went only when nothing was wrong
        // before the last one.
        const LineFaults::Stats stats = b.board->faultStats();
        if (c.lastByteHeld)
            EXPECT_LT(stats.bytesToBoard, 257u);
        else
            EXPECT_EQ(stats.bytesToBoard, 257u);

        if (&c != &cases[std::size(cases) - 1])
            continue;
        b.board->setFaults({}, 1);
        BootSettings again;
        again.port = b.session->boardDevice(); // RESET is pressed first
        again.talkerFile = TARVIK11_TALKER_FILE;
        const CommandResult rebooted = b.session->boot(again);
        EXPECT_TRUE(rebooted.ok()) << rebooted.errorText();
    }
}

// Our talker's read service stays installed from one checked read to the next while nothing else
// is asked, so a dump in pieces pays for parking and installing once; the first other command
// puts the slots and the frame back.
TEST(KeptReadService, servesTheNextReadAndIsGoneBeforeAnythingElse)
{
    VirtualBoardOptions options;
    options.speed = 0;
    options.line = BoardLineKind::Memory;
    Booted b = bootOn(options);
    ASSERT_TRUE(b.result.ok()) << b.result.errorText();
    DebugSession& s = *b.session;
    MemoryLine& line = *b.board->memoryLine();
    std::array<uint8_t, 0x30> slots{};
    ASSERT_EQ(s.memory().readBlock(0x00C4, slots.size(), slots.data()), kTalkerOk);
    ASSERT_TRUE(s.fill("$9000", "$9fff", "$6b").ok());

    const uint64_t start = line.hostRoundTrips();
    const CommandResult first = s.dump("$9000", "$9fff");
    ASSERT_TRUE(first.ok()) << first.errorText();
    const uint64_t cold = line.hostRoundTrips() - start;
    EXPECT_TRUE(s.engine().extended().serviceLeft());
    const CommandResult second = s.dump("$9000", "$9fff");
    ASSERT_TRUE(second.ok()) << second.errorText();
    const uint64_t warm = line.hostRoundTrips() - start - cold;
    EXPECT_LT(warm * 4, cold) << "cold " << cold << ", warm " << warm;
    EXPECT_EQ(first.lines, second.lines);
    EXPECT_NE(second.lines[1].find("$9000 - 6b 6b"), std::string::npos) << second.lines[1];

    // A register read, then a plain read of the slots: the talker's own bytes again.
    ASSERT_TRUE(s.readRegisters().ok());
    EXPECT_FALSE(s.engine().extended().serviceLeft());
    std::array<uint8_t, 0x30> after{};
    ASSERT_EQ(s.memory().readBlock(0x00C4, after.size(), after.data()), kTalkerOk);
    EXPECT_EQ(after, slots);
    // A read that meets the talker's RAM is served and the service is not kept over it.
    ASSERT_TRUE(s.dump("$0000", "$0fff").ok());
    EXPECT_FALSE(s.engine().extended().serviceLeft());
}

} // namespace
