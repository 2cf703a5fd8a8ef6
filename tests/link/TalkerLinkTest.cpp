#include "LinkFixture.h"
#include "ScriptedPeer.h"
#include "TalkerModel.h"
#include "link/TargetMemory.h"

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

// Waits (bounded) until the host's port has input queued.
bool inputArrives(SerialPort& port) {
    for (int i = 0; i < 1000 && !port.hasInput(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return port.hasInput();
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
    Registers r;
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
         [&] { return link.readRegisters(r); }},
        {"writeRegisters", 0xC1, kTalkerRegisterWriteFailed,
         [&] { return link.writeRegisters(Registers{1, 2, 3, 4, 5, 6, 7}); }},
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
            // The command the talker may be left in is finished harmlessly: a read of two bytes of
            // its own RAM, a write of zeros to COPRST and PPROG; a register read needs nothing and a
            // register write cannot be finished without a frame.
            Bytes expected{c.cmd};
            if (c.cmd == 0x01)
                expected.insert(expected.end(), {0x02, 0x00, 0x02});
            if (c.cmd == 0x41)
                expected.insert(expected.end(), {0x02, 0x10, 0x3A, 0x00, 0x00});
            EXPECT_EQ(peer.finish(), expected) << c.name << silent;
        }
    }
    // The register write answered with the read echo: 13, and no frame byte goes out.
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.expect(1);
        p.send({0x7E});
    });
    EXPECT_EQ(link.writeRegisters(Registers{1, 2, 3, 4, 5, 6, 7}), kTalkerRegisterWriteFailed);
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
    Registers frame;
    EXPECT_EQ(link.readRegisters(frame), kTalkerOk);
    EXPECT_EQ(peer.finish(), Bytes{0x81});
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
    EXPECT_EQ(link.writeRegisters(frame), kTalkerOk);
    EXPECT_EQ(writer.finish(),
              (Bytes{0xC1, 0x00, 0x4F, 0xD4, 0x12, 0x34, 0xAB, 0xCD, 0x98, 0x76, 0x12, 0x34}));
}

// After a register write whose echo went missing, the frame the talker waits for is sent, unless a
// talker that never got the command would take one of its bytes as a write (or the frame ends
// inside a read's arguments); other failures send nothing.
TEST_F(TalkerLinkTest, LostRegisterWriteEchoIsFinishedOnlyWhenHarmless) {
    struct Case {
        const char* name;
        Registers frame;
        TalkerStatus failure;
        bool sent;
    };
    Registers plain;
    plain.SP = 0x00B0;
    plain.CCR = 0xD0;
    plain.X = 0x1234;
    plain.PC = 0xC010;
    Registers storesData = plain;
    storesData.A = TalkerCmd::kWriteMemory;
    Registers writesFrame = plain;
    writesFrame.Y = static_cast<uint32_t>(TalkerCmd::kWriteRegisters) << 8;
    Registers readAtEnd = plain;
    readAtEnd.PC = 0xC001; // a $01 with only one byte after it
    const Case cases[] = {
        {"plain frame, no echo", plain, kTalkerNoResponse, true},
        {"plain frame, damaged echo", plain, kTalkerRegisterWriteFailed, true},
        {"other failure", plain, kTalkerCommError, false},
        {"a byte that stores", storesData, kTalkerNoResponse, false},
        {"a byte that writes registers", writesFrame, kTalkerNoResponse, false},
        {"a read cut off by the frame's end", readAtEnd, kTalkerNoResponse, false},
    };
    for (const Case& c : cases) {
        ScriptedPeer peer(pty);
        peer.start([](ScriptedPeer&) {});
        EXPECT_EQ(link.finishRegisterWrite(c.frame, c.failure), c.sent) << c.name;
        const auto frame = TalkerLink::frameBytes(c.frame);
        const Bytes expected = c.sent ? Bytes(frame.begin(), frame.end()) : Bytes{};
        EXPECT_EQ(peer.finish(), expected) << c.name;
    }
}

TEST_F(TalkerLinkTest, RegisterFrameCutShortKeepsWhatArrived) {
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.echoCommand();
        p.send({0x01, 0x02, 0x03, 0x04, 0x05, 0x66}); // X low byte never comes
    });
    Registers r;
    r.Y = 0x7777;
    r.PC = 0x8888;
    EXPECT_EQ(link.readRegisters(r), kTalkerNoResponse);
    peer.finish();
    EXPECT_EQ(r, (Registers{0x0102, 0x03, 0x04, 0x05, 0x6600, 0x7777, 0x8888}));
}

TEST_F(TalkerLinkTest, PollSwiConsumesOneByteAndNeverWaits) {
    port.readWaitMs = 60000;
    EXPECT_FALSE(link.pollSwi());
    pty.write({0x41});
    ASSERT_TRUE(inputArrives(port));
    EXPECT_FALSE(link.pollSwi());
    EXPECT_FALSE(port.hasInput());
    pty.write({0x4A});
    ASSERT_TRUE(inputArrives(port));
    EXPECT_TRUE(link.pollSwi());
    link.closePort();
    EXPECT_FALSE(link.pollSwi());
}

// A pending hit ends with the confirmation it stands for, and with the line closing.
TEST_F(TalkerLinkTest, PendingHitEndsWithItsConfirmationOrTheLine) {
    TalkerModel model(pty);
    Registers r;
    uint8_t byte = 0;
    model.swiBeforeNextEcho(0xC010);
    ASSERT_EQ(link.readMemory(0x0000, 1, &byte), kTalkerOk);
    ASSERT_TRUE(link.swiPending());
    EXPECT_EQ(link.confirmSwi(r), kTalkerOk);
    EXPECT_EQ(r.PC, 0xC010u);
    EXPECT_FALSE(link.swiPending());
    EXPECT_FALSE(link.pollSwi());

    model.swiBeforeNextEcho(0xC020);
    ASSERT_EQ(link.readMemory(0x0000, 1, &byte), kTalkerOk);
    ASSERT_TRUE(link.swiPending());
    link.closePort();
    EXPECT_FALSE(link.swiPending());
    ASSERT_EQ(link.openPort(pty.modeText()), kTalkerOk);
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
        Registers r;
        EXPECT_EQ(link.confirmSwi(r), kTalkerOk);
        EXPECT_EQ(peer.finish(), Bytes{0xB5});
        EXPECT_FALSE(link.swiPending()); // the reply's first byte, $4A here, is no hit
        EXPECT_EQ(r, (Registers{0x0041, 0xC0, 0x0B, 0x0A, 0x1234, 0x5678, c.pc}));
    }
    ScriptedPeer peer(pty);
    peer.start([](ScriptedPeer& p) {
        p.expect(1);
        p.send({0x4A, 0x10, 0x00, 0x00, 0x41, 0xC0, 0x0B, 0x0A, 0x12, 0x34, 0x56, 0x78, 0x99});
    });
    Registers r;
    EXPECT_EQ(link.confirmSwi(r), kTalkerNoResponse);
    peer.finish();
}

// A "J" or stale bytes queued before a command, and a "J" or a late byte where the echo belongs,
// for every command with an echo: the command succeeds, the wire carries exactly the plain
// protocol, and a "J" comes out of pollSwi once.
TEST_F(TalkerLinkTest, LineFaultsAroundTheEchoOfEveryCommand) {
    Registers r;
    uint8_t buffer[3] = {};
    const uint8_t data[2] = {0x05, 0x06};
    const Bytes frame{0x00, 0x4F, 0xD4, 0x12, 0x34, 0xAB, 0xCD, 0x98, 0x76, 0xE0, 0x01};
    struct Command {
        const char* name;
        uint8_t cmd;
        std::function<TalkerStatus()> call;
        std::function<void(ScriptedPeer&)> afterEcho; // the rest of the talker's side
        Bytes wire;
    };
    const Command commands[] = {
        {"readMemory", 0x01, [&] { return link.readMemory(0x1234, 3, buffer); },
         [](ScriptedPeer& p) {
             p.expect(3);
             p.send({0x11, 0x22, 0x33});
         },
         {0x01, 0x03, 0x12, 0x34}},
        {"writeMemory", 0x41, [&] { return link.writeMemory(0x1234, 2, data); },
         [](ScriptedPeer& p) {
             p.expect(5);
             p.echoCommand();
             p.expect(3);
             p.send({0x05, 0x06});
         },
         {0x41, 0x02, 0x12, 0x34, 0x05, 0x06, 0x01, 0x02, 0x12, 0x34}},
        {"readRegisters", 0x81, [&] { return link.readRegisters(r); },
         [&](ScriptedPeer& p) { p.send(frame); }, {0x81}},
        {"writeRegisters", 0xC1, [&] { return link.writeRegisters(Registers{0x4F, 0xD4, 0x12, 0x34, 0xABCD, 0x9876, 0xE001}); },
         [](ScriptedPeer& p) { p.expect(11); }, concat({{0xC1}, frame})},
    };
    struct Fault {
        const char* name;
        Bytes queued;     // waiting on the line before the command
        Bytes aheadOfEcho; // sent right after the command, before its echo
        bool hit;
    };
    const Fault faults[] = {
        {"clean line", {}, {}, false},
        {"J queued", {0x4A}, {}, true},
        {"stale bytes queued", {0x12, 0xFE, 0x7E, 0x00}, {}, false},
        {"stale bytes and a J queued", {0x12, 0x4A, 0x00}, {}, true},
        {"J ahead of the echo", {}, {0x4A}, true},
        {"late byte ahead of the echo", {}, {0x5A}, false},
        {"late byte and J ahead of the echo", {}, {0x5A, 0x4A}, true},
    };
    for (const auto& c : commands) {
        for (const auto& f : faults) {
            SCOPED_TRACE(std::string(c.name) + ", " + f.name);
            if (!f.queued.empty()) {
                pty.write(f.queued);
                ASSERT_TRUE(inputArrives(port));
            }
            ScriptedPeer peer(pty);
            peer.start([&](ScriptedPeer& p) {
                p.expect(1);
                p.send(concat({f.aheadOfEcho, {static_cast<uint8_t>(~c.cmd)}}));
                c.afterEcho(p);
            });
            EXPECT_EQ(c.call(), kTalkerOk);
            EXPECT_EQ(peer.finish(), c.wire);
            EXPECT_EQ(link.strayBeforeLastCommand(), !f.queued.empty() || !f.aheadOfEcho.empty());
            EXPECT_EQ(link.swiPending(), f.hit);
            EXPECT_EQ(link.pollSwi(), f.hit);
            EXPECT_FALSE(link.swiPending());
            EXPECT_FALSE(link.pollSwi());
        }
    }
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x11, 0x22, 0x33}));
    EXPECT_EQ(r, (Registers{0x004F, 0xD4, 0x12, 0x34, 0xABCD, 0x9876, 0xE001}));
}

// What may come where the echo belongs: one "J" and one stray byte are passed over, nothing more.
TEST_F(TalkerLinkTest, EchoPositionSequences) {
    struct Case {
        Bytes sent;
        TalkerStatus status;
        bool hit;
    };
    const Case cases[] = {
        {{0xFE}, kTalkerOk, false},
        {{0x4A, 0xFE}, kTalkerOk, true},
        {{0x33, 0xFE}, kTalkerOk, false},
        {{0x4A, 0x33, 0xFE}, kTalkerOk, true},
        {{0x33, 0x4A, 0xFE}, kTalkerOk, true},
        {{0x4A, 0x4A, 0xFE}, kTalkerOk, true},        // the second "J" is the one stray byte
        {{0x33, 0x44, 0xFE}, kTalkerBadEcho, false},
        {{0x4A, 0x33, 0x44, 0xFE}, kTalkerBadEcho, true},
        {{0x33}, kTalkerBadEcho, false},
        {{0x4A}, kTalkerNoResponse, true},
        {{}, kTalkerNoResponse, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.sent));
        ScriptedPeer peer(pty);
        peer.start([&](ScriptedPeer& p) {
            p.expect(1);
            p.send(c.sent);
            if (c.status == kTalkerOk) {
                p.expect(3);
                p.send({0x9A});
            }
        });
        uint8_t byte = 0;
        EXPECT_EQ(link.readMemory(0x0042, 1, &byte), c.status);
        // A missing or damaged echo: the read the talker may be in is finished with two bytes of its
        // own RAM, bytes an idle talker drops.
        EXPECT_EQ(peer.finish(), c.status == kTalkerOk ? (Bytes{0x01, 0x01, 0x00, 0x42}) : (Bytes{0x01, 0x02, 0x00, 0x02}));
        if (c.status == kTalkerOk) {
            EXPECT_EQ(byte, 0x9A);
        }
        EXPECT_EQ(link.pollSwi(), c.hit);
        (void)pty.readAvailable(0);
        while (port.hasInput())
            (void)link.pollSwi();
    }
}

// A reply followed by stray bytes is repeated once; a repeat followed by them too gives 11.
TEST_F(TalkerLinkTest, ReplyFollowedByStrayBytesIsRepeatedOnceThenFails) {
    TalkerModel model(pty);
    const Bytes memoryBytes = pattern(16, 0x21);
    model.poke(0x2000, memoryBytes);
    TalkerModel::Registers regs;
    regs.SP = 0x0041;
    regs.CCR = 0xC4;
    regs.B = 0x0B;
    regs.A = 0x0A;
    regs.X = 0x1234;
    regs.Y = 0x5678;
    regs.PC = 0xC101;
    model.setRegisters(regs);
    enum class Call { Read, Write, Registers, Confirm };
    struct Case {
        const char* name;
        Call call;
        std::function<void()> fault;
        TalkerStatus status;
        Bytes kinds; // the commands the talker saw
    };
    const Case cases[] = {
        {"$01 echo doubled", Call::Read, [&] { model.doubleReplyByte(0); }, kTalkerOk, {0x01, 0x01}},
        {"$01 data byte doubled", Call::Read, [&] { model.doubleReplyByte(7); }, kTalkerOk, {0x01, 0x01}},
        {"$01 last data byte doubled", Call::Read, [&] { model.doubleReplyByte(16); }, kTalkerOk, {0x01, 0x01}},
        {"$01 stray byte behind the data", Call::Read, [&] { model.trailReplies({0x55}); }, kTalkerOk, {0x01, 0x01}},
        {"$01 doubled in the repeat too", Call::Read, [&] { model.doubleReplyByte(7, 2); }, kTalkerBadEcho,
         {0x01, 0x01}},
        {"$41 echo doubled", Call::Write, [&] { model.doubleReplyByte(0); }, kTalkerOk, {0x41, 0x01}},
        {"$41 and its read-back doubled", Call::Write, [&] { model.doubleReplyByte(0, 2); }, kTalkerOk,
         {0x41, 0x01, 0x01}},
        {"$41 read-back doubled twice", Call::Write, [&] { model.doubleReplyByte(0, 3); }, kTalkerBadEcho,
         {0x41, 0x01, 0x01}},
        {"$81 stray bytes behind the frame", Call::Registers, [&] { model.trailReplies({0x01, 0x02}); },
         kTalkerOk, {0x81, 0x81}},
        {"$81 frame byte doubled", Call::Registers, [&] { model.doubleReplyByte(3); }, kTalkerOk, {0x81, 0x81}},
        {"$81 doubled in the repeat too", Call::Registers, [&] { model.doubleReplyByte(3, 2); },
         kTalkerBadEcho, {0x81, 0x81}},
        {"$B5 reply byte doubled", Call::Confirm, [&] { model.doubleReplyByte(4); }, kTalkerOk, {0xB5, 0xB5}},
        {"$B5 first byte doubled", Call::Confirm, [&] { model.doubleReplyByte(0); }, kTalkerOk, {0xB5, 0xB5}},
        {"$B5 stray byte behind it twice", Call::Confirm, [&] { model.trailReplies({0x00}, 2); },
         kTalkerBadEcho, {0xB5, 0xB5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model.clearLogs();
        c.fault();
        Registers r;
        Bytes buffer(16, 0);
        TalkerStatus status = kTalkerOk;
        switch (c.call) {
        case Call::Read: status = link.readMemory(0x2000, 16, buffer.data()); break;
        case Call::Write: status = link.writeMemory(0x2000, 16, memoryBytes.data()); break;
        case Call::Registers: status = link.readRegisters(r); break;
        case Call::Confirm: status = link.confirmSwi(r); break;
        }
        EXPECT_EQ(status, c.status);
        Bytes kinds;
        for (const auto& command : model.commands())
            kinds.push_back(command.kind);
        EXPECT_EQ(kinds, c.kinds);
        if (status == kTalkerOk && c.call == Call::Read) {
            EXPECT_EQ(buffer, memoryBytes);
        }
        if (status == kTalkerOk && (c.call == Call::Registers || c.call == Call::Confirm)) {
            EXPECT_EQ(r, (Registers{0x0041, 0xC4, 0x0B, 0x0A, 0x1234, 0x5678,
                                    c.call == Call::Confirm ? 0xC100u : 0xC101u}));
        }
        EXPECT_FALSE(link.swiPending());
        // Whatever a failed repeat left on the line goes with the next command's sweep.
        model.clearLogs();
        EXPECT_EQ(link.readMemory(0x2000, 16, buffer.data()), kTalkerOk);
        EXPECT_EQ(buffer, memoryBytes);
    }
}

// A settled reply end waits for a stray byte that comes a little after the reply.
TEST_F(TalkerLinkTest, SettledReplyEndWaitsForALateStrayByte) {
    // At 50 baud two character times are 400 ms: the stray byte, 50 ms late, falls well inside.
    link.closePort();
    port.paceOnPseudoTerminal = false;
    ASSERT_EQ(link.openPort(pty.modeText(50)), kTalkerOk);
    const Bytes data{0x10, 0x20, 0x30};
    ScriptedPeer peer(pty);
    peer.start([&](ScriptedPeer& p) {
        p.echoCommand();
        p.expect(3);
        p.send(data);
        ScriptedPeer::pause(50);
        p.send({0x30});
        p.echoCommand();
        p.expect(3);
        p.send(data);
    });
    Bytes buffer(3, 0);
    EXPECT_EQ(link.readMemory(0x0100, 3, buffer.data(), ReplyEnd::Settled), kTalkerOk);
    EXPECT_EQ(peer.finish(), concat({{0x01, 0x03, 0x01, 0x00}, {0x01, 0x03, 0x01, 0x00}}));
    EXPECT_EQ(buffer, data);
}

// A doubled byte whose stray tail is met only by the next piece's command (ahead of its echo, as
// on a real line): the block read goes back and reads that piece again, once.
TEST_F(TalkerLinkTest, BlockReadRepeatsThePieceAStrayByteFollowed) {
    TargetMemory memory(link);
    const Bytes piece0 = pattern(256, 0x03);
    const Bytes piece1 = pattern(256, 0x81);
    // piece 0 with its byte 9 doubled, cut after 256 bytes: its real last byte is still to come.
    Bytes shifted(piece0.begin(), piece0.begin() + 10);
    shifted.insert(shifted.end(), piece0.begin() + 9, piece0.end() - 1);
    struct Case {
        const char* name;
        int shiftedRounds;   // how many reads of piece 0 come shifted
        bool hitBetween;     // a "J" ahead of piece 1's echo in the first round
        TalkerStatus status;
    };
    const Case cases[] = {
        {"tail byte ahead of the next echo", 1, false, kTalkerOk},
        {"a hit between the pieces", 0, true, kTalkerOk},
        {"shifted again in the repeat", 2, false, kTalkerBadEcho},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(pty);
        peer.start([&](ScriptedPeer& p) {
            for (int round = 0; round < 2; ++round) {
                const bool shift = round < c.shiftedRounds;
                p.echoCommand();
                p.expect(3);
                p.send(shift ? shifted : piece0);
                p.expect(1);
                Bytes ahead;
                if (shift)
                    ahead.push_back(piece0.back());
                if (c.hitBetween && round == 0)
                    ahead.push_back(0x4A);
                ahead.push_back(0xFE);
                p.send(ahead);
                p.expect(3);
                p.send(piece1);
            }
        });
        Bytes buffer(512, 0);
        EXPECT_EQ(memory.readBlock(0x1000, 512, buffer.data()), c.status);
        const Bytes read0{0x01, 0x00, 0x10, 0x00};
        const Bytes read1{0x01, 0x00, 0x11, 0x00};
        EXPECT_EQ(peer.finish(), concat({read0, read1, read0, read1}));
        if (c.status == kTalkerOk) {
            EXPECT_EQ(buffer, concat({piece0, piece1}));
        }
        EXPECT_EQ(link.pollSwi(), c.hitBetween);
    }
}

TEST_F(TalkerLinkTest, ClosedPortSendsNothing) {
    link.closePort();
    uint8_t buffer[4] = {};
    Registers r;
    EXPECT_EQ(link.readMemory(0, 4, buffer), kTalkerPortNotOpen);
    EXPECT_EQ(link.writeMemory(0, 4, buffer), kTalkerPortNotOpen);
    EXPECT_EQ(link.readRegisters(r), kTalkerPortNotOpen);
    EXPECT_EQ(link.writeRegisters(r), kTalkerPortNotOpen);
    EXPECT_EQ(link.confirmSwi(r), kTalkerCommError);
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
        EXPECT_TRUE(port.isOpen()) << c.file; // left open at 1200 baud
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
    ASSERT_TRUE(port.isOpen()); // open at 9600 from the fixture
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

// The download follows the chip's boot loader: exactly 256 bytes after the $FF for the A-series,
// up to the RAM for the others (never a lone $FF); anything else is refused before a byte goes out.
TEST_F(TalkerLinkTest, DownloadLengthFollowsTheChipsBootLoader) {
    const auto dir = makeTempDir();
    struct Case {
        ChipKind chip;
        size_t size;
        bool taken;
    };
    const Case cases[] = {
        {ChipKind::A1, 257, true},  {ChipKind::A8, 200, false}, {ChipKind::A1, 258, false},
        {ChipKind::E9, 200, true},  {ChipKind::E1, 513, true},  {ChipKind::E9, 514, false},
        {ChipKind::E9, 1, false},   {ChipKind::E2, 257, true},  {ChipKind::E2, 258, false},
    };
    port.readWaitMs = 20; // nothing answers after the download: let the config read give up soon
    for (const auto& c : cases) {
        Bytes image = pattern(c.size, 0x21);
        image[0] = 0xFF;
        writeFile(dir / "talker.boo", image);
        link.chip = c.chip;
        pty.discard();
        const TalkerStatus status = link.bootRamTalker(pty.slavePath(), (dir / "talker.boo").string());
        const std::string what = std::string(chipVariant(c.chip).name) + " " + std::to_string(c.size);
        if (!c.taken) {
            EXPECT_EQ(status, kTalkerFileInvalid) << what;
            EXPECT_TRUE(pty.readAvailable(0).empty()) << what;
            continue;
        }
        EXPECT_NE(status, kTalkerFileInvalid) << what;
        // Nothing echoes here: a loader that takes a fixed length gets all but the last bytes,
        // which wait for the echoes' check; one that stops when the line idles gets it all at once.
        const Bytes sent = pty.readBytes(c.size, 2000);
        if (chipVariant(c.chip).bootRule == BootRule::Exactly256) {
            EXPECT_LT(sent.size(), image.size()) << what;
            EXPECT_TRUE(std::equal(sent.begin(), sent.end(), image.begin())) << what;
        } else {
            EXPECT_EQ(sent, image) << what;
        }
    }
    std::filesystem::remove_all(dir);
}

// Another crystal moves every rate: the download at its boot rate, the talker met at its own,
// and a reset brings the line back to that rate, not to 9600.
TEST_F(TalkerLinkTest, CrystalSetsTheBootAndTalkerRates) {
    const auto dir = makeTempDir();
    Bytes image = pattern(257, 0x40);
    image[0] = 0xFF;
    writeFile(dir / "talker.boo", image);
    TalkerModel model(pty);
    model.setBootMode(true);
    link.rates = hostRatesFor(4'915'200);
    ASSERT_EQ(link.bootRamTalker(pty.slavePath(), (dir / "talker.boo").string()), kTalkerOk);
    EXPECT_EQ(model.bootBytes(), image);
    EXPECT_EQ(model.bootBaud(), 738);
    EXPECT_EQ(pty.slaveBaud(), 5908);
    EXPECT_EQ(port.baudRate(), 5908);
    ASSERT_EQ(port.setBaud(76800), 0);
    EXPECT_EQ(link.resetTarget(), kTalkerOk);
    EXPECT_EQ(pty.slaveBaud(), 5908);
    std::filesystem::remove_all(dir);
}
