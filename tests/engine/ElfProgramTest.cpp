// ELF programs: the samples read against the GNU tools' own view of them (objdump's decoded line
// table, objcopy's S19), and damaged files refused whole.
#include "engine/ElfProgram.h"
#include "engine/S19Reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <tuple>

namespace {

const std::vector<std::string> kSamples{"loops", "subroutine", "branches", "counter", "eeprom", "flow", "recursion"};

std::string sample(const std::string& name, const char* ext)
{
    return std::string(TARVIK11_EXAMPLES_DIR) + "/" + name + ext;
}

std::vector<char> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// (file, line, address, statement) of every row but the ends of sequences.
using LineRow = std::tuple<std::string, uint32_t, uint32_t, bool>;

// The rows as m68hc11-objdump --dwarf=decodedline prints them.
std::vector<LineRow> objdumpRows(const std::string& elf)
{
    const std::string command = std::string(HC11_OBJDUMP) + " --dwarf=decodedline '" + elf + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string text;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    if (pipe)
        EXPECT_EQ(::pclose(pipe), 0);
    std::vector<LineRow> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string file, number, address, rest;
        if (!(words >> file >> number >> address) || address.rfind("0x", 0) != 0 || number == "-")
            continue;
        bool statement = false;
        while (words >> rest)
            statement = statement || rest == "x";
        rows.emplace_back(baseName(file), std::stoul(number), std::stoul(address, nullptr, 16), statement);
    }
    return rows;
}

std::map<uint32_t, uint8_t> imageOf(const std::vector<S19Record>& records)
{
    std::map<uint32_t, uint8_t> image;
    for (const S19Record& r : records)
        for (size_t i = 0; i < r.dataLength; ++i)
            image[r.address + static_cast<uint32_t>(i)] = r.data[i];
    return image;
}

} // namespace

TEST(ElfProgram, SamplesMatchTheGnuTools)
{
    for (const std::string& name : kSamples) {
        SCOPED_TRACE(name);
        ElfProgram program;
        ASSERT_EQ(program.readFile(sample(name, ".elf")), kTalkerOk) << program.error();

        std::vector<LineRow> ours;
        for (const SourceLines::Row& r : program.lines().rows())
            if (!r.endSequence)
                ours.emplace_back(baseName(program.lines().files()[r.file]), r.line, r.address, r.statement);
        const std::vector<LineRow> theirs = objdumpRows(sample(name, ".elf"));
        ASSERT_FALSE(theirs.empty());
        EXPECT_EQ(ours, theirs);

        // The bytes to load are exactly the S19's (objcopy's view of the same file).
        S19Reader s19;
        ASSERT_EQ(s19.readFile(sample(name, ".s19")), kTalkerOk);
        EXPECT_EQ(imageOf(program.records()), imageOf(s19.records()));
        ASSERT_FALSE(program.records().empty());
        EXPECT_EQ(program.entry(), program.records().front().address);

        // Each row's address maps back to its line, and a line's first address is found again.
        for (const auto& [file, line, address, statement] : ours) {
            const auto place = program.lines().placeOf(address);
            ASSERT_TRUE(place.has_value()) << address;
            EXPECT_EQ(baseName(place->file), file);
            EXPECT_EQ(place->line, line);
            const auto index = program.lines().fileNamed(file);
            ASSERT_TRUE(index.has_value());
            const auto code = program.lines().codeAtOrAfter(*index, line);
            ASSERT_TRUE(code.has_value());
            EXPECT_EQ(code->second, line);
            EXPECT_LE(code->first, address);
        }
        EXPECT_FALSE(program.lines().placeOf(program.records().front().address - 1).has_value());
        EXPECT_FALSE(program.symbols().empty());
    }
}

TEST(ElfProgram, LineLookupsBetweenAndBeyondTheRows)
{
    ElfProgram program;
    ASSERT_EQ(program.readFile(sample("subroutine", ".elf")), kTalkerOk) << program.error();
    const SourceLines& lines = program.lines();
    // "ldaa #0xaa" (line 10) is two bytes at $c406: its second byte is still line 10.
    ASSERT_EQ(lines.placeOf(0xC407)->line, 10u);
    EXPECT_TRUE(lines.startsLine(0xC406));
    EXPECT_FALSE(lines.startsLine(0xC407));
    const uint32_t file = *lines.fileNamed("subroutine.s");
    // A blank or comment line takes the next line with code; past the last one there is none.
    EXPECT_EQ(lines.codeAtOrAfter(file, 19), std::make_pair(uint16_t{0xC41A}, 21u));
    EXPECT_FALSE(lines.codeAtOrAfter(file, 45).has_value());
    EXPECT_FALSE(lines.fileNamed("routine.s").has_value()); // a name's tail is no file name
    EXPECT_FALSE(lines.fileNamed("").has_value());
}

// Big-endian ELF32 field access for building damaged files.
namespace {

uint32_t get32(const std::vector<char>& b, size_t at)
{
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
           (uint32_t(uint8_t(b[at + 2])) << 8) | uint8_t(b[at + 3]);
}
uint16_t get16(const std::vector<char>& b, size_t at)
{
    return static_cast<uint16_t>((uint8_t(b[at]) << 8) | uint8_t(b[at + 1]));
}
void put32(std::vector<char>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}
void put16(std::vector<char>& b, size_t at, uint16_t v)
{
    b[at] = static_cast<char>(v >> 8);
    b[at + 1] = static_cast<char>(v);
}

// The offset of the section header named name.
size_t sectionHeader(const std::vector<char>& b, const std::string& name)
{
    const uint32_t shoff = get32(b, 32);
    const uint16_t size = get16(b, 46);
    const uint16_t count = get16(b, 48);
    const uint16_t strings = get16(b, 50);
    const uint32_t stringsAt = get32(b, shoff + strings * size + 16);
    for (uint16_t i = 0; i < count; ++i) {
        const size_t at = shoff + size_t{i} * size;
        if (std::string(&b[stringsAt + get32(b, at)]) == name)
            return at;
    }
    ADD_FAILURE() << "no section " << name;
    return 0;
}

} // namespace

TEST(ElfProgram, DamagedFilesAreRefusedWhole)
{
    const std::vector<char> good = fileBytes(sample("subroutine", ".elf"));
    ASSERT_GT(good.size(), 1000u);
    using Damage = void (*)(std::vector<char>&);
    const std::vector<std::pair<const char*, Damage>> cases{
        {"cut inside the ELF header", [](std::vector<char>& b) { b.resize(30); }},
        {"cut inside the program header", [](std::vector<char>& b) { b.resize(60); }},
        {"cut inside the code", [](std::vector<char>& b) { b.resize(0x420); }},
        {"cut before the section headers end", [](std::vector<char>& b) { b.resize(b.size() - 1); }},
        {"another machine", [](std::vector<char>& b) { put16(b, 18, 40); }},
        {"a 64-bit class", [](std::vector<char>& b) { b[4] = 2; }},
        {"no magic", [](std::vector<char>& b) { b[1] = 'X'; }},
        {"code beyond the end of the file",
         [](std::vector<char>& b) { put32(b, sectionHeader(b, ".text") + 16, 0x7FFFFFF0u); }},
        {"code that runs past $ffff",
         [](std::vector<char>& b) {
             put32(b, sectionHeader(b, ".text") + 12, 0xFFF0);
             put32(b, 52 + 12, 0xFBE0); // the segment's load address: .text at $ffe0
         }},
        {"a huge code size", [](std::vector<char>& b) { put32(b, sectionHeader(b, ".text") + 20, 0xFFFFFFF0u); }},
        {"section headers beyond the file", [](std::vector<char>& b) { put32(b, 32, 0x7FFFFFF0u); }},
        {"the entry point beyond $ffff", [](std::vector<char>& b) { put32(b, 24, 0x12345); }},
        {"a line table cut short",
         [](std::vector<char>& b) {
             const size_t at = sectionHeader(b, ".debug_line");
             put32(b, get32(b, at + 16), get32(b, at + 20) + 100); // unit length past its section
         }},
        {"a line table beyond the file",
         [](std::vector<char>& b) { put32(b, sectionHeader(b, ".debug_line") + 16, 0x7FFFFFF0u); }},
    };
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        std::vector<char> bad = good;
        damage(bad);
        ElfProgram program;
        EXPECT_EQ(program.parse(bad, "bad.elf"), kTalkerS19Invalid);
        EXPECT_FALSE(program.error().empty());
        EXPECT_TRUE(program.records().empty());
        EXPECT_TRUE(program.symbols().empty());
        EXPECT_TRUE(program.lines().empty());
    }
    ElfProgram missing;
    EXPECT_EQ(missing.readFile("/nonexistent/x.elf"), kTalkerS19OpenFailed);
    EXPECT_EQ(missing.readFile("/dev/null"), kTalkerS19OpenFailed); // no regular file
    EXPECT_TRUE(ElfProgram::isElfFile(sample("loops", ".elf")));
    EXPECT_FALSE(ElfProgram::isElfFile(sample("loops", ".s19")));
}
