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
    Registers frame = idle;
    frame.A = 0x41;
    frame.B = 0xC1;
    frame.X = 0x00C2;
    // A program that loops where it starts; its frame's last byte is $00, the go's value.
    rig.poke(0xC300, {0x20, 0xFE});
    Registers loop = idle;
    loop.Y = 0;
    loop.PC = 0xC300;
    // Frames at the idle SP, the second going back to the idle loop: only their bytes may change.
    for (uint64_t k = 1; k <= 60; ++k) {
        SCOPED_TRACE("byte " + std::to_string(k));
        rig.poke(kGuard, guard);
        FaultRule rule;
        rule.kind = GetParam();
        rule.direction = FaultDirection::ToBoard;
        rule.after = k;
        rig.board->setFaults({rule}, k);
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
        if (looped == kTalkerOk && seen == kTalkerOk) {
            EXPECT_EQ(running.PC, loop.PC) << "not running the loop";
        }
        if (wrote == kTalkerOk && read == kTalkerOk) {
            EXPECT_EQ(back, data) << "reported read";
        }
        std::copy(guard.begin() + (kTarget - kGuard), guard.begin() + (kTarget - kGuard) + data.size(),
                  now.begin() + (kTarget - kGuard));
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
