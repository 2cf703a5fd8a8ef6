#include "PtyPair.h"
#include "link/SerialPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Waits (bounded) until the slave has at least n bytes queued.
bool waitQueued(int fd, int n) {
    for (int i = 0; i < 500; ++i) {
        int queued = 0;
        if (::ioctl(fd, FIONREAD, &queued) == 0 && queued >= n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::filesystem::path tempDir() {
    char pattern[] = "/tmp/tarvik11-serial-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? std::filesystem::path(made) : std::filesystem::path();
}

TEST(SerialPortOpen, MalformedAndUnopenableModeTexts) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    const std::string p = pty.slavePath();
    const std::filesystem::path dir = tempDir();
    const std::string plainFile = (dir / "plain").string();
    std::ofstream(plainFile) << "x";
    struct Case {
        std::string text;
        int result;
    };
    const Case cases[] = {
        {"COM1:9600,x,8,1", 1},       {"COM1:9600,n,8,3", 1},       {"COM1:9600,n,8", 2},
        {"COM1", 2},                  {"COM1:9600,m,8,1", 1},       {"COM1:9600", 2},
        {"COM1:9600,x", 2},           {"COM1:9600,,8,1", 1},        {"COM1:9600,n,8,", 1},
        {"COM1:9600,n,8,1.5x", 1},    {"COM1:9600,n,8,1 ", 1},      {"", 2},
        {":", 2},                     {"COM9:9600,n,8,1", ENOENT},  {"ttyS0:9600,n,8,1", ENOENT},
        {":9600,n,8,1", ENOENT},      {"/dev/tarvik11-none:9600,n,8,1", ENOENT},
        {"/dev/null:9600,n,8,1", ENOTTY},
        {plainFile + ":9600,n,8,1", ENOTTY},
        {p + ":1234,n,8,1", EINVAL},  {p + ":abc,n,8,1", EINVAL},   {p + ":99999999999,n,8,1", EINVAL},
        {p + ":9600,n,9,1", EINVAL},  {p + ":9600,n,4,1", EINVAL},  {p + ":9600,n,,1", EINVAL},
        {std::string("/dev/pts\0/0:9600,n,8,1", 22), ENOENT},
    };
    for (const auto& c : cases) {
        SerialPort port;
        EXPECT_EQ(port.open(c.text), c.result) << c.text;
        EXPECT_FALSE(port.isOpen()) << c.text;
        EXPECT_EQ(port.descriptor(), -1) << c.text;
        // Results 1 and 2 of a malformed text are its own; a well-formed text's result is the
        // errno, ENOENT (2) included, so that the cause can be named.
        ModeText parsed;
        const bool wellFormed = parseModeText(c.text, parsed) == 0;
        EXPECT_EQ(port.lastOpenError(), wellFormed ? c.result : 0) << c.text;
        EXPECT_TRUE(wellFormed || c.result <= 2) << c.text;
    }
    SerialPort port;
    ASSERT_EQ(port.open(p + ":9600,n,8,1"), 0);
    EXPECT_EQ(port.lastOpenError(), 0);
    std::filesystem::remove_all(dir);
}

TEST(SerialPortOpen, HintOnlyForPermissionErrors) {
    const std::string hint =
        "Permission denied on /dev/ttyUSB0: add your user to the dialout group (sudo usermod -aG dialout $USER) "
        "and log in again";
    EXPECT_EQ(portOpenHint(EACCES, "/dev/ttyUSB0"), hint);
    EXPECT_EQ(portOpenHint(EPERM, "/dev/ttyUSB0"), hint);
    for (int error : {0, 2, ENOENT, EBUSY, ENOTTY, EINVAL, EIO})
        EXPECT_EQ(portOpenHint(error, "/dev/ttyUSB0"), "") << error;
}

TEST(SerialPortOpen, AppliesLineSettingsInRawMode) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    struct Case {
        std::string settings;
        speed_t speed;
        tcflag_t size;
        bool parity, odd, twoStop;
        int parityField, stopField;
    };
    const Case cases[] = {
        {":9600,n,8,1", B9600, CS8, false, false, false, 0, 0},
        {":1200,E,7,2", B1200, CS7, true, false, true, 2, 2},
        {":4800,o,5,1.5", B4800, CS5, true, true, true, 1, 1}, // 1.5 goes out as 2 stop bits
        {":115200,N,6,1", B115200, CS6, false, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SerialPort port;
        ASSERT_EQ(port.open(pty.slavePath() + c.settings), 0) << c.settings;
        EXPECT_TRUE(port.isOpen());
        EXPECT_TRUE(port.isPseudoTerminal());
        EXPECT_EQ(port.parity(), c.parityField);
        EXPECT_EQ(port.stopBits(), c.stopField);
        termios tio{};
        ASSERT_EQ(::tcgetattr(pty.slave(), &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), c.speed) << c.settings;
        EXPECT_EQ(::cfgetispeed(&tio), c.speed) << c.settings;
        // A pseudo-terminal forces CS8 without parity, so those two are checked as parsed.
        EXPECT_EQ(CS5 + static_cast<tcflag_t>(port.dataBits() - 5) * (CS6 - CS5), c.size) << c.settings;
        EXPECT_EQ(port.parity() != 0, c.parity) << c.settings;
        EXPECT_EQ(port.parity() == 1, c.odd) << c.settings;
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStop) << c.settings;
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    }
}

TEST(SerialPortOpen, ResolvesComNamesAndPathsWithColons) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    const auto defaults = SerialPort::defaultPortMap();
    EXPECT_EQ(defaults.at("COM1"), "/dev/ttyS0");
    EXPECT_EQ(defaults.at("COM4"), "/dev/ttyS3");
    for (const char* text : {"COM2:9600,n,8,1", "com2:9600,n,8,1"}) {
        SerialPort port;
        port.ports["COM2"] = pty.slavePath(); // each port has its own map
        EXPECT_EQ(port.open(text), 0) << text;
        EXPECT_EQ(port.deviceName(), pty.slavePath());
    }
    EXPECT_EQ(SerialPort().ports.at("COM2"), "/dev/ttyS1");
    EXPECT_EQ(SerialPort::resolvePortName("COM5", defaults), "");
    EXPECT_EQ(SerialPort::resolvePortName("/dev/ttyUSB0", defaults), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::resolvePortName("COM10", defaults), "");

    // A by-path style name with colons in it.
    const std::filesystem::path dir = tempDir();
    const std::filesystem::path link = dir / "pci-0000:00:14.0-usb-0:2:1.0-port0";
    std::filesystem::create_symlink(pty.slavePath(), link);
    SerialPort port;
    EXPECT_EQ(port.open(link.string() + ":9600,n,8,1"), 0);
    EXPECT_EQ(port.deviceName(), link.string());
    EXPECT_EQ(port.baudRate(), 9600);
    port.close();
    std::filesystem::remove_all(dir);
}

TEST(SerialPortOpen, HoldsTheDeviceExclusively) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort first;
    SerialPort second;
    ASSERT_EQ(first.open(pty.modeText()), 0);
    EXPECT_EQ(second.open(pty.modeText()), EBUSY);
    EXPECT_FALSE(second.isOpen());
    // Reopening an open object is refused and leaves it open and working.
    EXPECT_EQ(first.open(pty.modeText(1200)), EBUSY);
    EXPECT_TRUE(first.isOpen());
    EXPECT_EQ(first.baudRate(), 9600);
    EXPECT_EQ(pty.slaveBaud(), 9600);
    const uint8_t byte = 0x5A;
    EXPECT_EQ(first.write(&byte, 1), 0);
    EXPECT_EQ(pty.readAvailable(1000), std::vector<uint8_t>{0x5A});
    first.close();
    EXPECT_EQ(second.open(pty.modeText()), 0);
}

// A device the user may not open: the open reports EACCES, and lastOpenError keeps it for the
// hint. Root passes every permission check, so there the open runs in a child as "nobody".
TEST(SerialPortOpen, DeviceWithoutPermission) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    ASSERT_EQ(::fchmod(pty.slave(), 0), 0);
    const std::string mode = pty.modeText();
    auto attempt = [&mode] {
        SerialPort port;
        const int result = port.open(mode);
        return std::pair{result, !port.isOpen() && port.lastOpenError() == result};
    };
    if (::geteuid() != 0) {
        const auto [result, consistent] = attempt();
        EXPECT_EQ(result, EACCES);
        EXPECT_TRUE(consistent);
        return;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        const auto [result, consistent] = attempt();
        ::_exit(consistent ? result : 98);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 99)
        GTEST_SKIP() << "cannot drop root privileges here";
    EXPECT_EQ(WEXITSTATUS(status), EACCES);
}

TEST(SerialPortIo, ClosedPortRefusesEverything) {
    SerialPort port;
    uint8_t buffer[4] = {};
    EXPECT_EQ(port.read(buffer, 4), 0);
    EXPECT_EQ(port.write(buffer, 4), 1);
    EXPECT_EQ(port.write(buffer, 0), 1); // closed is tested first
    EXPECT_FALSE(port.hasInput());
    port.close();
    port.close();
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialPortIo, PurgesInputOnOpen) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    ASSERT_TRUE(pty.write({1, 2, 3}));
    ASSERT_TRUE(waitQueued(pty.slave(), 3));
    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText()), 0);
    EXPECT_FALSE(port.hasInput());
}

TEST(SerialPortIo, ReadsOnlyWhatIsQueuedUpTo1024) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText()), 0);
    port.readWaitMs = 1;
    uint8_t buffer[2000] = {};
    EXPECT_EQ(port.read(buffer, 10), 0);
    EXPECT_EQ(port.read(buffer, 0), 0);
    EXPECT_EQ(port.read(nullptr, 10), 0);

    ASSERT_TRUE(pty.write({7, 8, 9}));
    ASSERT_TRUE(waitQueued(pty.slave(), 3));
    EXPECT_TRUE(port.hasInput());
    EXPECT_TRUE(port.hasInput()); // consumes nothing
    EXPECT_EQ(port.read(buffer, 10), 3);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[2], 9);

    std::vector<uint8_t> many(1500);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(pty.write(many));
    ASSERT_TRUE(waitQueued(pty.slave(), 1500));
    EXPECT_EQ(port.read(buffer, 2000), 1024);
    EXPECT_EQ(buffer[1023], many[1023]);
    EXPECT_EQ(port.read(buffer, 2000), 476);
    EXPECT_EQ(buffer[475], many[1499]);
}

TEST(SerialPortIo, ReadWakesWhenALateByteArrives) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText()), 0);
    // A blind sleep would make this read take a minute; a wake on arrival returns the byte.
    port.readWaitMs = 60000;
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.write({0x42});
    });
    uint8_t byte = 0;
    EXPECT_EQ(port.read(&byte, 1), 1);
    EXPECT_EQ(byte, 0x42);
    late.join();
}

TEST(SerialPortIo, WritesEveryByteInOrder) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText(115200)), 0);
    std::vector<uint8_t> data(700);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i ^ 0x55);
    std::vector<uint8_t> seen;
    std::thread reader([&] { seen = pty.readBytes(700, 2000); });
    EXPECT_EQ(port.write(data.data(), static_cast<int>(data.size())), 0);
    reader.join();
    EXPECT_EQ(seen, data);
    EXPECT_EQ(port.write(data.data(), -1), 1);
    EXPECT_EQ(port.write(nullptr, 3), 1);
}

TEST(SerialPortIo, PseudoTerminalWritesTakeTheirWireTime) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText(1200)), 0);
    ASSERT_TRUE(port.isPseudoTerminal());
    // 30 characters of 10 bits at 1200 baud: 250 ms. Only the lower bound is checked.
    const std::vector<uint8_t> data(30, 0xA5);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.write(data.data(), 30), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(249));
    EXPECT_EQ(pty.readAvailable(1000).size(), 30u);
}

TEST(SerialPortIo, VanishedFarEndIsALineError) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText()), 0);
    port.readWaitMs = 60000; // must not be waited out
    pty.closeMaster();
    uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(port.hasInput());
    EXPECT_EQ(port.read(buffer, 8), 0);
    EXPECT_EQ(port.write(buffer, 8), 1);
    EXPECT_EQ(port.write(buffer, 0), 0);
    port.close();
    EXPECT_FALSE(port.isOpen());
}

} // namespace

namespace {

// The character format as the slave's termios holds it (a pseudo-terminal keeps only the stop bits).
bool slaveTwoStopBits(const PtyPair& pty) {
    termios tio{};
    return ::tcgetattr(pty.slave(), &tio) == 0 && (tio.c_cflag & CSTOPB) != 0;
}

TEST(SerialPortSpeed, SwitchesTheOpenPortToAnyRate) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText(9600)), 0);
    // Custom rates go through termios2, classic ones through cfsetspeed; each must replace the
    // one before it, in either direction.
    for (uint32_t baud : {125000u, 9600u, 31250u, 62500u, 115200u, 250000u, 1200u, 125000u}) {
        ASSERT_EQ(port.setBaud(baud), 0) << baud;
        EXPECT_EQ(pty.slaveBaud(), static_cast<int>(baud)) << baud;
        EXPECT_EQ(port.lineSettings().baud, baud);
        EXPECT_EQ(port.baudRate(), static_cast<int>(baud));
        // 10 bits a character: the pacing and the settle times follow the new rate.
        EXPECT_EQ(port.characterTime(10).count(), int64_t(100) * 1000000 / baud) << baud;
        const std::vector<uint8_t> data{0x55, static_cast<uint8_t>(baud), 0xAA};
        EXPECT_EQ(port.write(data.data(), 3), 0);
        EXPECT_EQ(pty.readBytes(3, 1000), data) << "bytes still flow at " << baud;
        ASSERT_TRUE(pty.write({0x31, 0x32}));
        uint8_t in[2] = {};
        ASSERT_TRUE(port.inputWithin(std::chrono::seconds(2)));
        int got = port.read(in, 2);
        if (got == 1)
            got += port.read(in + 1, 1);
        EXPECT_EQ(got, 2);
        EXPECT_EQ(in[1], 0x32);
    }
}

TEST(SerialPortSpeed, RefusedSettingsKeepTheOldOnes) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort closed;
    EXPECT_EQ(closed.setBaud(9600), EBADF);

    SerialPort port;
    ASSERT_EQ(port.open(pty.modeText(19200)), 0);
    ASSERT_EQ(port.setBaud(125000), 0);
    using P = SerialLineSettings::Parity;
    using S = SerialLineSettings::StopBits;
    const SerialLineSettings bad[] = {
        {0, 8, P::None, S::One},      {9600, 4, P::None, S::One},          {9600, 9, P::None, S::One},
        {9600, 8, P(7), S::One},      {9600, 8, P::None, S(9)},
    };
    for (const SerialLineSettings& s : bad) {
        EXPECT_EQ(port.setLineSettings(s), EINVAL) << s.baud << "/" << int(s.dataBits);
        EXPECT_EQ(port.lineSettings().baud, 125000u);
        EXPECT_EQ(pty.slaveBaud(), 125000) << "the line keeps the rate the target uses";
    }
    // The whole format switches, not only the rate.
    ASSERT_EQ(port.setLineSettings({2400, 7, P::Even, S::Two}), 0);
    EXPECT_EQ(pty.slaveBaud(), 2400);
    EXPECT_TRUE(slaveTwoStopBits(pty));
    EXPECT_EQ(port.dataBits(), 7);
    EXPECT_EQ(port.parity(), 2);
    ASSERT_EQ(port.setLineSettings({2400, 8, P::None, S::One}), 0);
    EXPECT_FALSE(slaveTwoStopBits(pty));
    // A reopen starts from the mode text again.
    port.close();
    EXPECT_EQ(port.setBaud(9600), EBADF);
    ASSERT_EQ(port.open(pty.modeText(4800)), 0);
    EXPECT_EQ(pty.slaveBaud(), 4800);
}

} // namespace
