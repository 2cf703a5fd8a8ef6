// Symbol maps: the nm listing our build writes and a GNU ld map, what is left out, and files that
// are missing, not regular, garbage or too large.
#include "engine/SymbolMap.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fresh folder under /tmp, removed with its files.
struct TempFolder {
    TempFolder()
    {
        char name[] = "/tmp/tarvik11_symbols_XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string file(const std::string& name, const std::string& text) const
    {
        const std::string p = path + "/" + name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    std::string path;
};

// The nm listing as our build writes it beside a sample (loops.map).
const std::vector<std::string> kNmLines = {
    "00000000 A __bss_size",     "00000000 A __data_section_size", "00001100 T __bss_start",
    "00001100 T __data_section_start", "00001100 T _edata", "0000c000 t loops", "0000c006 t sum",
    "0000c01c t inner",          "0000c026 t total",           "0000103b a PPROG",
    "0000c037 T __data_image",   "0000c037 A __data_image_end", "0000c037 T _etext",
};

// The parts of a GNU ld -Map file that carry symbols, and the framing around them.
const std::vector<std::string> kLinkerMapLines = {
    "",
    "Memory Configuration",
    "",
    "Name             Origin             Length             Attributes",
    "page0            0x00000000         0x00000100         xrw",
    "",
    "Linker script and memory map",
    "",
    "LOAD t.o",
    "                [!provide]                        PROVIDE (_stack = 0x7fff)",
    ".text           0x000000000000c000        0x6",
    " *(.text)",
    " .text          0x000000000000c000        0x6 t.o",
    "                0x000000000000c000                start",
    "                0x000000000000c005                sub1",
    "                0x000000000000c006                        __data_image = .",
    ".data           0x0000000000001100        0x2 load address 0x000000000000c006",
    " .data          0x0000000000001100        0x2 t.o",
    "                0x0000000000001101                gvar",
    "                0x0000000000001102                        _edata = .",
    ".debug_info     0x0000000000000000       0x40",
    "                0x0000000000000010                not_a_place",
};

TEST(SymbolMap, BothFormatsByAddressAndByName)
{
    struct Case {
        const char* what;
        const std::vector<std::string>& lines;
        std::vector<std::pair<std::string, uint16_t>> symbols; // every symbol taken, no others
    };
    const Case cases[] = {
        {"nm -n", kNmLines, {{"loops", 0xC000}, {"sum", 0xC006}, {"inner", 0xC01C}, {"total", 0xC026}}},
        {"ld -Map", kLinkerMapLines, {{"start", 0xC000}, {"sub1", 0xC005}, {"gvar", 0x1101}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SymbolMap map;
        EXPECT_EQ(map.parse(c.lines), c.symbols.size());
        EXPECT_EQ(map.size(), c.symbols.size());
        for (const auto& [name, address] : c.symbols) {
            EXPECT_EQ(map.addressOf(name), address) << name;
            EXPECT_EQ(map.nameAt(address), name) << name;
        }
        // Absolute symbols, linker names and debugging sections give nothing.
        for (const char* absent : {"PPROG", "__bss_size", "_edata", "_etext", "__data_image", "_stack", "not_a_place"})
            EXPECT_FALSE(map.addressOf(absent)) << absent;
        EXPECT_FALSE(map.nameAt(0x1100));
        EXPECT_FALSE(map.nameAt(0x0010));
    }
}

TEST(SymbolMap, NamesSharingAnAddressAndNearestSymbol)
{
    SymbolMap map;
    map.parse({"0000c000 T _start", "0000c000 t main", "0000c000 t alias", "0000c010 t loop", "0000c010 t loop2",
               "0000c020 t loop", "0000d000 D _table"});
    EXPECT_EQ(map.nameAt(0xC000), "main") << "a name without an underscore is preferred";
    EXPECT_EQ(map.nameAt(0xC010), "loop") << "then the first listed";
    EXPECT_EQ(map.addressOf("loop"), 0xC010) << "the first definition of a name";
    EXPECT_EQ(map.addressOf("_start"), 0xC000);
    EXPECT_EQ(map.nameAt(0xD000), "_table") << "an underscore name alone is still a name";
    EXPECT_EQ(map.symbolAtOrBefore(0xC01F, 0x40), 0xC010);
    EXPECT_EQ(map.symbolAtOrBefore(0xC010, 0), 0xC010);
    EXPECT_FALSE(map.symbolAtOrBefore(0xC0FF, 0x40));
    EXPECT_FALSE(map.symbolAtOrBefore(0xBFFF, 0xFFFF));
}

TEST(SymbolMap, GarbageIsSkippedAndCounted)
{
    SymbolMap map;
    const std::vector<std::string> lines = {
        "0000c000 t good",
        "zzzzzzzz t bad_address",
        "0000c001 t 9starts_with_digit",
        "0000c002 t has-dash",
        "0001c000 t beyond_64k",
        "00000000000000000000c000 t too_many_digits",
        "0000c003 ? odd_type",
        "0000c004 U undefined",
        "         U no_address",
        std::string("0000c005 t nul\0inside", 21),
        "0000c006 t " + std::string(200, 'x'),
        "\xff\xfe\x00garbage",
        "0x000000000000c007                outside_any_section",
        // Names that read as numbers would stand for another address.
        "0000c026 t $c000",
        "0000c027 t $0x10",
        "0000c028 t $FFFFFFFFFF",
        "0000c008 t also_good",
    };
    EXPECT_EQ(map.parse(lines), 2u);
    EXPECT_EQ(map.skippedLines(), lines.size() - 2);
    EXPECT_EQ(map.nameAt(0xC008), "also_good");
    // Parsing again replaces everything.
    EXPECT_EQ(map.parse({"0000c100 t other"}), 1u);
    EXPECT_FALSE(map.addressOf("good"));
    EXPECT_EQ(map.skippedLines(), 0u);
}

// Read line by line: 16 MB of lines that carry nothing cost nothing, and what is kept is capped.
TEST(SymbolMap, LargeFilesInBoundedMemory)
{
    TempFolder folder;
    SymbolMap map;
    std::string text(SymbolMap::kMaxFileBytes - 64, '\n');
    text += "0000c000 t at_the_end\n";
    ASSERT_TRUE(map.load(folder.file("blank.map", text)));
    EXPECT_EQ(map.addressOf("at_the_end"), 0xC000);
    // Names are not addresses: more of them than the cap are counted, not kept.
    std::string many;
    for (size_t i = 0; i < SymbolMap::kMaxSymbols + 3; ++i)
        many += "0000c000 t s" + std::to_string(i) + "\n";
    ASSERT_TRUE(map.load(folder.file("many.map", many)));
    EXPECT_EQ(map.size(), SymbolMap::kMaxSymbols);
    EXPECT_EQ(map.droppedSymbols(), 3u);
    EXPECT_EQ(map.nameAt(0xC000), "s0");
}

TEST(SymbolMap, FilesThatCannotBeUsedAreRefused)
{
    TempFolder folder;
    SymbolMap map;
    ASSERT_TRUE(map.load(folder.file("prog.map", "0000c000 t loops\r\n0000c006 t sum\r\n")));
    EXPECT_EQ(map.addressOf("sum"), 0xC006) << "CR LF line ends";
    EXPECT_EQ(map.path(), folder.path + "/prog.map");

    const std::string huge = folder.path + "/huge.map";
    {
        std::ofstream(huge) << "0000c000 t loops\n";
        ASSERT_EQ(::truncate(huge.c_str(), SymbolMap::kMaxFileBytes + 1), 0);
    }
    const std::string fifo = folder.path + "/fifo.map";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {folder.path + "/missing.map", folder.path, huge, fifo,
                                    folder.file("empty.map", ""), folder.file("text.map", "hello world\n")}) {
        SCOPED_TRACE(path);
        map.parse({"0000c000 t stale"});
        EXPECT_FALSE(map.load(path)); // a FIFO without a writer must not block
        EXPECT_TRUE(map.empty()) << "no symbols of an earlier program stay";
        EXPECT_TRUE(map.path().empty());
    }
}

TEST(SymbolMap, MapPathBesideTheS19)
{
    EXPECT_EQ(symbolMapPathFor("examples/loops.s19"), "examples/loops.map");
    EXPECT_EQ(symbolMapPathFor("build.v2/prog"), "build.v2/prog.map");
    EXPECT_EQ(symbolMapPathFor("/a/.hidden"), "/a/.hidden.map");
}

// The maps the build writes beside its samples give every code label the listing shows.
TEST(SymbolMap, SampleMapsOfTheBuild)
{
    SymbolMap map;
    ASSERT_TRUE(map.load(std::string(TARVIK11_EXAMPLES_DIR) + "/loops.map"));
    EXPECT_EQ(map.addressOf("loops"), 0xC000);
    EXPECT_EQ(map.addressOf("inner"), 0xC01C);
    EXPECT_EQ(map.addressOf("buffer"), 0xC027);
    EXPECT_FALSE(map.addressOf("_etext"));
}

} // namespace
