#include "EngineRig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// An S1 record line with its count and checksum.
std::string s1(uint16_t address, std::vector<uint8_t> data)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size() + 3), static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string line = "S1";
    for (uint8_t b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
        sum += b;
    }
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
    return line + hex + "\n";
}

class S19Load : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("tarvik11-load-" + std::to_string(getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string file(const std::string& text)
    {
        const auto path = dir_ / "program.s19";
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    ModelRig rig;
    std::filesystem::path dir_;
};

TEST_F(S19Load, LoadsEveryDataRecordAndVerifies)
{
    std::vector<uint8_t> sixteen(16), longest(252);
    for (size_t i = 0; i < longest.size(); ++i)
        longest[i] = static_cast<uint8_t>(i);
    std::copy_n(longest.begin(), 16, sixteen.begin());
    const std::string path = file(s1(0xC000, sixteen) + s1(0xC010, {0x8E, 0x00}) + s1(0x2000, longest) + "S9030000FC\n");
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    rig.engine.s19Progress = [&](uint64_t done, uint64_t total) { progress.emplace_back(done, total); };
    ASSERT_EQ(rig.engine.loadS19(path), kTalkerOk);
    EXPECT_EQ(progress, (std::vector<std::pair<uint64_t, uint64_t>>{{16, 270}, {18, 270}, {270, 270}}));
    rig.engine.s19Progress = nullptr;
    EXPECT_EQ(rig.engine.currentPC, 0xC000u);
    const auto writes = rig.commandsOf(0x41);
    ASSERT_EQ(writes.size(), 3u); // the S9 record transfers nothing
    EXPECT_EQ(writes[0].address, 0xC000);
    EXPECT_EQ(writes[0].count, 16);
    EXPECT_EQ(writes[1].address, 0xC010);
    EXPECT_EQ(writes[1].data, (std::vector<uint8_t>{0x8E, 0x00}));
    EXPECT_EQ(writes[2].address, 0x2000);
    EXPECT_EQ(writes[2].count, 252);
    EXPECT_EQ(rig.model.peek(0x20FB), 251);

    EXPECT_EQ(rig.engine.verifyS19(path), kTalkerOk);
    rig.model.poke(0xC000, {0x55});
    EXPECT_EQ(rig.engine.verifyS19(path), kTalkerS19Mismatch);
}

TEST_F(S19Load, MalformedFileWritesNothing)
{
    rig.engine.currentPC = 0x1234;
    const std::string path = file(s1(0x0100, {0xAA}) + "S1070200C0C1\n"); // second record cut short
    EXPECT_EQ(rig.engine.loadS19(path), kTalkerS19Invalid);
    EXPECT_EQ(rig.engine.verifyS19(path), kTalkerS19Invalid);
    EXPECT_TRUE(rig.model.commands().empty());
    EXPECT_EQ(rig.engine.currentPC, 0x1234u);
}

TEST_F(S19Load, WriteIntoRomStopsWithTheLinkStatus)
{
    rig.model.setRom(0xE000, 0xFFFF);
    EXPECT_EQ(rig.engine.loadS19(file(s1(0x0100, {0xAA}) + s1(0xE000, {0xAA}) + s1(0x0200, {0xAA}))), kTalkerBadEcho);
    EXPECT_EQ(rig.engine.currentPC, 0x0100u);
    EXPECT_EQ(rig.commandsOf(0x41).size(), 2u);
}

// Data over a RAM talker's code, stack or its own pseudo-vectors is refused before anything is
// written, naming the line and the first address there; the interrupt slots between are the
// program's. A ROM talker leaves that RAM to the program.
TEST_F(S19Load, TheRamTalkersOwnRamIsRefused)
{
    struct Case {
        const char* name;
        int talkerType; // 0 RAM, 1 ROM
        std::string records;
        TalkerStatus status;
        const char* problem; // what s19Problem() says, or none
    };
    const Case cases[] = {
        {"RAM talker, a record in its stack after one outside", 0, s1(0xC000, {0xAA}) + s1(0x00B0, {0xAA, 0xBB}),
         kTalkerS19Invalid, "line 2: data at $00b0 would overwrite the talker in RAM ($0000-$00c9, $00f4-$00ff)"},
        {"RAM talker, a handler's JMP that runs on into the SWI slot", 0, s1(0x00F2, {0x7E, 0xC0, 0x00}),
         kTalkerS19Invalid, "line 1: data at $00f4 would overwrite the talker in RAM ($0000-$00c9, $00f4-$00ff)"},
        {"RAM talker, the SPI slot the talker parks on", 0, s1(0x00C7, {0x7E, 0xC0, 0x00}), kTalkerS19Invalid,
         "line 1: data at $00c7 would overwrite the talker in RAM ($0000-$00c9, $00f4-$00ff)"},
        {"RAM talker, data from $0100 on", 0, s1(0x0100, {0xAA, 0xBB}), kTalkerOk, nullptr},
        {"RAM talker, handlers in the IRQ and pulse-accumulator slots", 0,
         s1(0x00EE, {0x7E, 0xC0, 0x00}) + s1(0x00CA, {0x7E, 0xC0, 0x10}), kTalkerOk, nullptr},
        {"ROM talker, data in the chip's RAM", 1, s1(0xC000, {0xAA}) + s1(0x00F0, {0xAA, 0xBB}), kTalkerOk, nullptr},
        {"ROM talker, data over the register block", 1, s1(0x0FF0, std::vector<uint8_t>(0x11, 0)), kTalkerS19Invalid,
         "line 1: data at $1000 would be written into the register block ($1000-$103f)"},
    };
    const std::string talker = (dir_ / "talker.boo").string();
    {
        std::ofstream out(talker, std::ios::binary);
        out.put(static_cast<char>(0xFF));
        for (int i = 0; i < 256; ++i)
            out.put(0);
    }
    int booted = -1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.talkerType != booted) {
            rig.model.setBootMode(true);
            rig.model.poke(0x1037, {0x00}); // the ROM talker reads CONFIG here: EEPROM off
            ASSERT_EQ(rig.engine.startTalker(rig.pty.slavePath(), static_cast<TalkerType>(c.talkerType), talker,
                                             ChipMode::Bootstrap, c.talkerType == 0 ? 1 : 0),
                      kTalkerOk);
            booted = c.talkerType;
        }
        rig.notifier.messages.clear();
        rig.model.clearLogs();
        rig.engine.currentPC = 0x1234;
        EXPECT_EQ(rig.engine.loadS19(file(c.records)), c.status);
        EXPECT_EQ(rig.engine.s19Problem(), c.problem ? c.problem : "");
        EXPECT_TRUE(rig.notifier.messages.empty());
        if (c.problem) {
            EXPECT_TRUE(rig.model.commands().empty());
            EXPECT_EQ(rig.engine.currentPC, 0x1234u);
        } else {
            EXPECT_FALSE(rig.commandsOf(0x41).empty());
        }
    }
}

} // namespace
