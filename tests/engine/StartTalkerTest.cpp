#include "EngineRig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <unistd.h>

namespace {

constexpr TalkerType kRamTalker = TalkerType::Ram;
constexpr TalkerType kRomTalker = TalkerType::Rom;

class StartTalker : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("tarvik11-boot-" + std::to_string(getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        rig.model.setBootMode(true);
        TalkerModel::Registers talker;
        talker.SP = 0x00C0;
        talker.CCR = 0xD4;
        talker.X = 0x1000;
        talker.PC = 0x0033;
        rig.model.setRegisters(talker);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string file(const std::string& name, size_t size)
    {
        const auto path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(static_cast<char>(i == 0 ? 0xFF : i & 0xFF));
        return path.string();
    }
    std::string port() const { return rig.pty.slavePath(); }

    ModelRig rig{false};
    std::filesystem::path dir_;
};

TEST_F(StartTalker, RomTalkerWithMatchingEepromSetting)
{
    rig.model.poke(0x1037, {0x00});
    ASSERT_EQ(rig.engine.startTalker(port(), kRomTalker, file("map.txt", 10), ChipMode::Bootstrap, 0), kTalkerOk);
    EXPECT_EQ(rig.model.bootBytes(), (std::vector<uint8_t>{0x00}));
    EXPECT_EQ(rig.model.bootBaud(), 1200);
    // read $1037, BPROT $00 with its read-back, registers read (until two reads agree) and
    // written back unchanged.
    EXPECT_EQ(rig.kinds(), (std::vector<uint8_t>{0x01, 0x41, 0x01, 0x81, 0x81, 0xC1}));
    const auto writes = rig.commandsOf(0x41);
    EXPECT_EQ(writes[0].address, 0x1035);
    EXPECT_EQ(writes[0].data, (std::vector<uint8_t>{0x00}));
    EXPECT_TRUE(sameRegisters(frameOf(rig.commandsOf(0xC1)[0]), rig.model.registers()));
    EXPECT_EQ(rig.engine.currentPC, 0x0033u);
    EXPECT_EQ(rig.engine.talkerIdleAddress, 0x0033u);
    EXPECT_EQ(rig.model.resets(), 0);
    EXPECT_EQ(rig.link.eepromEnabled, 0);
    EXPECT_EQ(rig.notifier.messages, (std::vector<std::string>{"Talker initialized successfully."}));
}

TEST_F(StartTalker, RamTalkerDownloadAndSpecialTestMode)
{
    const std::string talker = file("talker.boo", 257);
    ASSERT_EQ(rig.engine.startTalker(port(), kRamTalker, talker, ChipMode::SpecialTest, 1), kTalkerOk);
    const auto boot = rig.model.bootBytes();
    ASSERT_EQ(boot.size(), 257u);
    EXPECT_EQ(boot[0], 0xFF);
    EXPECT_EQ(boot[256], 0x00);
    EXPECT_EQ(rig.link.eepromEnabled, 1); // CONFIG $0D read after the download
    EXPECT_EQ(rig.model.resets(), 0);
    const auto writes = rig.commandsOf(0x41);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].address, 0x103C);
    EXPECT_EQ(writes[1].data, (std::vector<uint8_t>{0xE5}));
    EXPECT_EQ(rig.kinds().back(), 0x01); // verified
    EXPECT_EQ(rig.notifier.messages.size(), 1u);
}

TEST_F(StartTalker, SwitchingTheEepromOnReprogramsConfigAndResets)
{
    rig.model.setConfig(0x0C);
    rig.model.poke(0x1037, {0x00});
    ASSERT_EQ(rig.engine.startTalker(port(), kRomTalker, file("map.txt", 1), ChipMode::Bootstrap, 1), kTalkerOk);
    EXPECT_EQ(rig.model.resets(), 1);
    EXPECT_EQ(rig.model.configLatch(), 0x0D);
    EXPECT_EQ(rig.link.eepromEnabled, 1);
    bool erased = false, programmed = false;
    for (const auto& ev : rig.model.eepromEvents()) {
        EXPECT_FALSE(ev.blocked);
        erased = erased || (ev.op == TalkerModel::EepromOp::ByteErase && ev.address == 0x103F);
        programmed = programmed || (ev.op == TalkerModel::EepromOp::Program && ev.address == 0x103F && ev.value == 0x0D);
    }
    EXPECT_TRUE(erased);
    EXPECT_TRUE(programmed);
    // Block protection is lifted again after the reset, before CONFIG is checked.
    EXPECT_EQ(rig.singleWrites(0x00).back(), 0x1035u);
    EXPECT_EQ(rig.commands().back().kind, 0x01);
    EXPECT_EQ(rig.commands().back().address, 0x103F);
}

TEST_F(StartTalker, StartUpFailures)
{
    // Unknown type: nothing opened, nothing sent.
    EXPECT_EQ(rig.engine.startTalker(port(), static_cast<TalkerType>(2), file("t.boo", 257), ChipMode::Bootstrap, 0), kTalkerTypeInvalid);
    EXPECT_FALSE(rig.port.isOpen());
    EXPECT_EQ(rig.engine.startTalker(port(), kRamTalker, (dir_ / "none.boo").string(), ChipMode::Bootstrap, 0), kTalkerFileOpenFailed);
    EXPECT_EQ(rig.engine.startTalker(port(), kRamTalker, file("short.boo", 256), ChipMode::Bootstrap, 0), kTalkerFileInvalid);
    EXPECT_EQ(rig.engine.startTalker(port(), kRamTalker, file("long.boo", 258), ChipMode::Bootstrap, 0), kTalkerFileInvalid);
    EXPECT_EQ(rig.engine.startTalker(port(), kRomTalker, (dir_ / "none.map").string(), ChipMode::Bootstrap, 0), kTalkerMapFileFailed);
    EXPECT_TRUE(rig.model.bootBytes().empty());
    EXPECT_TRUE(rig.notifier.messages.empty());
}

// After reprogramming CONFIG: the reset does not happen (12), CONFIG does not take (13);
// special test mode not taken (11). No success message in any of them.
TEST_F(StartTalker, ChipThatDoesNotFollow)
{
    struct Case {
        const char* name;
        std::function<void(TalkerModel&)> arrange;
        ChipMode chipMode;
        int32_t eepromEnable;
        TalkerStatus status;
    };
    const std::vector<Case> cases = {
        {"no reset", [](TalkerModel& m) { m.setConfig(0x0C); m.setResetWorks(false); }, ChipMode::Bootstrap, 1, kTalkerResetFailed},
        {"CONFIG unchanged", [](TalkerModel& m) { m.setConfig(0x0C); m.setReadBack(0x103F, 0x0C); }, ChipMode::Bootstrap, 1, kTalkerRegisterWriteFailed},
        {"HPRIO unchanged", [](TalkerModel& m) { m.setReadBack(0x103C, 0xC5); }, ChipMode::SpecialTest, 0, kTalkerBadEcho},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModelRig local(false);
        local.model.setBootMode(true);
        c.arrange(local.model);
        EXPECT_EQ(local.engine.startTalker(local.pty.slavePath(), kRomTalker, file("map.txt", 1), c.chipMode, c.eepromEnable), c.status);
        EXPECT_EQ(local.link.eepromEnabled, 0);
        EXPECT_TRUE(local.notifier.messages.empty());
    }
}

} // namespace

// A talker file that is not ours (here: no signature) keeps the plain protocol throughout: the
// line stays at 9600 baud and the talker sees only the plain commands, also for long blocks and
// EEPROM writes that our talker's services would take.
TEST_F(StartTalker, ForeignTalkerFileSeesOnlyThePlainProtocol)
{
    const std::string talker = file("other.boo", 257);
    ASSERT_EQ(rig.engine.startTalker(port(), kRamTalker, talker, ChipMode::SpecialTest, 1), kTalkerOk);
    EXPECT_FALSE(rig.engine.extended().active());
    EXPECT_FALSE(rig.link.checked());
    EXPECT_EQ(rig.port.lineSettings().baud, 9600u);
    std::vector<uint8_t> block(1024, 0x5A);
    ASSERT_EQ(rig.memory.writeRaw(0xC000, 1024, block.data()), kTalkerOk);
    ASSERT_EQ(rig.memory.readBlock(0xC000, 1024, block.data()), kTalkerOk);
    ASSERT_EQ(rig.memory.writeBlock(0xB600, 32, block.data()), kTalkerOk);
    for (const uint8_t kind : rig.kinds()) {
        EXPECT_TRUE(kind == 0x01 || kind == 0x41 || kind == 0x81 || kind == 0xC1) << int(kind);
    }
    for (const auto& c : rig.commandsOf(0xC1)) // no register write starts anything in the slots
        EXPECT_LT(frameOf(c).PC, 0x00C4u);
}

namespace {

// Where the memory services put EEPROM writes after a start: the chip's EEPROM, and on the
// 811E2 the place its CONFIG selects. Switching that chip's EEPROM off keeps the place.
class StartTalkerChips : public StartTalker {};

TEST_F(StartTalkerChips, EepromWhereTheChipAndItsConfigPutIt)
{
    struct Case {
        ChipKind chip;
        uint8_t config;
        int32_t start, end;
    };
    const Case cases[] = {
        {ChipKind::A1, 0x0D, 0xB600, 0xB7FF}, {ChipKind::E9, 0x0D, 0xB600, 0xB7FF},
        {ChipKind::E2, 0xFD, 0xF800, 0xFFFF}, {ChipKind::E2, 0x7D, 0x7800, 0x7FFF},
    };
    for (const auto& c : cases) {
        rig.model.poke(0x1037, {c.config});
        rig.link.chip = c.chip;
        ASSERT_EQ(rig.engine.startTalker(port(), kRomTalker, file("map.txt", 1), ChipMode::Bootstrap, 1), kTalkerOk);
        EXPECT_EQ(rig.memory.eepromStart, c.start) << int(c.config);
        EXPECT_EQ(rig.memory.eepromEnd, c.end) << int(c.config);
        rig.model.setBootMode(true);
    }
}

TEST_F(StartTalkerChips, SwitchingThe811E2EepromOffKeepsItsPlace)
{
    rig.model.setConfig(0xBD);
    rig.model.poke(0x1037, {0xBD});
    rig.link.chip = ChipKind::E2;
    ASSERT_EQ(rig.engine.startTalker(port(), kRomTalker, file("map.txt", 1), ChipMode::Bootstrap, 0), kTalkerOk);
    EXPECT_EQ(rig.model.resets(), 1);
    EXPECT_EQ(rig.model.configLatch(), 0xBC);
    EXPECT_EQ(rig.link.eepromEnabled, 0);
    EXPECT_EQ(rig.memory.eepromStart, 0xB800);
    EXPECT_EQ(rig.memory.eepromEnd, 0xBFFF);
}

} // namespace
