// What the engine writes must land where it means to, on the virtual board: a register frame
// garbled on its way to the host is not written back, and an S19 file is not loaded over the
// RAM talker.
#include "BoardRig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {

constexpr uint32_t kProgram = 0xC000, kHeldNop = 0xC003, kNextNop = 0xC004, kSub = 0xC100;
// The program's stack: SP = $C37F, so a frame held there starts at $C377 (a call moves it to
// $C375), and the talker serving a command pushes its own calls below the frame.
constexpr uint32_t kFramesFrom = 0xC360, kFramesTo = 0xC37F;
constexpr uint32_t kWatchedFrom = 0xC300, kWatchedTo = 0xC4FF;

uint8_t patternAt(uint32_t address) { return static_cast<uint8_t>(0xA5 ^ (address * 7)); }

FaultRule fault(const std::string& text)
{
    FaultRule rule;
    std::string error;
    EXPECT_TRUE(FaultRule::parse(text, &rule, &error)) << error;
    return rule;
}

// The program held at a NOP with its stack at $C37F, and a pattern all around the stack.
void holdWithPattern(BoardRig& rig)
{
    DebugEngine& e = rig.engine;
    ASSERT_EQ(e.stop(), kTalkerOk);
    rig.poke(kProgram, {0x8E, 0xC3, 0x7F, 0x01, 0x01, 0x20, 0xFE}); // LDS #$C37F, NOP, NOP, BRA *
    rig.poke(kSub, {0x39});                                          // RTS
    for (uint32_t a = kWatchedFrom; a <= kWatchedTo; a += 0x80) {
        Bytes block(0x80);
        for (uint32_t i = 0; i < block.size(); ++i)
            block[i] = patternAt(a + i);
        rig.poke(a, block);
    }
    ASSERT_EQ(e.setBreakpoint(kHeldNop), kTalkerOk);
    ASSERT_EQ(e.execute(kProgram, true), kTalkerOk);
    const BreakpointHit hit = rig.awaitHit();
    ASSERT_EQ(hit.kind, BreakpointHitKind::Hit);
    ASSERT_EQ(hit.registers.SP, kFramesTo - 8);
}

// Addresses around the stack that no longer hold the pattern.
std::vector<uint32_t> damaged(BoardRig& rig)
{
    std::vector<uint32_t> out;
    const Bytes now = rig.peek(kWatchedFrom, 0x100);
    const Bytes more = rig.peek(kWatchedFrom + 0x100, 0x100);
    for (uint32_t i = 0; i < 0x200; ++i) {
        const uint32_t a = kWatchedFrom + i;
        const uint8_t b = i < 0x100 ? now[i] : more[i - 0x100];
        if ((a < kFramesFrom || a > kFramesTo) && b != patternAt(a))
            out.push_back(a);
    }
    return out;
}

// A register frame that comes garbled (its SP's low byte) is not written back: the frame is taken
// once two reads agree, so the talker stores it where the program's frame is.
TEST(MemorySafety, AGarbledFrameIsNotWrittenBack)
{
    struct Case {
        const char* name;
        uint64_t spLowByte; // the byte to the host that carries the first frame's SP low byte
        std::function<TalkerStatus(DebugEngine&)> run;
        std::function<void(BoardRig&)> check;
    };
    const Case cases[] = {
        {"stop", 3, [](DebugEngine& e) { return e.stop(); },
         [](BoardRig& r) { EXPECT_EQ(r.registers().PC, r.engine.talkerIdleAddress); }},
        {"execute", 3, [](DebugEngine& e) { return e.execute(kNextNop, false); },
         [](BoardRig& r) { EXPECT_EQ(r.registers().SP, kFramesTo - 8) << "runs on its own stack"; }},
        {"call", 3, [](DebugEngine& e) { return e.callSubroutine(kSub); },
         [](BoardRig& r) { EXPECT_TRUE(r.awaitIdle()); }},
        // The step reads the instruction first: an echo and five bytes.
        {"trace", 9, [](DebugEngine& e) { return e.traceStep(kNextNop); },
         [](BoardRig& r) {
             EXPECT_EQ(r.engine.currentPC, kNextNop + 1);
             EXPECT_EQ(r.registers().SP, kFramesTo - 8);
         }},
    };
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    for (const Case& c : cases) {
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE(testing::Message() << c.name << ", seed " << seed);
            rig.clearBreakpoints();
            holdWithPattern(rig);
            rig.board->setFaults({fault("garble,after=" + std::to_string(c.spLowByte) + ",dir=to-host")}, seed);
            const TalkerStatus status = c.run(rig.engine);
            const uint64_t garbled = rig.board->faultStats().total();
            rig.board->setFaults({}, 1);
            EXPECT_EQ(garbled, 1u);
            EXPECT_EQ(status, kTalkerOk);
            c.check(rig);
            EXPECT_EQ(damaged(rig), std::vector<uint32_t>{});
        }
    }
}

// An S19 file with data in $0000-$00FF is refused while our talker lives there: nothing of it is
// written (not even its records before that one) and the talker goes on answering.
// EEPROM writes on the board's array: after each one the rows around it hold exactly the
// block and, elsewhere, what they held before, whichever erases the write chose; CONFIG keeps
// its value.
TEST(MemorySafety, EepromWritesLeaveTheArrayByteExact)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_EQ(rig.link.eepromEnabled, 1);
    rig.memory.programDelayMs = 15; // the array takes 10 ms of E clock per pulse
    constexpr uint32_t kFrom = 0xB600, kCount = 0x40;
    const uint8_t config = rig.peek(0x103F);
    Bytes image(kCount);
    ASSERT_EQ(rig.memory.readBlock(kFrom, kCount, image.data()), kTalkerOk);

    struct Case {
        const char* name;
        uint32_t address;
        std::function<uint8_t(uint32_t offset, uint8_t now)> value; // offset in the block
        uint32_t count;
    };
    const Case cases[] = {
        {"a first image", 0xB600, [](uint32_t i, uint8_t) { return static_cast<uint8_t>(0x93 ^ (i * 29)); }, 0x40},
        {"all unchanged", 0xB605, [](uint32_t, uint8_t now) { return now; }, 0x20},
        {"only bits cleared", 0xB612, [](uint32_t, uint8_t now) { return static_cast<uint8_t>(now & 0x5F); }, 9},
        {"mixed", 0xB61C, [](uint32_t i, uint8_t now) { return static_cast<uint8_t>(i % 3 == 0 ? now : now ^ 0x81); }, 7},
        {"a whole row raised", 0xB620, [](uint32_t, uint8_t now) { return static_cast<uint8_t>(now | 0x24); }, 16},
        {"most of a row raised", 0xB631, [](uint32_t i, uint8_t) { return static_cast<uint8_t>(0xC0 + i); }, 14},
        {"one byte to $FF", 0xB63F, [](uint32_t, uint8_t) { return uint8_t{0xFF}; }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data(c.count);
        for (uint32_t i = 0; i < c.count; ++i)
            data[i] = c.value(i, image[c.address - kFrom + i]);
        ASSERT_EQ(rig.memory.writeBlock(c.address, c.count, data.data()), kTalkerOk);
        std::copy(data.begin(), data.end(), image.begin() + (c.address - kFrom));
        Bytes now(kCount);
        ASSERT_EQ(rig.memory.readBlock(kFrom, kCount, now.data()), kTalkerOk);
        EXPECT_EQ(now, image);
        EXPECT_EQ(rig.peek(0x103F), config);
    }
}

TEST(MemorySafety, NoLoadOverTheRamTalker)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tarvik11-ramtalker-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "over-talker.s19").string();
    // $C000: 4 bytes; then $00F2: 4 bytes, from the XIRQ slot into the talker's SWI slot.
    std::ofstream(path) << "S107C000112233448E\nS10700F2AABBCCDDF8\nS9030000FC\n";

    BoardRig rig;
    ASSERT_TRUE(rig.started);
    rig.poke(0xC000, {0x01, 0x02, 0x03, 0x04});
    const Bytes talkerBefore = rig.peek(0x00F0, 8);
    const uint32_t pcBefore = rig.engine.currentPC;
    EXPECT_EQ(rig.engine.loadS19(path), kTalkerS19Invalid);
    EXPECT_EQ(rig.engine.s19Problem(), "line 2: data at $00f4 would overwrite the talker in RAM ($0000-$00c9, $00f4-$00ff)");
    EXPECT_EQ(rig.peek(0xC000, 4), (Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(rig.peek(0x00F0, 8), talkerBefore);
    EXPECT_EQ(rig.engine.currentPC, pcBefore);
    std::filesystem::remove_all(dir);
}

} // namespace
