// Our talker's extended mode on the virtual board: recognition from the file's bytes, the faster
// line and its fallback, EEPROM blocks through the talker's service, and what the target looks
// like afterwards (slots, frame, a held program).
#include "BoardRig.h"
#include "link/ExtendedTalker.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace {

Bytes talkerFile()
{
    std::ifstream in(TARVIK11_TALKER_FILE, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The file's image bytes of the slots a service is written over.
Bytes fileSlots()
{
    const Bytes file = talkerFile();
    return Bytes(file.begin() + 1 + TalkerServices::kArea,
                 file.begin() + 1 + TalkerServices::kArea + TalkerServices::kAreaSize);
}

// A port whose rate cannot be changed the way the talker is asked to: refused outright, or
// reported done while the line stays where it was (a converter that ignores the request).
class StubbornPort : public SerialPort {
public:
    enum class Mode { Refuse, Ignore } mode = Mode::Refuse;
    int setLineSettings(const SerialLineSettings& settings) override
    {
        if (settings.baud != TalkerServices::kFastBaud)
            return SerialPort::setLineSettings(settings);
        return mode == Mode::Refuse ? EINVAL : 0;
    }
};

struct StubbornRig {
    std::unique_ptr<VirtualBoard> board = std::make_unique<VirtualBoard>(VirtualBoardOptions{0.0, {}, {}});
    StubbornPort port;
    TalkerLink link{port};
    TargetMemory memory{link};
    DebugEngine engine{link, memory};
    TalkerStatus start(StubbornPort::Mode mode)
    {
        port.mode = mode;
        port.readWaitMs = 1000;
        std::string error;
        if (!board->start(&error))
            return kTalkerPortOpenFailed;
        return engine.startTalker(board->devicePath(), TalkerType::Ram, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 1);
    }
};

} // namespace

namespace {

// Reads through the plain protocol only, in 256-byte commands.
Bytes plainRead(TalkerLink& link, uint32_t address, uint32_t count)
{
    Bytes out(count);
    for (uint32_t done = 0; done < count; done += 256) {
        const uint32_t n = std::min<uint32_t>(256, count - done);
        EXPECT_EQ(link.readMemory(address + done, n, out.data() + done, ReplyEnd::Settled), kTalkerOk);
    }
    return out;
}

// Program: counts in $C100 forever (LDX #$C100; INC 0,X; BRA back).
const Bytes kCountingLoop{0xCE, 0xC1, 0x00, 0x6C, 0x00, 0x20, 0xFC};

} // namespace

TEST(TalkerRecognition, OnlyOurFileInOurLayoutIsOurs)
{
    const Bytes ours = talkerFile();
    ASSERT_EQ(ours.size(), 257u);
    struct Case {
        const char* what;
        uint32_t imageAddress; // -1: no change
        uint8_t value;
        bool recognised;
    };
    const Case cases[] = {
        {"our file", 0xFFFFFFFF, 0, true},
        {"signature gone (the plain talker's zero bytes)", 0xCB, 0x00, false},
        {"second signature byte", 0xCC, 'K', false},
        {"another version", 0xCE, 1, false},
        {"get_byte moved", 0xD1, 0x95, false},
        {"put_byte moved", 0xD2, 0x8C, false},
        {"a checked-mode switch that is no RTS", 0xD7, 0x00, false},
        {"stopped_pc not after frame", 0xCF, 0x40, false},
    };
    for (const Case& c : cases) {
        Bytes file = ours;
        if (c.imageAddress != 0xFFFFFFFF)
            file[1 + c.imageAddress] = c.value;
        EXPECT_EQ(recogniseTalkerFile(file).has_value(), c.recognised) << c.what;
    }
    Bytes shortFile(ours.begin(), ours.end() - 1);
    EXPECT_FALSE(recogniseTalkerFile(shortFile).has_value());
    Bytes noSync = ours;
    noSync[0] = 0x00;
    EXPECT_FALSE(recogniseTalkerFile(noSync).has_value());
    EXPECT_FALSE(recogniseTalkerFile(std::string("/nonexistent/ambrel.boo")).has_value());

    const auto layout = recogniseTalkerFile(std::string(TARVIK11_TALKER_FILE));
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->version, TalkerServices::kVersion);
}

// The host's copies of the service routines are the bytes the assembler made of them, and each
// fits the slots it is written over.
TEST(TalkerRecognition, ServiceCopiesMatchTheAssembledRoutines)
{
    std::ifstream in(TARVIK11_TALKER_SERVICES, std::ios::binary);
    const Bytes assembled{std::istreambuf_iterator<char>(in), {}};
    Bytes copies;
    copies.insert(copies.end(), TalkerServices::kFastLine.begin(), TalkerServices::kFastLine.end());
    copies.insert(copies.end(), TalkerServices::kEepromBlock.begin(), TalkerServices::kEepromBlock.end());
    copies.insert(copies.end(), TalkerServices::kCheckedRead.begin(), TalkerServices::kCheckedRead.end());
    EXPECT_EQ(copies, assembled);
    for (size_t size : {TalkerServices::kFastLine.size(), TalkerServices::kEepromBlock.size(),
                        TalkerServices::kCheckedRead.size()})
        EXPECT_LE(size, TalkerServices::kAreaSize);
    // The slot after the area is the SWI vector every service ends through.
    EXPECT_EQ(talkerFile()[1 + TalkerServices::kArea + TalkerServices::kAreaSize], 0x7E);
    EXPECT_EQ(talkerFile()[1 + TalkerServices::kParkAt], 0x3F);
}

// A board in real time: the talker waits for the confirmation about 0.43 s of board time, which a
// board running as fast as it can passes in a few milliseconds (the line then rightly stays slow).
struct RealTimeRig : HostSide {
    VirtualBoard board{VirtualBoardOptions{1.0, {}, {}}};
    bool started = false;
    RealTimeRig()
    {
        std::string error;
        if (!board.start(&error))
            return;
        // As the benchmark does: a start-up whose first command is lost is simply done again.
        for (int attempt = 0; attempt < 2 && !started; ++attempt) {
            board.pressReset();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            started = engine.startTalker(board.devicePath(), TalkerType::Ram, TARVIK11_TALKER_FILE,
                                         ChipMode::SpecialTest, 1) == kTalkerOk;
        }
    }
    TargetRegisters registers()
    {
        TargetRegisters r;
        EXPECT_EQ(link.readRegisters(r), kTalkerOk);
        return r;
    }
    void poke(uint32_t address, const Bytes& bytes)
    {
        ASSERT_EQ(link.writeMemory(address, static_cast<uint32_t>(bytes.size()), bytes.data()), kTalkerOk);
    }
    Bytes peek(uint32_t address, uint32_t count) { return plainRead(link, address, count); }
    uint8_t peek(uint32_t address) { return peek(address, 1).at(0); }
    BreakpointHit awaitHit()
    {
        BreakpointHit hit;
        for (int i = 0; i < 20000 && hit.kind == BreakpointHitKind::None; ++i) {
            hit = engine.pollBreakpointHit();
            if (hit.kind == BreakpointHitKind::None)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return hit;
    }
};

TEST(ExtendedMode, StartUpMovesTheLineToTheFastRateAndLeavesTheTargetAsItWas)
{
    RealTimeRig rig;
    ASSERT_TRUE(rig.started);
    EXPECT_TRUE(rig.engine.extended().active());
    EXPECT_EQ(rig.port.lineSettings().baud, TalkerServices::kFastBaud);
    // The talker answers at the new rate, idle as before, and its slots are the file's again.
    EXPECT_EQ(rig.registers().PC, rig.engine.talkerIdleAddress);
    EXPECT_EQ(rig.peek(TalkerServices::kArea, TalkerServices::kAreaSize), fileSlots());
    // Memory and a program run work over the fast line.
    const Bytes program{0x86, 0x5A, 0xB7, 0xC1, 0x00, 0x3F}; // LDAA #$5A; STAA $C100; SWI
    rig.poke(0xC000, program);
    EXPECT_EQ(rig.peek(0xC000, 6), program);
    ASSERT_EQ(rig.engine.setBreakpoint(0xC005), kTalkerOk);
    ASSERT_EQ(rig.engine.execute(0xC000, true), kTalkerOk);
    EXPECT_EQ(rig.awaitHit().kind, BreakpointHitKind::Hit);
    EXPECT_EQ(rig.peek(0xC100), 0x5A);
}

TEST(ExtendedMode, FastLineCanBeTurnedOff)
{
    VirtualBoard board(VirtualBoardOptions{0.0, {}, {}});
    ASSERT_TRUE(board.start());
    HostSide host;
    host.engine.fastLine = false;
    ASSERT_EQ(host.engine.startTalker(board.devicePath(), TalkerType::Ram, TARVIK11_TALKER_FILE,
                                      ChipMode::SpecialTest, 1),
              kTalkerOk);
    EXPECT_TRUE(host.engine.extended().active());
    EXPECT_EQ(host.port.lineSettings().baud, 9600u);
    Bytes slots(TalkerServices::kAreaSize);
    ASSERT_EQ(host.link.readMemory(TalkerServices::kArea, TalkerServices::kAreaSize, slots.data()), kTalkerOk);
    EXPECT_EQ(slots, fileSlots());
}

TEST(ExtendedMode, HostThatCannotFollowEndsWithBothEndsAt9600)
{
    for (const auto mode : {StubbornPort::Mode::Refuse, StubbornPort::Mode::Ignore}) {
        StubbornRig rig;
        ASSERT_EQ(rig.start(mode), kTalkerOk) << int(mode);
        EXPECT_EQ(rig.port.lineSettings().baud, 9600u) << int(mode);
        Registers r;
        ASSERT_EQ(rig.link.readRegisters(r), kTalkerOk) << int(mode);
        EXPECT_EQ(r.PC, rig.engine.talkerIdleAddress) << int(mode);
        Bytes slots(TalkerServices::kAreaSize);
        ASSERT_EQ(rig.link.readMemory(TalkerServices::kArea, TalkerServices::kAreaSize, slots.data()), kTalkerOk);
        EXPECT_EQ(slots, fileSlots()) << int(mode);
        EXPECT_FALSE(rig.link.swiPending()) << int(mode);
    }
}


TEST(ExtendedMode, CheckedBlockWritesAndServiceReadsLeaveTheTalkerIdle)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    const Bytes data = pattern(3000, 1);
    ASSERT_EQ(rig.memory.writeRaw(0xC003, 3000, data.data()), kTalkerOk);
    EXPECT_EQ(plainRead(rig.link, 0xC003, 3000), data);
    Bytes back(3000);
    ASSERT_EQ(rig.memory.readBlock(0xC003, 3000, back.data()), kTalkerOk);
    EXPECT_EQ(back, data);

    // A read over the talker's own RAM gives what the plain read gives: its code and the slots
    // as they are, not the service that was written over them for the read.
    Bytes low(0x400);
    ASSERT_EQ(rig.memory.readBlock(0x0000, 0x400, low.data()), kTalkerOk);
    Bytes file = talkerFile();
    const auto layout = recogniseTalkerFile(file);
    for (const auto& patch : checkedModePatches(*layout)) // booted in checked mode
        file[1 + patch.address] = patch.value;
    const uint32_t codeEnd = layout->frame; // its variables follow the code
    EXPECT_TRUE(std::equal(low.begin(), low.begin() + codeEnd, file.begin() + 1)) << "talker code";
    EXPECT_EQ(Bytes(low.begin() + 0xC4, low.begin() + 0xF4), fileSlots());
    EXPECT_EQ(rig.registers().PC, rig.engine.talkerIdleAddress);
    EXPECT_FALSE(rig.link.swiPending());
}

TEST(ExtendedMode, HeldProgramStaysHeldAndItsFrameIsUntouched)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    // LDS #$DF00; LDAA #$11; LDAB #$22; LDX #$3344; LDY #$5566; NOP (the breakpoint);
    // STAA $C100; NOP (the second breakpoint); SWI.
    const Bytes program{0x8E, 0xDF, 0x00, 0x86, 0x11, 0xC6, 0x22, 0xCE, 0x33, 0x44,
                        0x18, 0xCE, 0x55, 0x66, 0x01, 0xB7, 0xC1, 0x00, 0x01, 0x3F};
    rig.poke(0xC000, program);
    ASSERT_EQ(rig.engine.setBreakpoint(0xC00E), kTalkerOk);
    ASSERT_EQ(rig.engine.execute(0xC000, true), kTalkerOk);
    ASSERT_EQ(rig.awaitHit().kind, BreakpointHitKind::Hit);
    ASSERT_TRUE(rig.engine.heldAt.has_value());
    const TargetRegisters before = rig.registers();

    const Bytes data = pattern(1024, 2);
    ASSERT_EQ(rig.memory.writeRaw(0xD000, 1024, data.data()), kTalkerOk);
    Bytes back(1024);
    ASSERT_EQ(rig.memory.readBlock(0xD000, 1024, back.data()), kTalkerOk);
    EXPECT_EQ(back, data);
    // A block over the stack the held program's frame lives on keeps the frame.
    const uint32_t sp = before.SP;
    Bytes around(1024);
    ASSERT_EQ(rig.memory.readBlock(sp - 512, 1024, around.data()), kTalkerOk);
    EXPECT_EQ(Bytes(around.begin() + 512, around.begin() + 521), plainRead(rig.link, sp, 9));

    const TargetRegisters after = rig.registers();
    EXPECT_EQ(after.PC, before.PC);
    EXPECT_EQ(after.SP, before.SP);
    EXPECT_EQ(after.A, 0x11);
    EXPECT_EQ(after.B, 0x22);
    EXPECT_EQ(after.X, 0x3344u);
    EXPECT_EQ(after.Y, 0x5566u);
    EXPECT_EQ(rig.peek(TalkerServices::kArea, TalkerServices::kAreaSize), fileSlots());
    // It goes on from where it was held, with its registers.
    rig.clearBreakpoints();
    ASSERT_EQ(rig.engine.setBreakpoint(0xC012), kTalkerOk);
    ASSERT_EQ(rig.engine.execute(*rig.engine.heldAt, true), kTalkerOk);
    EXPECT_EQ(rig.awaitHit().kind, BreakpointHitKind::Hit);
    EXPECT_EQ(rig.peek(0xC100), 0x11);
}

TEST(ExtendedMode, RunningProgramIsLeftAloneAndServedThePlainWay)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    rig.poke(0xC000, kCountingLoop);
    ASSERT_EQ(rig.engine.execute(0xC000, false), kTalkerOk);
    Bytes buffer(600);
    bool handled = true;
    ASSERT_EQ(rig.engine.extended().readBlock(0xC000, 600, buffer.data(), handled), kTalkerOk);
    EXPECT_FALSE(handled);
    uint32_t failedAt = 0;
    ASSERT_EQ(rig.engine.extended().programEeprom(0xB600, 4, buffer.data(), handled, failedAt), kTalkerOk);
    EXPECT_FALSE(handled);
    // The memory services still work (plain), and the program still counts.
    const Bytes data = pattern(600, 3);
    ASSERT_EQ(rig.memory.writeRaw(0xD000, 600, data.data()), kTalkerOk);
    ASSERT_EQ(rig.memory.readBlock(0xD000, 600, buffer.data()), kTalkerOk);
    EXPECT_EQ(buffer, data);
    const uint8_t first = rig.peek(0xC100);
    bool moved = false;
    for (int i = 0; i < 50 && !moved; ++i)
        moved = rig.peek(0xC100) != first;
    EXPECT_TRUE(moved);
    EXPECT_EQ(rig.peek(TalkerServices::kArea, TalkerServices::kAreaSize), fileSlots());
}

TEST(ExtendedMode, EepromBlockIsProgrammedByTheTalker)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_NE(rig.link.eepromEnabled, 0);
    // First a pattern, then one that needs erases (bits going 0 -> 1), skips and programs.
    const Bytes first = pattern(512, 4);
    Bytes second = first;
    for (size_t i = 0; i < second.size(); ++i) {
        if (i % 3 == 0)
            second[i] = static_cast<uint8_t>(~first[i]); // erase, then program
        else if (i % 3 == 1)
            second[i] = static_cast<uint8_t>(first[i] & 0x5A); // program only
    }
    for (const Bytes* data : {&first, static_cast<const Bytes*>(&second)}) {
        bool handled = false;
        uint32_t failedAt = 1;
        ASSERT_EQ(rig.engine.extended().programEeprom(0xB600, 512, data->data(), handled, failedAt), kTalkerOk);
        EXPECT_TRUE(handled);
        EXPECT_EQ(failedAt, 0u);
        EXPECT_EQ(plainRead(rig.link, 0xB600, 512), *data);
    }
    EXPECT_EQ(rig.registers().PC, rig.engine.talkerIdleAddress);
    EXPECT_EQ(rig.peek(TalkerServices::kArea, TalkerServices::kAreaSize), fileSlots());
}

// Damaged, lost and doubled bytes in both directions during checked writes and reads and an
// EEPROM block: what reports success is exactly right, and nothing outside the blocks changes.
TEST(ExtendedMode, FaultsEndWithRightMemoryAndNoStrayWrite)
{
    struct Case {
        FaultKind kind;
        double p;
        uint64_t seed;
    };
    const Case cases[] = {
        {FaultKind::Garble, 0.002, 11}, {FaultKind::Drop, 0.002, 12}, {FaultKind::Duplicate, 0.002, 13},
        {FaultKind::Duplicate, 0.002, 23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(faultKindName(c.kind)) + " seed " + std::to_string(c.seed));
        BoardRig rig;
        ASSERT_TRUE(rig.started);
        rig.port.readWaitMs = 60;
        rig.engine.extended().replyWaitMs = 60;
        const Bytes guard = pattern(0x2000, c.seed);
        ASSERT_EQ(rig.memory.writeRaw(0xC000, 0x2000, guard.data()), kTalkerOk);
        const Bytes eeGuard = plainRead(rig.link, 0xB600, 512);

        FaultRule rule;
        rule.kind = c.kind;
        rule.probability = c.p;
        rig.board->setFaults({rule}, c.seed);
        const Bytes data = pattern(1000, c.seed + 100);
        const TalkerStatus wrote = rig.memory.writeRaw(0xC800, 1000, data.data());
        Bytes back(1000);
        const TalkerStatus read = rig.memory.readBlock(0xC800, 1000, back.data());
        const Bytes eeData = pattern(24, c.seed + 200);
        bool handled = false;
        uint32_t failedAt = 0;
        const TalkerStatus programmed =
            rig.engine.extended().programEeprom(0xB640, 24, eeData.data(), handled, failedAt);
        const auto stats = rig.board->faultStats();
        rig.board->setFaults({}, 0);
        // Report what the run went through (not asserted: it depends on the draws).
        std::printf("%s seed %llu: faults %llu, write %d, read %d, eeprom %d\n",
                    std::string(faultKindName(c.kind)).c_str(), (unsigned long long)c.seed,
                    (unsigned long long)stats.total(), wrote, read, programmed);
        EXPECT_GT(stats.total(), 0u);

        // Whatever the statuses, the target answers and is back in the talker's idle loop.
        Registers r;
        TalkerStatus alive = kTalkerNoResponse;
        for (int i = 0; i < 3 && alive; ++i)
            alive = rig.link.readRegisters(r);
        ASSERT_EQ(alive, kTalkerOk);
        Bytes ram = plainRead(rig.link, 0xC000, 0x2000);
        if (wrote == kTalkerOk) {
            EXPECT_TRUE(std::equal(data.begin(), data.end(), ram.begin() + 0x800)) << "reported written";
        }
        if (read == kTalkerOk && wrote == kTalkerOk) {
            EXPECT_EQ(back, data) << "reported read";
        }
        std::copy(guard.begin() + 0x800, guard.begin() + 0x800 + 1000, ram.begin() + 0x800);
        EXPECT_EQ(ram, guard) << "a byte outside the written block changed";
        Bytes ee = plainRead(rig.link, 0xB600, 512);
        if (programmed == kTalkerOk) {
            EXPECT_TRUE(std::equal(eeData.begin(), eeData.end(), ee.begin() + 0x40)) << "reported programmed";
        }
        std::copy(eeGuard.begin() + 0x40, eeGuard.begin() + 0x40 + 24, ee.begin() + 0x40);
        EXPECT_EQ(ee, eeGuard) << "an EEPROM byte outside the block changed";
        EXPECT_EQ(plainRead(rig.link, TalkerServices::kArea, TalkerServices::kAreaSize), fileSlots());
    }
}

// User-level writes into the EEPROM go through the talker's service, byte-exact, and a later
// block leaves an earlier one alone.
TEST(ExtendedMode, UserWriteAcrossTheEepromIsExact)
{
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_NE(rig.link.eepromEnabled, 0);
    const Bytes data = pattern(0x40, 9);
    ASSERT_EQ(rig.memory.writeBlock(0xB600, 0x40, data.data()), kTalkerOk);
    EXPECT_EQ(plainRead(rig.link, 0xB600, 0x40), data);
    Bytes changed = data;
    for (auto& b : changed)
        b = static_cast<uint8_t>(b ^ 0x81);
    ASSERT_EQ(rig.memory.writeBlock(0xB7E0, 0x20, changed.data()), kTalkerOk);
    EXPECT_EQ(plainRead(rig.link, 0xB7E0, 0x20), Bytes(changed.begin(), changed.begin() + 0x20));
    EXPECT_EQ(plainRead(rig.link, 0xB600, 0x40), data);
}
