// The board through its pseudo-terminal, as a host sees it: tarvik11-board as a child process
// (and VirtualBoard in-process), run as fast as possible, driven with termios.
#include "LineClient.h"
#include "TestImages.h"
#include "link/SerialPort.h"
#include "sim/BoardRunner.h"
#include "sim/VirtualBoard.h"
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class BoardLine : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testimages::makeTempDir();
        ASSERT_FALSE(dir_.empty());
        link_ = dir_ + "/line";
    }
    void TearDown() override {
        client_.close();
        board_.stop();
        testimages::removeTree(dir_);
    }
    void startBoard(std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), {"--speed", "max"});
        ASSERT_TRUE(board_.start(link_, extra));
        ASSERT_EQ(board_.device(), link_);
    }
    // Downloads an image at 1200 baud, then reopens the line at 9600 as the host does.
    void download(const std::string& image) {
        const Bytes boo = testimages::download(testimages::load(image));
        ASSERT_TRUE(client_.open(link_, 1200));
        ASSERT_TRUE(client_.write(boo));
        const Bytes echo = client_.read(256);
        ASSERT_EQ(echo, Bytes(boo.begin() + 1, boo.end())) << "echo of the download";
        client_.close();
        ASSERT_TRUE(client_.open(link_, 9600));
        client_.drain(); // the downloaded program may have greeted a host still at 1200 baud
    }
    // Monitor commands.
    void poke(uint16_t address, uint8_t value) {
        ASSERT_TRUE(client_.write({'W', uint8_t(address >> 8), uint8_t(address), value}));
        ASSERT_EQ(client_.read(1), Bytes{'w'}) << "write of $" << std::hex << address;
    }
    int peek(uint16_t address) {
        client_.write({'R', uint8_t(address >> 8), uint8_t(address)});
        const Bytes b = client_.read(1);
        return b.empty() ? -1 : b[0];
    }
    // One EEPROM operation through PPROG with the host's 20 ms wait.
    void eepromOperation(uint8_t latch, uint16_t address, uint8_t data) {
        poke(0x103B, latch);
        poke(address, data);
        poke(0x103B, uint8_t(latch | 1));
        sleepMs(20);
        poke(0x103B, 0x00);
    }
    Bytes fileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string dir_, link_;
    BoardProcess board_;
    LineClient client_;
};

TEST_F(BoardLine, DownloadAt1200ThenOnlyMatchingRatesCarryBytes) {
    startBoard();
    download("Echo");
    ASSERT_TRUE(client_.write({'a', 'b', 0x7F}));
    EXPECT_EQ(client_.read(3), (Bytes{'b', 'c', 0x80}));
    // A Linux pseudo-terminal keeps only the rate (it forces 8 data bits without parity), so a
    // rate is the only setting a host can get wrong on it.
    for (int baud : {1200, 4800, 19200}) {
        ASSERT_TRUE(client_.setSettings(baud));
        client_.write({'A', 'A', 'A'});
        EXPECT_TRUE(client_.read(1, 300).empty()) << baud << " baud";
        ASSERT_TRUE(client_.setSettings(9600));
        client_.drain();
        client_.write({'A'});
        EXPECT_EQ(client_.read(1), Bytes{'B'}) << "the line recovers at 9600";
    }
}

TEST_F(BoardLine, ResetBySignalRestartsTheLoader) {
    startBoard();
    download("Echo");
    client_.write({'x'});
    ASSERT_EQ(client_.read(1), Bytes{'y'});
    board_.signal(SIGUSR1);
    sleepMs(100);
    client_.close();
    download("Monitor");
    EXPECT_EQ(peek(0x103C), 0xC5) << "the monitor answers, in special bootstrap mode";
}

TEST_F(BoardLine, EepromProgrammingThroughPprogAndSpecialTestMode) {
    startBoard();
    download("Monitor");
    poke(0x1035, 0x00); // BPROT off
    // Byte erase and program.
    eepromOperation(0x16, 0xB605, 0x16);
    eepromOperation(0x02, 0xB605, 0xA5);
    EXPECT_EQ(peek(0xB605), 0xA5);
    // Row erase clears the whole row, then each byte is programmed.
    eepromOperation(0x02, 0xB612, 0x00);
    eepromOperation(0x0E, 0xB610, 0x0E);
    for (uint16_t a = 0xB610; a < 0xB613; ++a)
        eepromOperation(0x02, a, uint8_t(a));
    EXPECT_EQ(peek(0xB610), 0x10);
    EXPECT_EQ(peek(0xB611), 0x11);
    EXPECT_EQ(peek(0xB612), 0x12);
    EXPECT_EQ(peek(0xB613), 0xFF);
    EXPECT_EQ(peek(0xB605), 0xA5) << "outside the row";
    // Pump switched off right after it was switched on: nothing is programmed.
    poke(0x103B, 0x02);
    poke(0xB6F0, 0x00);
    client_.write({'W', 0x10, 0x3B, 0x03, 'W', 0x10, 0x3B, 0x00});
    EXPECT_EQ(client_.read(2), (Bytes{'w', 'w'}));
    EXPECT_EQ(peek(0xB6F0), 0xFF);

    // HPRIO $E5 (special test mode) makes the external RAM writable.
    poke(0x8000, 0x5A);
    EXPECT_EQ(peek(0x8000), 0xFF);
    poke(0x103C, 0xE5);
    EXPECT_EQ(peek(0x103C), 0xE5);
    poke(0x8000, 0x5A);
    EXPECT_EQ(peek(0x8000), 0x5A);
    EXPECT_EQ(peek(0xB605), 0xA5) << "the EEPROM still wins over the external RAM";
}

TEST_F(BoardLine, ConfigTakesEffectAfterTheClockMonitorResetAndPersists) {
    const std::string eeprom = dir_ + "/eeprom.bin";
    startBoard({"--eeprom", eeprom});
    download("Monitor");
    EXPECT_EQ(peek(0x103F), 0x0D);
    EXPECT_EQ(peek(0xB600), 0xFF);
    poke(0x1035, 0x00);
    eepromOperation(0x16, 0x103F, 0x16);
    eepromOperation(0x02, 0x103F, 0x0C);
    EXPECT_EQ(peek(0x103F), 0x0D) << "the latch keeps the old value until reset";
    poke(0x1039, 0x08); // CME
    // FCM with DISR cleared: the chip resets before it can answer, the monitor restarts via $00FD.
    client_.write({'W', 0x10, 0x3E, 0x04});
    EXPECT_EQ(client_.read(1), Bytes{'!'});
    EXPECT_EQ(peek(0x103F), 0x0C);
    EXPECT_EQ(peek(0x103E), 0x08);
    board_.stop();
    const Bytes image = fileBytes(eeprom);
    ASSERT_EQ(image.size(), 513u);
    EXPECT_EQ(image[512], 0x0C);
}

TEST_F(BoardLine, BreakStartsTheProgramInEepromFromAnImageFile) {
    Bytes image = testimages::load("EepromHello");
    ASSERT_FALSE(image.empty());
    image.resize(512, 0xFF);
    image.push_back(0x0D); // CONFIG: EEPROM on
    const std::string eeprom = dir_ + "/eeprom.bin";
    std::ofstream(eeprom, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 513);
    startBoard({"--eeprom", eeprom});
    ASSERT_TRUE(client_.open(link_, 1200));
    client_.write({0x00});
    sleepMs(20);
    ASSERT_TRUE(client_.setSettings(9600));
    client_.write({'?'});
    EXPECT_EQ(client_.read(1), Bytes{'E'});
}

TEST(BoardProgram, RejectsBadArgumentsAndFiles) {
    const std::string dir = testimages::makeTempDir();
    const std::string badImage = dir + "/short.bin";
    std::ofstream(badImage) << "short";
    const std::vector<std::vector<std::string>> cases = {
        {"--speed", "0"}, {"--speed", "fast"}, {"--bogus"}, {"--eeprom", badImage}, {"--speed"},
        {"--latency", "256"}, {"--latency", "-1"}, {"--latency", "16ms"}, {"--latency", ""}};
    for (const auto& args : cases) {
        BoardProcess p;
        EXPECT_FALSE(p.start(dir + "/line", args)) << args[0];
        p.stop();
    }
    testimages::removeTree(dir);
}

// Up to n bytes from the host's port, waiting at most timeoutMs for each.
Bytes portRead(SerialPort& port, size_t n, int timeoutMs = 2000) {
    Bytes got;
    while (got.size() < n && port.inputWithin(std::chrono::milliseconds(timeoutMs))) {
        uint8_t buffer[256];
        const int take = port.read(buffer, int(std::min<size_t>(n - got.size(), sizeof buffer)));
        got.insert(got.end(), buffer, buffer + take);
    }
    return got;
}

TEST(VirtualBoardTest, FollowsTheHostToACustomRate) {
    VirtualBoardOptions options;
    options.speed = 0;
    VirtualBoard board(options);
    std::string error;
    ASSERT_TRUE(board.start(&error)) << error;
    SerialPort port;
    ASSERT_EQ(port.open(board.devicePath() + ":1200,n,8,1"), 0);
    const Bytes boo = testimages::download(testimages::load("EchoFast"));
    ASSERT_EQ(port.write(boo.data(), int(boo.size())), 0);
    ASSERT_EQ(portRead(port, 256).size(), 256u) << "echo of the download";
    // The program now runs its SCI at E/16: 125000 baud, a rate only termios2 can set.
    ASSERT_EQ(port.setBaud(125000), 0);
    const Bytes data{'a', 0x00, 0x7F, 0xFE};
    ASSERT_EQ(port.write(data.data(), int(data.size())), 0);
    EXPECT_EQ(portRead(port, 4), (Bytes{'b', 0x01, 0x80, 0xFF}));
    // Near rates (115200 is 8 % slow, 133333 is 7 % fast) and far ones are sampled wrongly by
    // the SCI, and its answers at 125000 are not taken by the host's UART.
    for (uint32_t baud : {115200u, 133333u, 62500u, 250000u, 9600u}) {
        ASSERT_EQ(port.setBaud(baud), 0) << baud;
        const Bytes probe{'A', 'A', 'A'};
        port.write(probe.data(), 3);
        EXPECT_TRUE(portRead(port, 1, 300).empty()) << baud << " baud";
        ASSERT_EQ(port.setBaud(125000), 0);
        sleepMs(20);
        while (port.hasInput()) {
            uint8_t drop[64];
            port.read(drop, sizeof drop);
        }
        port.write(probe.data(), 1);
        EXPECT_EQ(portRead(port, 1), Bytes{'B'}) << "the line recovers at 125000 after " << baud;
    }
    port.close();
    board.stop();
}


TEST(VirtualBoardTest, PressResetRestartsTheLoader) {
    VirtualBoardOptions options;
    options.speed = 0;
    VirtualBoard board(options);
    std::string error;
    ASSERT_TRUE(board.start(&error)) << error;
    LineClient client;
    for (const char* image : {"Echo", "Monitor"}) {
        const Bytes boo = testimages::download(testimages::load(image));
        ASSERT_TRUE(client.open(board.devicePath(), 1200));
        client.write(boo);
        ASSERT_EQ(client.read(256).size(), 256u) << image;
        ASSERT_TRUE(client.setSettings(9600));
        client.drain();
        client.write({'R', 0x10, 0x3C});
        const Bytes reply = client.read(1);
        ASSERT_EQ(reply.size(), 1u);
        if (std::string(image) == "Echo")
            EXPECT_EQ(reply[0], 'S');
        else
            EXPECT_EQ(reply[0], 0xC5) << "the monitor started after pressReset";
        board.pressReset();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    board.stop();
}

// Behind a USB adapter's latency timer the board's bytes reach the host in packets: a full
// packet (62 bytes) at once, a partial one when the timer expires. Without the timer each byte
// comes on its own.
TEST(VirtualBoardTest, AnAdapterLatencyTimerDeliversTheBoardsBytesInPackets) {
    struct Case {
        double latencyMs;
        size_t maxBatches;
        double minGapMs; // between batches
        int mergeMs;     // reads closer than this are one batch
    };
    // 150 echoes at 9600 baud take 156 ms; with a 100 ms timer that is three or four packets,
    // full ones 65 ms apart at the least (the timer restarts whenever a packet goes). A packet
    // read in two parts by a host thread that lost its core in between is still one packet.
    const Case cases[] = {{100, 4, 45, 25}, {0, 1000, 0, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.latencyMs);
        VirtualBoardOptions options;
        options.latencyMs = c.latencyMs;
        VirtualBoard board(options);
        std::string error;
        ASSERT_TRUE(board.start(&error)) << error;
        sleepMs(50); // the boot loader listens a moment after power-on
        SerialPort port;
        ASSERT_EQ(port.open(board.devicePath() + ":1200,n,8,1"), 0);
        const Bytes boo = testimages::download(testimages::load("Echo"));
        ASSERT_EQ(port.write(boo.data(), int(boo.size())), 0);
        ASSERT_EQ(portRead(port, 256).size(), 256u) << "echo of the download";
        ASSERT_EQ(port.setBaud(9600), 0);

        Bytes sent(150);
        for (size_t i = 0; i < sent.size(); ++i)
            sent[i] = uint8_t(i);
        // Sent while the echoes are read (a write returns once its bytes have left).
        int wrote = -1;
        std::thread writer([&] { wrote = port.write(sent.data(), int(sent.size())); });
        // Arrivals, with reads less than mergeMs apart taken as one batch.
        using Clock = std::chrono::steady_clock;
        std::vector<Clock::time_point> batches;
        std::vector<size_t> sizes;
        Bytes got;
        while (got.size() < sent.size() && port.inputWithin(std::chrono::milliseconds(2000))) {
            uint8_t buffer[256];
            const int n = port.read(buffer, sizeof buffer);
            const Clock::time_point now = Clock::now();
            if (batches.empty() || now - batches.back() > std::chrono::milliseconds(c.mergeMs)) {
                batches.push_back(now);
                sizes.push_back(0);
            }
            sizes.back() += size_t(n);
            got.insert(got.end(), buffer, buffer + n);
        }
        writer.join();
        ASSERT_EQ(wrote, 0);
        ASSERT_EQ(got.size(), sent.size());
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], uint8_t(sent[i] + 1)) << i;
        EXPECT_LE(batches.size(), c.maxBatches);
        using Ms = std::chrono::duration<double, std::milli>;
        for (size_t i = 1; i < batches.size(); ++i)
            EXPECT_GE(Ms(batches[i] - batches[i - 1]).count(), c.minGapMs);
        if (c.latencyMs > 0) {
            // Whatever the timer's phase, 62 bytes fill a packet before it expires at least once.
            EXPECT_NE(std::find(sizes.begin(), sizes.end(), BoardRunner::kAdapterPacketBytes), sizes.end());
        } else {
            EXPECT_GT(batches.size(), 20u) << "without an adapter the bytes come as they are sent";
        }
        port.close();
        board.stop();
    }
}

} // namespace
