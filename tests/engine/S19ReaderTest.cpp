#include "engine/ListingPath.h"
#include "engine/S19Reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
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
        // The count must end the record exactly at its line end.
        {"count running past its line end", "S107c0100102\nS9030000FC\n", kTalkerS19Invalid, {}},
        {"count running past a CR line end", "S107c0100102\rS9030000FC\r", kTalkerS19Invalid, {}},
        {"count stopping short of its line end", "S105c010010203FC\nS9030000FC\n", kTalkerS19Invalid, {}},
        {"line end inside the data", "S105c01001\n02", kTalkerS19Invalid, {}},
        {"blank after the checksum", "S1040000AA51 \nS9030000FC", kTalkerS19Invalid, {}},
        {"two records on one line", "S1040000AA51S9030000FC", kTalkerS19Invalid, {}},
        {"lone CR line ends", "S1040000AA51\rS9030000FC\r", kTalkerOk, {{0x0000, {0xAA}}, {0x0000, {}}}},
        {"a bad record after good ones", "S1040000AA51\nS105c01001\n", kTalkerS19Invalid, {}},
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

// Listings: one rule for every front end. Only regular files of at most 16 MB are read, and
// nothing else may block (a FIFO would hold an ordinary open until a writer comes).
TEST(ListingFile, OnlyRegularFilesAreUsable)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tarvik11-lst-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "prog.lst") << "  1 c000 86 01   ldaa #1\n";
    ASSERT_EQ(::mkfifo((dir / "fifo.lst").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "prog.lst", dir / "link.lst");
    std::filesystem::create_symlink(dir / "fifo.lst", dir / "fifo-link.lst");
    std::filesystem::create_directory(dir / "folder.lst");
    for (const auto& [name, size] : {std::pair{"limit.lst", kMaxListingBytes}, std::pair{"over.lst", kMaxListingBytes + 1}}) {
        std::ofstream(dir / name).close();
        std::filesystem::resize_file(dir / name, static_cast<uintmax_t>(size));
    }
    struct Case {
        std::string path;
        bool usable;
    };
    const Case cases[] = {
        {(dir / "prog.lst").string(), true},       {(dir / "link.lst").string(), true},
        {(dir / "limit.lst").string(), true},      {(dir / "over.lst").string(), false},
        {(dir / "fifo.lst").string(), false},      {(dir / "fifo-link.lst").string(), false},
        {(dir / "folder.lst").string(), false},    {(dir / "missing.lst").string(), false},
        {"/dev/zero", false},                      {"", false},
        {(dir / "prog.lst").string() + std::string(1, '\0') + "x", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(listingFileUsable(c.path), c.usable);
        std::vector<std::string> lines{"kept"};
        EXPECT_EQ(readListingLines(c.path, lines), c.usable);
        if (!c.usable) {
            EXPECT_EQ(lines, std::vector<std::string>{"kept"});
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(ListingFile, LinesLoseEveryKindOfLineEnd)
{
    const auto path = std::filesystem::temp_directory_path() / ("tarvik11-lines-" + std::to_string(getpid()) + ".lst");
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"\r\n", {""}},
        {"\xEF\xBB\xBF" "a\n", {"a"}},
        {"x\xEF\xBB\xBF", {"x\xEF\xBB\xBF"}},
        {std::string("n\0ul\n", 5), {std::string("n\0ul", 4)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        std::ofstream(path, std::ios::binary) << c.text;
        std::vector<std::string> lines{"kept"};
        ASSERT_TRUE(readListingLines(path.string(), lines));
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(lines, expected);
    }
    std::filesystem::remove(path);
}

} // namespace
