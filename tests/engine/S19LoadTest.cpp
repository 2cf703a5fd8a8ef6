#include "EngineRig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

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
    std::string longRecord = "S1FF2000";
    for (int i = 0; i < 252; ++i) {
        char b[3];
        snprintf(b, sizeof b, "%02x", i);
        longRecord += b;
    }
    longRecord += "00\n";
    const std::string path = file("S113C000000102030405060708090A0B0C0D0E0F00\n"
                                  "S105C0108E0000\n" + longRecord + "S9030000FC\n");
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
    const std::string path = file("S1040100AA50\nS1070200C0C1\n"); // second record cut short
    EXPECT_EQ(rig.engine.loadS19(path), kTalkerS19Invalid);
    EXPECT_EQ(rig.engine.verifyS19(path), kTalkerS19Invalid);
    EXPECT_TRUE(rig.model.commands().empty());
    EXPECT_EQ(rig.engine.currentPC, 0x1234u);
}

TEST_F(S19Load, WriteIntoRomStopsWithTheLinkStatus)
{
    rig.model.setRom(0xE000, 0xFFFF);
    EXPECT_EQ(rig.engine.loadS19(file("S1040100AA50\nS104E000AA71\nS1040200AA4F\n")), kTalkerBadEcho);
    EXPECT_EQ(rig.engine.currentPC, 0x0100u);
    EXPECT_EQ(rig.commandsOf(0x41).size(), 2u);
}

} // namespace
