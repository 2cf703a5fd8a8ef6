// The board's in-memory line: its queues and stamps on their own, then a board run on it with the
// host side driven directly (no pseudo-terminal anywhere).
#include "TestImages.h"
#include "sim/MemoryLine.h"
#include "sim/VirtualBoard.h"
#include <chrono>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

LineSettings settings(uint32_t baud, uint8_t dataBits = 8, LineSettings::Parity parity = LineSettings::Parity::None,
                      uint8_t stopBits = 1) {
    LineSettings s;
    s.baud = baud;
    s.dataBits = dataBits;
    s.parity = parity;
    s.stopBits = stopBits;
    return s;
}

TEST(MemoryLineTest, BytesKeepTheSettingsTheyWereSentWith) {
    MemoryLine line;
    ASSERT_TRUE(line.valid());
    EXPECT_FALSE(readable(line.fd()));
    // A host that switches its rate between writes: the board must see each run at its own rate,
    // never the later rate for the earlier bytes.
    const LineSettings runs[] = {settings(1200), settings(9600), settings(125000),
                                 settings(9600, 7, LineSettings::Parity::Even, 2), settings(1200)};
    uint8_t next = 0;
    for (const LineSettings& s : runs) {
        line.setHostSettings(s);
        const Bytes bytes{next, uint8_t(next + 1), uint8_t(next + 2)};
        line.hostSend(bytes.data(), bytes.size());
        next = uint8_t(next + 3);
    }
    EXPECT_TRUE(readable(line.fd()));
    uint8_t expect = 0;
    for (const LineSettings& s : runs) {
        uint8_t buffer[16];
        LineSettings seen = settings(1);
        ASSERT_EQ(line.read(buffer, sizeof buffer, &seen), 3u);
        EXPECT_TRUE(seen == s) << "run at " << s.baud;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(buffer[i], expect++);
    }
    uint8_t buffer[4];
    EXPECT_EQ(line.read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(readable(line.fd())) << "drained: the board's poll must sleep";
    EXPECT_TRUE(line.hostSettings() == settings(1200));
}

TEST(MemoryLineTest, HostQueueReadinessLimitAndHangUp) {
    MemoryLine line;
    ASSERT_TRUE(line.valid());
    const int host = line.hostReadinessFd();
    EXPECT_FALSE(readable(host));
    ASSERT_TRUE(line.write(0x4A));
    EXPECT_TRUE(readable(host));
    uint8_t byte = 0;
    ASSERT_EQ(line.hostReceive(&byte, 1), 1u);
    EXPECT_EQ(byte, 0x4A);
    EXPECT_FALSE(readable(host)) << "a drained queue must not keep waking the host";
    // A full host queue loses bytes, as an unread UART buffer does; the rest keep their order.
    for (size_t i = 0; i < MemoryLine::kHostQueueLimit; ++i)
        ASSERT_TRUE(line.write(uint8_t(i)));
    EXPECT_FALSE(line.write(0xEE));
    EXPECT_EQ(line.hostQueued(), MemoryLine::kHostQueueLimit);
    Bytes all(MemoryLine::kHostQueueLimit + 10);
    ASSERT_EQ(line.hostReceive(all.data(), all.size()), MemoryLine::kHostQueueLimit);
    for (size_t i = 0; i < MemoryLine::kHostQueueLimit; ++i)
        ASSERT_EQ(all[i], uint8_t(i)) << i;
    line.write(1);
    line.hostDiscardInput();
    EXPECT_EQ(line.hostQueued(), 0u);
    EXPECT_FALSE(readable(host));
    // A stopped board: the host's descriptor stays readable (as a hung-up terminal polls) and
    // nothing more crosses in either direction.
    line.hangUp();
    EXPECT_TRUE(line.hungUp());
    EXPECT_TRUE(readable(host));
    EXPECT_FALSE(line.write(2));
    line.hostSend(&byte, 1);
    EXPECT_FALSE(readable(line.fd()));
    line.hostReceive(&byte, 1);
    EXPECT_TRUE(readable(host)) << "still hung up after a read";
    line.reopen();
    EXPECT_FALSE(line.hungUp());
    EXPECT_FALSE(readable(host));
}

// The host's side of a board on an in-memory line, as a serial port would use it.
class MemoryHost {
public:
    explicit MemoryHost(MemoryLine& line) : line_(line) {}
    void send(const Bytes& bytes, const LineSettings& s) {
        line_.setHostSettings(s);
        line_.hostSend(bytes.data(), bytes.size());
    }
    // Up to n bytes, waiting at most timeoutMs for each.
    Bytes receive(size_t n, int timeoutMs = 3000) {
        Bytes got;
        while (got.size() < n) {
            pollfd p{line_.hostReadinessFd(), POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) != 1 || line_.hungUp())
                break;
            uint8_t buffer[512];
            const size_t take = line_.hostReceive(buffer, std::min(n - got.size(), sizeof buffer));
            got.insert(got.end(), buffer, buffer + take);
        }
        return got;
    }
    void settle() {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        line_.hostDiscardInput();
    }

private:
    MemoryLine& line_;
};

TEST(MemoryLineBoard, CarriesTheHostsFormatAndRateToTheSci) {
    VirtualBoardOptions options;
    options.speed = 0;
    options.line = BoardLineKind::Memory;
    VirtualBoard board(options);
    std::string error;
    ASSERT_TRUE(board.start(&error)) << error;
    EXPECT_EQ(board.devicePath(), "");
    MemoryLine* line = board.memoryLine();
    ASSERT_NE(line, nullptr);
    MemoryHost host(*line);
    // The whole download is queued at once: the board still takes it one character time apart.
    host.send(testimages::download(testimages::load("EchoFast")), settings(1200));
    ASSERT_EQ(host.receive(256).size(), 256u) << "echo of the download";
    struct Case {
        LineSettings host;
        bool answered;
    };
    // The SCI runs 8N1 at 125000. Unlike a pseudo-terminal the line keeps the host's data bits
    // and parity, so a wrong format is a mismatch as real as a wrong rate.
    const Case cases[] = {
        {settings(125000), true},
        {settings(115200), false},
        {settings(125000, 7), false},
        {settings(125000, 8, LineSettings::Parity::Even), false},
        {settings(125000, 8, LineSettings::Parity::None, 2), true}, // a second stop bit is only idle line
        {settings(9600), false},
        {settings(125000), true},
    };
    for (const Case& c : cases) {
        host.send({'A', 'A'}, c.host);
        const Bytes got = host.receive(2, c.answered ? 3000 : 300);
        if (c.answered) {
            EXPECT_EQ(got, (Bytes{'B', 'B'})) << c.host.baud << "/" << int(c.host.dataBits);
        } else {
            EXPECT_NE(got, (Bytes{'B', 'B'})) << c.host.baud << "/" << int(c.host.dataBits);
        }
        host.send({}, settings(125000));
        host.settle();
    }
    board.stop();
    EXPECT_TRUE(line->hungUp());
    // A restart reopens the same line.
    ASSERT_TRUE(board.start(&error)) << error;
    EXPECT_FALSE(line->hungUp());
    board.stop();
}

} // namespace
