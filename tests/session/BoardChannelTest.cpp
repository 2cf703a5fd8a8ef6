// The session's line to an in-process board over memory (no pseudo-terminal), and the choice
// between it and the serial port.
#include "session/BoardChannel.h"
#include "link/Deadline.h"
#include "session/SessionChannel.h"
#include "sim/BoardRunner.h"
#include "sim/MemoryLine.h"
#include "sim/VirtualBoard.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Answers each byte with the byte plus one, its SCI at E/16 (125000 baud): ldx #$1000;
// clr BAUD; SCCR2 = $0C; loop: wait RDRF, read, inca, wait TDRE, write, again.
const Bytes kEchoFast{0xCE, 0x10, 0x00, 0x6F, 0x2B, 0x86, 0x0C, 0xA7, 0x2D, 0x1F, 0x2E, 0x20,
                      0xFC, 0xA6, 0x2F, 0x4C, 0x1F, 0x2E, 0x80, 0xFC, 0xA7, 0x2F, 0x20, 0xF1};

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return fd >= 0 && ::poll(&p, 1, 0) == 1;
}

Bytes receive(ByteChannel& line, size_t n) {
    Bytes got;
    while (got.size() < n && line.inputWithin(std::chrono::seconds(3))) {
        uint8_t buffer[300];
        const int take = line.read(buffer, int(std::min(n - got.size(), sizeof buffer)));
        got.insert(got.end(), buffer, buffer + take);
    }
    return got;
}

class MemoryBoard : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualBoardOptions options;
        options.speed = 0;
        options.line = BoardLineKind::Memory;
        board_ = std::make_unique<VirtualBoard>(options);
        std::string error;
        ASSERT_TRUE(board_->start(&error)) << error;
        ASSERT_NE(board_->memoryLine(), nullptr);
    }
    // Downloads the 125000-baud echo program through the boot loader at 1200 baud.
    void downloadEcho(ByteChannel& line) {
        Bytes boo(257, 0x00);
        boo[0] = 0xFF;
        std::copy(kEchoFast.begin(), kEchoFast.end(), boo.begin() + 1);
        ASSERT_EQ(line.write(boo.data(), int(boo.size())), 0);
        ASSERT_EQ(receive(line, 256), Bytes(boo.begin() + 1, boo.end())) << "echo of the download";
    }
    std::unique_ptr<VirtualBoard> board_;
};

TEST_F(MemoryBoard, ChannelOpensLikeASerialPort) {
    BoardChannel line(*board_->memoryLine());
    EXPECT_EQ(line.readinessDescriptor(), -1);
    EXPECT_EQ(line.setBaud(9600), EBADF);
    struct Case {
        const char* text;
        int result;
    };
    const Case refused[] = {
        {"board:9600,x,8,1", 1}, {"board:9600,n,8,3", 1}, {"board:9600,n,8", 2}, {"board", 2},
        {"board:0,n,8,1", EINVAL}, {"board:9600,n,9,1", EINVAL}, {"board:9600,n,4,1", EINVAL},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(line.open(c.text), c.result) << c.text;
        EXPECT_FALSE(line.isOpen()) << c.text;
    }
    // What the board sent before the open is not the talker's answer to anything.
    ASSERT_TRUE(board_->memoryLine()->write(0x55));
    ASSERT_EQ(line.open("board:1200,n,8,1"), 0);
    EXPECT_FALSE(line.hasInput());
    EXPECT_EQ(line.open("board:9600,n,8,1"), EBUSY);
    EXPECT_EQ(line.lineSettings().baud, 1200u) << "a refused open changes nothing";
    EXPECT_EQ(line.setLineSettings({0, 8, SerialLineSettings::Parity::None, SerialLineSettings::StopBits::One}), EINVAL);
    EXPECT_EQ(line.lineSettings().baud, 1200u);
    uint8_t byte = 0;
    line.readWaitMs = 1;
    EXPECT_EQ(line.read(&byte, 1), 0) << "a silent line is a short count";
}

TEST_F(MemoryBoard, ChannelFollowsRateSwitchesAndSeesTheBoardStop) {
    BoardChannel line(*board_->memoryLine());
    ASSERT_EQ(line.open("board:1200,n,8,1"), 0);
    downloadEcho(line);
    ASSERT_EQ(line.setBaud(125000), 0);
    EXPECT_EQ(board_->memoryLine()->hostSettings().baud, 125000u);
    for (const Bytes& data : {Bytes{'a'}, Bytes{0x00, 0x7F, 0xFE}, Bytes(64, 0x10)}) {
        ASSERT_EQ(line.write(data.data(), int(data.size())), 0);
        Bytes expected = data;
        for (uint8_t& b : expected)
            ++b;
        EXPECT_EQ(receive(line, data.size()), expected);
        EXPECT_FALSE(readable(line.readinessDescriptor())) << "nothing left: the notifier must sleep";
    }
    // At a rate the SCI does not run at, nothing correct comes back.
    ASSERT_EQ(line.setBaud(62500), 0);
    const uint8_t probe[2] = {'A', 'A'};
    ASSERT_EQ(line.write(probe, 2), 0);
    EXPECT_FALSE(line.inputWithin(std::chrono::milliseconds(200)));
    ASSERT_EQ(line.setBaud(125000), 0);
    line.inputWithin(std::chrono::milliseconds(50));
    while (line.hasInput()) {
        uint8_t drop[16];
        line.read(drop, sizeof drop);
    }
    ASSERT_EQ(line.write(probe, 1), 0);
    EXPECT_EQ(receive(line, 1), Bytes{'B'});

    // The board goes away: a lost line, which the readiness descriptor reports at once.
    board_->stop();
    EXPECT_TRUE(line.lineLost());
    EXPECT_TRUE(readable(line.readinessDescriptor()));
    EXPECT_FALSE(line.inputWithin(std::chrono::seconds(60))) << "must not wait out a lost line";
    EXPECT_EQ(line.write(probe, 1), 1);
    EXPECT_FALSE(line.hasInput());
    line.close();
    EXPECT_EQ(line.open("board:9600,n,8,1"), EIO);
}

TEST_F(MemoryBoard, SessionChannelPicksTheLineByPortName) {
    SerialPort serial;
    serial.ports["COM3"] = "board";
    SessionChannel channel(serial);
    EXPECT_FALSE(channel.hasBoardLine());
    EXPECT_EQ(channel.open("board:9600,n,8,1"), ENOENT) << "no board offered: a port name like any other";
    EXPECT_EQ(channel.open("/dev/null:9600,n,8,1"), ENOTTY);
    EXPECT_EQ(channel.lastOpenError(), ENOTTY);
    channel.setBoardLine(board_->memoryLine());
    struct Case {
        const char* text;
        int result;
        bool onBoard;
    };
    const Case cases[] = {
        {"board:1200,n,8,1", 0, true},
        {"COM3:9600,n,8,1", 0, true},
        {"com3:9600,n,8,1", 0, true},
        {"/dev/tarvik11-none:9600,n,8,1", ENOENT, false},
        {"COM9:9600,n,8,1", ENOENT, false},
        {"/dev/null:9600,n,8,1", ENOTTY, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(channel.open(c.text), c.result) << c.text;
        EXPECT_EQ(channel.onBoardLine(), c.onBoard) << c.text;
        EXPECT_EQ(channel.isOpen(), c.result == 0) << c.text;
        // The serial port's open error is no longer the one that counts on the board's line.
        if (c.onBoard || c.result == ENOTTY) {
            EXPECT_EQ(channel.lastOpenError(), c.onBoard ? 0 : ENOTTY) << c.text;
        }
        EXPECT_EQ(channel.readinessDescriptor() >= 0, c.result == 0) << c.text;
        // An open line stays the one in use until it is closed.
        if (c.result == 0) {
            EXPECT_EQ(channel.open("/dev/tarvik11-none:9600,n,8,1"), EBUSY);
            EXPECT_TRUE(channel.onBoardLine());
        }
        channel.close();
    }
    // The serial port's read wait rules the board's line too.
    ASSERT_EQ(channel.open("board:9600,n,8,1"), 0);
    serial.readWaitMs = 1;
    uint8_t byte = 0;
    EXPECT_EQ(channel.read(&byte, 1), 0);
    // Withdrawing the board closes a line open to it.
    channel.setBoardLine(nullptr);
    EXPECT_FALSE(channel.isOpen());
    EXPECT_FALSE(channel.onBoardLine());
}

} // namespace

namespace {

// Board time since `from`, on the thread's link clock.
std::chrono::microseconds since(Deadline::Clock::time_point from) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Deadline::now() - from);
}

} // namespace

// On virtual time the host's waits and the board's clock are one clock: each wait lasts exactly
// its own length of board time (or ends when a byte arrives), and no board time passes while the
// host does anything else, however long that takes.
TEST(VirtualTimeLine, WaitsTakeTheirBoardTimeAndTheBoardStandsStillBetweenThem) {
    VirtualBoardOptions options;
    options.virtualTime = true;
    VirtualBoard board(options);
    std::string error;
    ASSERT_TRUE(board.start(&error)) << error;
    ASSERT_TRUE(board.onVirtualTime());
    BoardChannel line(*board.memoryLine());
    EXPECT_EQ(Deadline::timeSource(), nullptr) << "the monotonic clock until the line is open";
    ASSERT_EQ(line.open("board:1200,n,8,1"), 0);
    ASSERT_NE(Deadline::timeSource(), nullptr);

    using std::chrono::microseconds;
    const microseconds slack(600); // the last instruction and one look at the line (kLockstepSlice)
    struct Case {
        const char* what;
        std::function<void()> wait;
        microseconds least, most;
    };
    uint8_t byte = 0;
    const uint8_t one = 'a';
    const Bytes image = [] {
        Bytes b(257, 0x00);
        b[0] = 0xFF;
        std::copy(kEchoFast.begin(), kEchoFast.end(), b.begin() + 1);
        return b;
    }();
    const microseconds downloadTime = Deadline::wireTime(257, 10, 1200);
    const microseconds fastCharacter = Deadline::wireTime(1, 10, 125000);
    const Case cases[] = {
        {"a read of a silent line waits one read wait",
         [&] { line.readWaitMs = 20; EXPECT_EQ(line.read(&byte, 1), 0); }, microseconds(20000), microseconds(20000) + slack},
        {"a wait for input on a silent line lasts all of it",
         [&] { EXPECT_FALSE(line.inputWithin(std::chrono::milliseconds(250))); }, microseconds(250000), microseconds(250000) + slack},
        {"a deadline's sleep runs the board to it",
         [&] { Deadline::afterMs(7).sleepUntil(); }, microseconds(7000), microseconds(7000) + slack},
        {"a write returns when its bytes have left at the line's rate",
         [&] { ASSERT_EQ(line.write(image.data(), int(image.size())), 0); }, downloadTime, downloadTime + slack},
        {"the echo of the download's last byte is there a character later",
         [&] { ASSERT_EQ(receive(line, 256), Bytes(image.begin() + 1, image.end())); }, microseconds(0), microseconds(10000)},
        {"a wait for input ends when the byte arrives, not at its end",
         [&] {
             ASSERT_EQ(line.setBaud(125000), 0);
             ASSERT_EQ(line.write(&one, 1), 0);
             EXPECT_TRUE(line.inputWithin(std::chrono::seconds(5)));
             EXPECT_EQ(line.read(&byte, 1), 1);
             EXPECT_EQ(byte, 'b');
         },
         fastCharacter, 3 * fastCharacter + slack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto start = Deadline::now();
        c.wait();
        const microseconds took = since(start);
        EXPECT_GE(took, c.least);
        EXPECT_LE(took, c.most);
        // Lockstep: the host's own work takes no board time.
        const auto before = Deadline::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(Deadline::now(), before);
    }

    line.close();
    EXPECT_EQ(Deadline::timeSource(), nullptr) << "the monotonic clock again once the line is closed";
    ASSERT_EQ(line.open("board:125000,n,8,1"), 0);
    board.stop();
    EXPECT_EQ(Deadline::timeSource(), nullptr) << "a stopped board's clock is no longer the thread's";
    EXPECT_TRUE(line.lineLost());
    EXPECT_FALSE(line.inputWithin(std::chrono::seconds(60))) << "must not wait out a lost line";
}

// A board time read back must be the cycle it was made from: one a nanosecond short left a
// deadline one cycle ahead that no run of the board reached, and the host waited for ever.
TEST(VirtualTimeLine, BoardTimesAndCyclesConvertExactly) {
    for (uint64_t n = 0; n < 50'000'000; n += 4'339) {
        ASSERT_EQ(BoardRunner::boardCycles(BoardRunner::boardTime(n)), n);
        ASSERT_EQ(BoardRunner::boardCycles(BoardRunner::boardTime(n) + std::chrono::nanoseconds(1)), n + 1);
    }
}
