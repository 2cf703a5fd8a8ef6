// ELF programs in the command-line front end: load, addresses as symbols and FILE:LINE, and the
// line table's life across loads.
#include "CliSession.h"

#include <cstdio>
#include <fstream>
#include <iterator>

using Lines = std::vector<std::string>;

TEST_F(CliSession, ElfProgramsTakeSymbolsAndSourceLinesAsAddresses)
{
    ASSERT_TRUE(run("boot --mode special-test --base hex")) << last();
    ASSERT_TRUE(run("load " + example("subroutine.elf"))) << last();
    EXPECT_EQ(last(), "Program loaded and verified");
    ASSERT_TRUE(run("verify " + example("subroutine.elf"))) << last();

    // Line 20 is a comment: the breakpoint goes to fill's first instruction on line 21.
    ASSERT_TRUE(run("break subroutine.s:20"));
    EXPECT_EQ(last(), "Breakpoint set at $c41a");
    ASSERT_TRUE(run("run main"));
    ASSERT_TRUE(run("wait 20000"));
    EXPECT_EQ(lines, Lines{"Breakpoint reached at $c41a"});
    ASSERT_TRUE(run("disasm checksum"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "checksum:"); // after the progress line
    ASSERT_TRUE(run("until subroutine.s:18")); // "done: swi"
    ASSERT_TRUE(run("regs"));
    EXPECT_EQ(lines[4], "Program Counter $c419");
    ASSERT_TRUE(run("dump add")); // the label, though "add" is a hexadecimal number too
    EXPECT_NE(lines[0].find("$c420"), std::string::npos) << lines[0];

    struct Refusal {
        const char* command;
        const char* says;
    };
    for (const Refusal& r : {Refusal{"break nofile.s:3", "no source file 'nofile.s'"},
                             Refusal{"break subroutine.s:99", "no code at or after line 99 of subroutine.s"},
                             Refusal{"break subroutine.s:x", "the line is a decimal number"},
                             Refusal{"break nosuchlabel", "symbol or FILE:LINE"}}) {
        SCOPED_TRACE(r.command);
        EXPECT_FALSE(run(r.command));
        EXPECT_NE(last().find(r.says), std::string::npos) << last();
    }

    // A damaged ELF file loads nothing and leaves the program as it was.
    std::ifstream in(example("subroutine.elf"), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string cut = ::testing::TempDir() + "/cut.elf";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, 0x420);
    EXPECT_FALSE(run("load " + cut));
    EXPECT_NE(last().find("damaged"), std::string::npos) << last();
    ASSERT_TRUE(run("break checksum"));
    EXPECT_EQ(last(), "Breakpoint set at $c421");

    // An S19 program carries no line table: the ELF's lines are gone with it.
    ASSERT_TRUE(run("load " + example("loops.s19")));
    EXPECT_FALSE(run("break subroutine.s:21"));
    EXPECT_NE(last().find("no line information"), std::string::npos) << last();
    std::remove(cut.c_str());
}
