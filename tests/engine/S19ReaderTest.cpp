#include "S19Reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A data record of n bytes (value i & $FF at position i) at address, with a correct checksum.
std::string dataRecord(uint32_t address, size_t n)
{
    char buf[8];
    unsigned sum = static_cast<unsigned>(n + 3) + (address >> 8) + (address & 0xFF);
    std::string text = "S1";
    snprintf(buf, sizeof buf, "%02X%04X", static_cast<unsigned>(n + 3), address);
    text += buf;
    for (size_t i = 0; i < n; ++i) {
        snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(i & 0xFF));
        text += buf;
        sum += i & 0xFF;
    }
    snprintf(buf, sizeof buf, "%02X", ~sum & 0xFF);
    return text + buf;
}

struct ParseCase {
    const char* name;
    std::string text;
    TalkerStatus status;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records; // address, data
};

TEST(S19Reader, ParsesRecordsAndRejectsMalformedOnes)
{
    const std::vector<ParseCase> cases = {
        {"data and end", "S1070000C0C1C2C3F1\r\nS9030000FC\r\n", kTalkerOk, {{0x0000, {0xC0, 0xC1, 0xC2, 0xC3}}, {0x0000, {}}}},
        {"lowercase digits, wrong checksum, junk between", "junk S104c010ab00\n\nxx S9030000FC", kTalkerOk,
         {{0xC010, {0xAB}}, {0x0000, {}}}},
        {"lowercase s starts no record", "s1050000AB4F\nS9030000FC", kTalkerOk, {{0x0000, {}}}},
        {"no record at all", "", kTalkerOk, {}},
        {"record after the end record", "S9030000FC\nS1040100AA50", kTalkerOk, {{0x0000, {}}, {0x0100, {0xAA}}}},
        {"S0 header", "S00600004844521B\nS1040000AA51", kTalkerS19Invalid, {}},
        {"S2 record", "S2080100001122334455", kTalkerS19Invalid, {}},
        {"S at the very end", "S1040000AA51\nS", kTalkerS19Invalid, {}},
        {"cut inside the count", "S1040000AA51\nS10", kTalkerS19Invalid, {}},
        {"cut inside the data", "S1070000C0C1", kTalkerS19Invalid, {}},
        {"checksum missing at the end", "S1070000C0C1C2C3", kTalkerS19Invalid, {}},
        {"count below 3", "S1020000FD", kTalkerS19Invalid, {}},
        {"count 0", "S1000000FF", kTalkerS19Invalid, {}},
        {"count not hexadecimal", "S1G70000C0C1C2C3F1", kTalkerS19Invalid, {}},
        {"count with a blank", "S1 70000C0C1C2C3F1", kTalkerS19Invalid, {}},
        {"data running past $FFFF", "S107FFFE01020304F0", kTalkerS19Invalid, {}},
        {"a NUL ends the text", std::string("S1040000AA51\n\0S0garbage", 24), kTalkerOk, {{0x0000, {0xAA}}}},
        {"a NUL cuts a record", std::string("S1070000C0\0C2C3F1", 18), kTalkerS19Invalid, {}},
        {"blank-led and short fields", "S105 1FFG.0000", kTalkerOk, {{0x01FF, {0x00, 0x00}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        S19Reader reader;
        EXPECT_EQ(reader.parse(c.text), c.status);
        ASSERT_EQ(reader.records().size(), c.records.size());
        for (size_t i = 0; i < c.records.size(); ++i) {
            const S19Record& r = reader.records()[i];
            EXPECT_EQ(r.address, c.records[i].first);
            EXPECT_EQ(std::vector<uint8_t>(r.data.begin(), r.data.begin() + r.dataLength), c.records[i].second);
        }
    }
}

TEST(S19Reader, TakesTheLongestRecordTheCountAllows)
{
    S19Reader reader;
    ASSERT_EQ(reader.parse(dataRecord(0x2000, 252) + "\nS9030000FC\n"), kTalkerOk);
    ASSERT_EQ(reader.records().size(), 2u);
    EXPECT_EQ(reader.records()[0].dataLength, 252);
    EXPECT_EQ(reader.records()[0].data[251], 251);
    // One character short of its checksum.
    std::string cut = dataRecord(0x2000, 252);
    cut.pop_back();
    EXPECT_EQ(reader.parse(cut), kTalkerS19Invalid);
}

TEST(S19Reader, FileLimitsAndOpenFailures)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tarvik11-s19-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto writeFile = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    };
    S19Reader reader;
    // Exactly 16384 bytes: records padded with line ends.
    std::string full = dataRecord(0x1000, 4) + "\n";
    full.append(S19Reader::kMaxFileSize - full.size(), '\n');
    EXPECT_EQ(reader.readFile(writeFile("full.s19", full)), kTalkerOk);
    EXPECT_EQ(reader.records().size(), 1u);
    EXPECT_EQ(reader.readFile(writeFile("over.s19", full + "\n")), kTalkerS19Invalid);
    EXPECT_TRUE(reader.records().empty());
    EXPECT_EQ(reader.readFile((dir / "missing.s19").string()), kTalkerS19OpenFailed);
    EXPECT_EQ(reader.readFile(dir.string()), kTalkerS19OpenFailed);
    std::filesystem::remove_all(dir);
}

} // namespace
