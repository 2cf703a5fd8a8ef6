#include "LinkFixture.h"
#include "RegisterFrame.h"
#include "ScriptedPeer.h"
#include "TalkerModel.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 3);
    return b;
}

using TalkerLinkTest = LinkFixture;

TEST_F(TalkerLinkTest, ReadMemorySendsCountAndAddressAndGathersData) {
    struct Case {
        uint32_t address, count;
        Bytes header;
        size_t bytes;
    };
    const Case cases[] = {
        {0xB600, 0, {0x01, 0x00, 0xB6, 0x00}, 256},
        {0x1000, 300, {0x01, 0x2C, 0x10, 0x00}, 44}, // only the low 8 bits travel
        {0x12345, 1, {0x01, 0x01, 0x23, 0x45}, 1},
    };
    for (const auto& c : cases) {
        ScriptedPeer peer(pty);
        const Bytes data = pattern(c.bytes, 0x11);
        peer.start([&](ScriptedPeer& p) {
            p.echoCommand();
            p.expect(3);
            // Deliver in pieces, each well within a read wait.
            const size_t half = data.size() / 2;
            p.send(Bytes(data.begin(), data.begin() + static_cast<long>(half)));
            ScriptedPeer::pause(5);
            p.send(Bytes(data.begin() + static_cast<long>(half), data.end()));
        });
        Bytes buffer(256, 0xEE);
        EXPECT_EQ(link.readMemory(c.address, c.count, buffer.data()), kTalkerOk);
        EXPECT_EQ(peer.finish(), c.header);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(c.bytes)), data);
    }
}

TEST_F(TalkerLinkTest, ShortReadIsCommErrorAndKeepsPartialData) {
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.echoCommand();
        p.expect(3);
        p.send(Bytes(100, 0x77));
    });
    Bytes buffer(256, 0);
    EXPECT_EQ(link.readMemory(0x2000, 0, buffer.data()), kTalkerCommError);
    peer.finish();
    EXPECT_EQ(buffer[99], 0x77);
    EXPECT_EQ(buffer[100], 0x00);
}

// Every command against a wrong echo and against silence: status and the exact wire traffic.
TEST_F(TalkerLinkTest, WrongEchoAndSilence) {
    uint32_t SP = 0, X = 0, Y = 0, PC = 0;
    uint8_t CCR = 0, B = 0, A = 0;
    const uint8_t data[2] = {1, 2};
    uint8_t buffer[2] = {};
    struct Case {
        const char* name;
        uint8_t cmd;
        TalkerStatus wrongEcho;
        std::function<TalkerStatus()> call;
    };
    const Case cases[] = {
        {"readMemory", 0x01, kTalkerBadEcho, [&] { return link.readMemory(0x100, 2, buffer); }},
        {"writeMemory", 0x41, kTalkerBadEcho, [&] { return link.writeMemory(0x100, 2, data); }},
        {"readRegisters", 0x81, kTalkerBadEcho,
         [&] { return link.readRegisters(SP, CCR, B, A, X, Y, PC); }},
        {"writeRegisters", 0xC1, kTalkerRegisterWriteFailed,
         [&] { return link.writeRegisters(1, 2, 3, 4, 5, 6, 7); }},
    };
    for (const auto& c : cases) {
        for (bool silent : {false, true}) {
            ScriptedPeer peer(pty);
            peer.start([&](ScriptedPeer& p) {
                p.expect(1);
                if (!silent)
                    p.send({0xFF});
            });
            EXPECT_EQ(c.call(), silent ? kTalkerNoResponse : c.wrongEcho) << c.name << silent;
            EXPECT_EQ(peer.finish(), Bytes{c.cmd}) << c.name << silent;
        }
    }
    // The register write answered with the read echo: 13, and no frame byte goes out.
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.expect(1);
        p.send({0x7E});
    });
    EXPECT_EQ(link.writeRegisters(1, 2, 3, 4, 5, 6, 7), kTalkerRegisterWriteFailed);
    EXPECT_EQ(peer.finish(), Bytes{0xC1});
}

TEST_F(TalkerLinkTest, WriteMemoryVerifiesByReadingBack) {
    const Bytes data{0x10, 0x20, 0x30, 0x40};
    for (bool differ : {false, true}) {
        ScriptedPeer peer(pty);
        peer.start([&](ScriptedPeer& p) {
            p.echoCommand();
            p.expect(7);
            p.echoCommand();
            p.expect(3);
            Bytes back = data;
            if (differ)
                back[2] ^= 0x01;
            p.send(back);
        });
        EXPECT_EQ(link.writeMemory(0xC010, 4, data.data()), differ ? kTalkerBadEcho : kTalkerOk);
        EXPECT_EQ(peer.finish(), concat({{0x41, 0x04, 0xC0, 0x10}, data, {0x01, 0x04, 0xC0, 0x10}}));
    }
}

TEST_F(TalkerLinkTest, RegisterFrameBothWays) {
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.echoCommand();
        p.send({0x00, 0x4F, 0xD4, 0x12, 0x34, 0xAB, 0xCD, 0x98, 0x76, 0xE0, 0x01});
    });
    RegisterFrame frame(link);
    EXPECT_EQ(frame.read(), kTalkerOk);
    peer.finish();
    EXPECT_EQ(frame.SP, 0x004Fu);
    EXPECT_EQ(frame.CCR, 0xD4);
    EXPECT_EQ(frame.B, 0x12);
    EXPECT_EQ(frame.A, 0x34);
    EXPECT_EQ(frame.X, 0xABCDu);
    EXPECT_EQ(frame.Y, 0x9876u);
    EXPECT_EQ(frame.PC, 0xE001u);

    ScriptedPeer writer(pty);
    writer.start([](ScriptedPeer& p) { p.echoCommand(); });
    frame.PC = 0x1234;
    frame.X = 0x1ABCD; // only the low 16 bits travel
    EXPECT_EQ(frame.write(), kTalkerOk);
    EXPECT_EQ(writer.finish(),
              (Bytes{0xC1, 0x00, 0x4F, 0xD4, 0x12, 0x34, 0xAB, 0xCD, 0x98, 0x76, 0x12, 0x34}));
}

TEST_F(TalkerLinkTest, RegisterFrameCutShortKeepsWhatArrived) {
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.echoCommand();
        p.send({0x01, 0x02, 0x03, 0x04, 0x05, 0x66}); // X low byte never comes
    });
    uint32_t SP = 0, X = 0, Y = 0x7777, PC = 0x8888;
    uint8_t CCR = 0, B = 0, A = 0;
    EXPECT_EQ(link.readRegisters(SP, CCR, B, A, X, Y, PC), kTalkerNoResponse);
    peer.finish();
    EXPECT_EQ(SP, 0x0102u);
    EXPECT_EQ(A, 0x05);
    EXPECT_EQ(X, 0x6600u);
    EXPECT_EQ(Y, 0x7777u);
    EXPECT_EQ(PC, 0x8888u);
}

TEST_F(TalkerLinkTest, PollSwiConsumesOneByteAndNeverWaits) {
    port.readWaitMs = 60000;
    EXPECT_FALSE(link.pollSwi());
    auto arrived = [&] {
        for (int i = 0; i < 1000 && !port.hasInput(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return port.hasInput();
    };
    pty.write({0x41});
    ASSERT_TRUE(arrived());
    EXPECT_FALSE(link.pollSwi());
    EXPECT_FALSE(port.hasInput());
    pty.write({0x4A});
    ASSERT_TRUE(arrived());
    EXPECT_TRUE(link.pollSwi());
    link.closePort();
    EXPECT_FALSE(link.pollSwi());
}

TEST_F(TalkerLinkTest, ConfirmSwiReportsTheSwiAddress) {
    struct Case {
        uint8_t hi, lo;
        uint32_t pc;
    };
    for (const auto& c : {Case{0xC1, 0x00, 0xC0FF}, Case{0x00, 0x00, 0xFFFF}, Case{0xE0, 0x11, 0xE010}}) {
        ScriptedPeer peer(pty);
        peer.start([&](ScriptedPeer& p) {
            p.expect(1);
            p.send({0x4A, c.hi, c.lo, 0x00, 0x41, 0xC0, 0x0B, 0x0A, 0x12, 0x34, 0x56, 0x78, 0x99, 0x99});
        });
        uint32_t PC = 0, SP = 0, X = 0, Y = 0;
        uint8_t CCR = 0, B = 0, A = 0;
        EXPECT_EQ(link.confirmSwi(PC, SP, CCR, B, A, X, Y), kTalkerOk);
        EXPECT_EQ(peer.finish(), Bytes{0xB5});
        EXPECT_EQ(PC, c.pc);
        EXPECT_EQ(SP, 0x0041u);
        EXPECT_EQ(CCR, 0xC0);
        EXPECT_EQ(B, 0x0B);
        EXPECT_EQ(A, 0x0A);
        EXPECT_EQ(X, 0x1234u);
        EXPECT_EQ(Y, 0x5678u);
    }
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.expect(1);
        p.send({0x4A, 0x10, 0x00, 0x00, 0x41, 0xC0, 0x0B, 0x0A, 0x12, 0x34, 0x56, 0x78, 0x99});
    });
    uint32_t PC = 0, SP = 0, X = 0, Y = 0;
    uint8_t CCR = 0, B = 0, A = 0;
    EXPECT_EQ(link.confirmSwi(PC, SP, CCR, B, A, X, Y), kTalkerNoResponse);
    peer.finish();
}

TEST_F(TalkerLinkTest, ClosedPortSendsNothing) {
    link.closePort();
    uint8_t buffer[4] = {};
    uint32_t SP = 0, X = 0, Y = 0, PC = 0;
    uint8_t CCR = 0, B = 0, A = 0;
    EXPECT_EQ(link.readMemory(0, 4, buffer), kTalkerPortNotOpen);
    EXPECT_EQ(link.writeMemory(0, 4, buffer), kTalkerPortNotOpen);
    EXPECT_EQ(link.readRegisters(SP, CCR, B, A, X, Y, PC), kTalkerPortNotOpen);
    EXPECT_EQ(link.writeRegisters(SP, CCR, B, A, X, Y, PC), kTalkerPortNotOpen);
    EXPECT_EQ(link.confirmSwi(PC, SP, CCR, B, A, X, Y), kTalkerCommError);
    EXPECT_EQ(link.resetTarget(), kTalkerPortNotOpen);
    EXPECT_TRUE(pty.readAvailable(0).empty());
    EXPECT_EQ(link.openPort("COM1:9600,q,8,1"), kTalkerPortOpenFailed);
}

TEST_F(TalkerLinkTest, VanishedTargetNeverHangs) {
    port.readWaitMs = 60000;
    pty.closeMaster();
    uint8_t buffer[4] = {};
    EXPECT_EQ(link.readMemory(0, 4, buffer), kTalkerCommError);
    EXPECT_FALSE(link.pollSwi());
}

TEST_F(TalkerLinkTest, ResetThroughTheClockMonitor) {
    TalkerModel model(pty);
    EXPECT_EQ(link.resetTarget(), kTalkerOk);
    EXPECT_EQ(model.resets(), 1);
    const auto log = model.commands();
    // Five verified writes; the last read-back is swallowed by the reset.
    ASSERT_EQ(log.size(), 10u);
    const uint16_t addresses[] = {0x00FD, 0x00FE, 0x00FF, 0x1039, 0x103E};
    const uint8_t values[] = {0x7E, 0x00, 0x00, 0x08, 0x04};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(log[2 * i].kind, 0x41);
        EXPECT_EQ(log[2 * i].address, addresses[i]);
        EXPECT_EQ(log[2 * i].data, Bytes{values[i]});
    }
    EXPECT_FALSE(log[9].answered);

    model.clearLogs();
    model.setResetWorks(false);
    EXPECT_EQ(link.resetTarget(), kTalkerResetFailed);

    // A failure in step 2 is returned and nothing goes to OPTION or TEST1.
    model.clearLogs();
    model.setRom(0x00FE, 0x00FE);
    model.poke(0x00FE, {0x55});
    EXPECT_EQ(link.resetTarget(), kTalkerBadEcho);
    for (const auto& c : model.commands())
        EXPECT_LT(c.address, 0x1000);
}

std::filesystem::path makeTempDir() {
    char pattern[] = "/tmp/tarvik11-boot-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? std::filesystem::path(made) : std::filesystem::path();
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(TalkerLinkTest, BootRamTalkerDownloadsAndReopensAt9600) {
    const auto dir = makeTempDir();
    Bytes image = pattern(257, 0x40);
    image[0] = 0xFF;
    writeFile(dir / "talker.boo", image);
    TalkerModel model(pty);
    model.setBootMode(true);
    model.setConfig(0x0D);
    link.eepromEnabled = 0;
    EXPECT_EQ(link.bootRamTalker(pty.slavePath(), (dir / "talker.boo").string()), kTalkerOk);
    EXPECT_EQ(model.bootBytes(), image);
    EXPECT_EQ(model.bootBaud(), 1200);
    EXPECT_EQ(port.baudRate(), 9600);
    EXPECT_EQ(pty.slaveBaud(), 9600);
    EXPECT_EQ(link.eepromEnabled, 1);
    const auto log = model.commands(); // the echoed download was purged: one clean read
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, 0x01);
    EXPECT_EQ(log[0].address, 0x103F);
    EXPECT_EQ(model.peek(0x0000), image[1]);
    std::filesystem::remove_all(dir);
}

TEST_F(TalkerLinkTest, BootFileProblemsStopBeforeAnythingIsSent) {
    const auto dir = makeTempDir();
    writeFile(dir / "short.boo", Bytes(256, 1));
    writeFile(dir / "long.boo", Bytes(258, 1));
    writeFile(dir / "ok.boo", Bytes(257, 1));
    std::filesystem::create_directory(dir / "folder.boo");
    struct Case {
        bool rom;
        std::string file;
        TalkerStatus status;
    };
    const Case cases[] = {
        {false, "missing.boo", kTalkerFileOpenFailed}, {false, "folder.boo", kTalkerFileOpenFailed},
        {false, "short.boo", kTalkerFileInvalid},      {false, "long.boo", kTalkerFileInvalid},
        {false, "", kTalkerFileOpenFailed},            {true, "missing.map", kTalkerMapFileFailed},
        {true, "folder.boo", kTalkerMapFileFailed},
    };
    for (const auto& c : cases) {
        const std::string path = c.file.empty() ? std::string() : (dir / c.file).string();
        const TalkerStatus status = c.rom ? link.bootRomTalker(pty.slavePath(), path)
                                          : link.bootRamTalker(pty.slavePath(), path);
        EXPECT_EQ(status, c.status) << c.file;
        EXPECT_EQ(port.isOpen(), 1) << c.file; // left open at 1200 baud
        EXPECT_EQ(pty.slaveBaud(), 1200) << c.file;
        EXPECT_TRUE(pty.readAvailable(0).empty()) << c.file;
    }
    if (::geteuid() != 0) {
        ::chmod((dir / "ok.boo").c_str(), 0);
        EXPECT_EQ(link.bootRamTalker(pty.slavePath(), (dir / "ok.boo").string()), kTalkerFileOpenFailed);
        EXPECT_EQ(link.bootRomTalker(pty.slavePath(), (dir / "ok.boo").string()), kTalkerMapFileFailed);
    }
    EXPECT_EQ(link.bootRamTalker("COM7", (dir / "ok.boo").string()), kTalkerPortOpenFailed);
    EXPECT_EQ(link.bootRomTalker("/dev/tarvik11-none", (dir / "ok.boo").string()), kTalkerPortOpenFailed);
    std::filesystem::remove_all(dir);
}

TEST_F(TalkerLinkTest, BootRomTalkerClosesAnOpenPortFirst) {
    const auto dir = makeTempDir();
    writeFile(dir / "talker.map", Bytes{1, 2, 3});
    TalkerModel model(pty);
    model.setBootMode(true);
    model.poke(0x1037, {0x03});
    ASSERT_EQ(port.isOpen(), 1); // open at 9600 from the fixture
    EXPECT_EQ(link.bootRomTalker(pty.slavePath(), (dir / "talker.map").string()), kTalkerOk);
    EXPECT_EQ(model.bootBytes(), Bytes{0x00});
    EXPECT_EQ(link.eepromEnabled, 1);
    EXPECT_EQ(pty.slaveBaud(), 9600);
    const auto log = model.commands();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].address, 0x1037);
    std::filesystem::remove_all(dir);
}

} // namespace
