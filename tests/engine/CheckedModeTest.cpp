// Our talker's checked mode on the virtual board: one byte lost, damaged or doubled on its way to
// the board, at every place of a memory write, a register write and a read, never makes the
// talker write outside what the host confirmed, and what reports success is right.
#include "BoardRig.h"
#include "link/ExtendedTalker.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kGuard = 0xC200; // one command's worth from the target on
constexpr uint32_t kGuardSize = 0x100;
constexpr uint32_t kTarget = 0xC200;
constexpr uint32_t kTarget2 = 0xC2A5; // no $00 in its address: its arguments go at once

class CheckedModeFaults : public ::testing::TestWithParam<FaultKind> {};

} // namespace

TEST_P(CheckedModeFaults, NoByteOnItsWayToTheBoardWritesWhereTheHostDidNotConfirm)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.link.checked());
    rig.port.readWaitMs = 60;
    const Registers idle = rig.registers();
    const Bytes talker = rig.peek(0x0000, 0xA3); // the talker's code, as booted
    const Bytes guard = pattern(kGuardSize, 1);
    // A data block full of command bytes: taken for commands, they would write.
    const Bytes data{0x41, 0x01, 0xC2, 0x00, 0x00, 0xC1, 0x00, 0xC0, 0x00, 0x41, 0x81, 0xB5, 0x00, 0x3F, 0x3F, 0x00};
    // No write command among these: they follow the go at once, and $00s and a read inside them
    // would be harmless as commands.
    const Bytes data2{0x01, 0x00, 0x02, 0xC2, 0x30, 0x00, 0x00, 0x81, 0xB5, 0x00, 0x3F, 0x4A};
    Registers frame = idle;
    frame.A = 0x41;
    frame.B = 0xC1;
    frame.X = 0x00C2;
    // A program that loops where it starts; its frame's last byte is $00, the go's value.
    rig.poke(0xC300, {0x20, 0xFE});
    Registers loop = idle;
    loop.Y = 0;
    loop.PC = 0xC300;
    // The same loop, from a frame without $00, $41 or $C1: it goes in large pieces.
    rig.poke(0xC3A5, {0x20, 0xFE});
    Registers loop2 = idle;
    loop2.CCR = 0xC4; // I clear, so the talker can reach the program
    loop2.A = 0x22;
    loop2.B = 0x33;
    loop2.X = 0x1234;
    loop2.Y = 0x5678;
    loop2.PC = 0xC3A5;
    // Frames at the idle SP, the second going back to the idle loop: only their bytes may change.
    for (uint64_t k = 1; k <= 80; ++k) {
        SCOPED_TRACE("byte " + std::to_string(k));
        rig.poke(kGuard, guard);
        FaultRule rule;
        rule.kind = GetParam();
        rule.direction = FaultDirection::ToBoard;
        rule.after = k;
        rig.board->setFaults({rule}, k);
        const TalkerStatus wrote2 = rig.link.writeMemory(kTarget2, uint32_t(data2.size()), data2.data());
        const TalkerStatus looped2 = rig.link.writeRegisters(loop2);
        Registers running2;
        const TalkerStatus seen2 = rig.link.readRegisters(running2);
        const TalkerStatus wrote = rig.link.writeMemory(kTarget, uint32_t(data.size()), data.data());
        const TalkerStatus looped = rig.link.writeRegisters(loop);
        Registers running;
        const TalkerStatus seen = rig.link.readRegisters(running);
        const TalkerStatus framed = rig.link.writeRegisters(frame);
        Bytes back(data.size());
        const TalkerStatus read = rig.link.readMemory(kTarget, uint32_t(data.size()), back.data(), ReplyEnd::Settled);
        rig.board->setFaults({}, 0);
        (void)rig.link.pollSwi();

        Bytes now = rig.peek(kGuard, kGuardSize);
        if (wrote == kTalkerOk) {
            EXPECT_TRUE(std::equal(data.begin(), data.end(), now.begin() + (kTarget - kGuard))) << "reported written";
        }
        if (wrote2 == kTalkerOk) {
            EXPECT_TRUE(std::equal(data2.begin(), data2.end(), now.begin() + (kTarget2 - kGuard))) << "reported written";
        }
        if (looped2 == kTalkerOk && seen2 == kTalkerOk) {
            EXPECT_EQ(running2.PC, loop2.PC) << "not running the second loop";
        }
        if (looped == kTalkerOk && seen == kTalkerOk) {
            EXPECT_EQ(running.PC, loop.PC) << "not running the loop";
        }
        if (wrote == kTalkerOk && read == kTalkerOk) {
            EXPECT_EQ(back, data) << "reported read";
        }
        std::copy(guard.begin() + (kTarget - kGuard), guard.begin() + (kTarget - kGuard) + data.size(),
                  now.begin() + (kTarget - kGuard));
        std::copy(guard.begin() + (kTarget2 - kGuard), guard.begin() + (kTarget2 - kGuard) + data2.size(),
                  now.begin() + (kTarget2 - kGuard));
        EXPECT_EQ(now, guard) << "a byte outside the written block changed";
        EXPECT_EQ(rig.peek(0x0000, 0xA3), talker) << "the talker's code changed";
        const Registers after = rig.registers();
        EXPECT_EQ(after.PC, idle.PC) << "not back in the idle loop";
        if (framed == kTalkerOk) {
            EXPECT_EQ(after.A, frame.A);
            EXPECT_EQ(after.X, frame.X);
        }
        frame.A ^= 0x01; // each round writes a frame that differs from the one before
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPlace, CheckedModeFaults,
                         ::testing::Values(FaultKind::Drop, FaultKind::Garble, FaultKind::Duplicate),
                         [](const auto& info) { return std::string(faultKindName(info.param)); });
