#include "engine/ListingPath.h"
#include "engine/S19Reader.h"

#include <gtest/gtest.h>

#include <cctype>
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

// A record line of the given type with its count and checksum.
std::string record(char type, uint32_t address, const std::vector<uint8_t>& data)
{
    char buf[8];
    unsigned sum = static_cast<unsigned>(data.size() + 3) + (address >> 8) + (address & 0xFF);
    std::string text = std::string("S") + type;
    snprintf(buf, sizeof buf, "%02X%04X", static_cast<unsigned>(data.size() + 3), address);
    text += buf;
    for (uint8_t b : data) {
        snprintf(buf, sizeof buf, "%02X", b);
        text += buf;
        sum += b;
    }
    snprintf(buf, sizeof buf, "%02X", ~sum & 0xFF);
    return text + buf;
}

// What real tools write is read; refusals are covered, with what they say, by the hostile-file
// table that loads through the engine.
TEST(S19Reader, ReadsWhatToolsWrite)
{
    struct Case {
        const char* name;
        std::string text;
        uint32_t firstAddress;
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records; // address, data
    };
    const std::string header = record('0', 0, {'h', 'd', 'r'});
    const std::string c000 = record('1', 0xC000, {0xC0, 0xC1, 0xC2, 0xC3});
    const std::string end = record('9', 0xC000, {});
    std::string lower = record('1', 0xC010, {0xAB, 0xCD});
    for (char& c : lower)
        c = static_cast<char>(c == 'S' ? c : std::tolower(static_cast<unsigned char>(c)));
    const Case cases[] = {
        {"header, data, count and end with CR-LF",
         header + "\r\n" + c000 + "\r\n" + record('5', 1, {}) + "\r\n" + end + "\r\n", 0xC000,
         {{0xC000, {0xC0, 0xC1, 0xC2, 0xC3}}}},
        {"lower-case digits, blank lines, trailing blanks, an end-of-file mark", "\n" + lower + " \t\n\n" + end + "\n\x1A",
         0xC010, {{0xC010, {0xAB, 0xCD}}}},
        {"lone CR line ends, no final line end", c000 + "\r" + end, 0xC000, {{0xC000, {0xC0, 0xC1, 0xC2, 0xC3}}}},
        {"an end record first gives the start", record('9', 0xD000, {}) + "\n" + c000, 0xD000,
         {{0xC000, {0xC0, 0xC1, 0xC2, 0xC3}}}},
        {"records after the end record", end + "\n" + c000 + "\n" + record('1', 0xFFFF, {0x7E}), 0xC000,
         {{0xC000, {0xC0, 0xC1, 0xC2, 0xC3}}, {0xFFFF, {0x7E}}}},
        {"an S1 record without data gives only the start", record('1', 0x0100, {}) + "\n" + c000, 0x0100,
         {{0xC000, {0xC0, 0xC1, 0xC2, 0xC3}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        S19Reader reader;
        ASSERT_EQ(reader.parse(c.text), kTalkerOk) << reader.problem();
        EXPECT_EQ(reader.firstAddress(), c.firstAddress);
        ASSERT_EQ(reader.records().size(), c.records.size());
        for (size_t i = 0; i < c.records.size(); ++i) {
            const S19Record& r = reader.records()[i];
            EXPECT_EQ(r.address, c.records[i].first);
            EXPECT_EQ(r.data, c.records[i].second);
        }
    }
}

TEST(S19Reader, TakesTheLongestRecordTheCountAllows)
{
    S19Reader reader;
    ASSERT_EQ(reader.parse(dataRecord(0x2000, 252) + "\nS9030000FC\n"), kTalkerOk);
    ASSERT_EQ(reader.records().size(), 1u);
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
    // An 8 KB program in 32-byte records (19 KB of text), and all 64 KB of the address space.
    std::string program;
    for (uint32_t a = 0xC000; a < 0xE000; a += 32)
        program += dataRecord(a, 32) + "\r\n";
    ASSERT_GT(program.size(), 19000u);
    EXPECT_EQ(reader.readFile(writeFile("8k.s19", program)), kTalkerOk) << reader.problem();
    EXPECT_EQ(reader.dataBytes(), 0x2000u);
    std::string whole;
    for (uint32_t a = 0; a < 0x10000; a += 128)
        whole += dataRecord(a, 128) + "\n";
    EXPECT_EQ(reader.readFile(writeFile("64k.s19", whole)), kTalkerOk) << reader.problem();
    EXPECT_EQ(reader.dataBytes(), 0x10000u);
    // One byte more than the address space, and a file of more text than any such file needs.
    EXPECT_EQ(reader.readFile(writeFile("over.s19", whole + dataRecord(0xC000, 1) + "\n")), kTalkerS19Invalid);
    EXPECT_EQ(reader.problem(), "line 513: the file holds more than 65536 data bytes, more than the 64 KB address space");
    EXPECT_TRUE(reader.records().empty());
    std::string padded = dataRecord(0xC000, 4) + "\n";
    padded.append(S19Reader::kMaxFileSize - padded.size(), '\n');
    EXPECT_EQ(reader.readFile(writeFile("full.s19", padded)), kTalkerOk);
    EXPECT_EQ(reader.readFile(writeFile("huge.s19", padded + "\n")), kTalkerS19Invalid);
    EXPECT_NE(reader.problem().find("the file is 4194305 bytes"), std::string::npos) << reader.problem();
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

// A listing of millions of empty lines keeps at most kMaxListingLines of them, and says so.
TEST(ListingFile, LinesKeptAreCapped)
{
    const auto path = std::filesystem::temp_directory_path() / ("tarvik11-blank-" + std::to_string(getpid()) + ".lst");
    std::ofstream(path, std::ios::binary) << std::string(static_cast<size_t>(kMaxListingBytes), '\n');
    std::vector<std::string> lines;
    bool cut = false;
    ASSERT_TRUE(readListingLines(path.string(), lines, &cut));
    EXPECT_EQ(lines.size(), kMaxListingLines);
    EXPECT_TRUE(cut);
    std::ofstream(path, std::ios::binary) << "a\nb\n";
    lines.clear();
    ASSERT_TRUE(readListingLines(path.string(), lines, &cut));
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(cut);
    std::filesystem::remove(path);
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
