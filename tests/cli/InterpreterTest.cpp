#include "CliSession.h"

#include "engine/CommandTexts.h"
#include "link/NumberParse.h"
#include "engine/S19Reader.h"

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

using Lines = std::vector<std::string>;

namespace {

// The byte an S19 file holds for address, read by the reader itself (0 when it has none).
uint8_t example19Byte(const std::string& path, uint32_t address)
{
    S19Reader reader;
    if (reader.readFile(path) != 0)
        return 0;
    for (const S19Record& r : reader.records())
        if (address >= r.address && address < r.address + r.dataLength)
            return r.data[address - r.address];
    return 0;
}

} // namespace

TEST_F(CliSession, BootSwitchesEepromAndModeAndReportsLikeTheGui)
{
    ASSERT_TRUE(run("boot --eeprom on --mode special-test"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Please press the 68HC11 RESET button...");
    EXPECT_EQ(lines[1], "Talker initialized successfully.");
    // With what the boot measured of the line: the in-process board answers at once.
    EXPECT_EQ(lines[2].rfind("Talker download successful (link round trip ", 0), 0u) << lines[2];
    EXPECT_EQ(byteAt(0x103F), 0x0D);
    EXPECT_EQ(byteAt(0x103C), 0xE5);

    // EEPROM writes through the EEPROM-aware write, across both edges of the EEPROM.
    ASSERT_TRUE(run("fill $b5f8 $b607 $5a")) << last();
    ASSERT_TRUE(run("fill $b7f8 $b7ff $a5")) << last();
    ASSERT_TRUE(run("set $b600 $c3")) << last();
    EXPECT_EQ(lines.front(), "Setting location $b600 to $c3");
    EXPECT_EQ(byteAt(0xB5F8), 0x5A);
    EXPECT_EQ(byteAt(0xB5FF), 0x5A);
    EXPECT_EQ(byteAt(0xB600), 0xC3);
    EXPECT_EQ(byteAt(0xB607), 0x5A);
    EXPECT_EQ(byteAt(0xB7FF), 0xA5);

    // Booting again with the defaults switches the EEPROM off and stays in bootstrap mode.
    ASSERT_TRUE(run("boot")) << last();
    EXPECT_EQ(byteAt(0x103F), 0x0C);
    EXPECT_NE(byteAt(0x103C), 0xE5);
}

TEST_F(CliSession, LoadVerifyAndDumpASample)
{
    bootAndLoad("loops");
    EXPECT_EQ(lines, (Lines{"Loading S19 record " + example("loops.s19") + " into memory...",
                            "S19 record loaded successfully"}));
    EXPECT_EQ(cli_->engine().currentPC, 0xC000u);
    ASSERT_TRUE(run("verify " + example("loops.s19")));
    EXPECT_EQ(last(), "S19 Memory Image Verified");

    // The dump shows the file's bytes: checked against the records themselves.
    S19Reader reader;
    ASSERT_EQ(reader.readFile(example("loops.s19")), 0);
    const S19Record& first = reader.records().front();
    ASSERT_GE(first.dataLength, 16);
    ASSERT_TRUE(run("dump $" + CommandText::format("%04x", first.address + 5)));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], CommandText::format("Retrieving memory block $%04x-$%04x", first.address, first.address + 31));
    EXPECT_EQ(lines[1], "Memory Read Successful");
    EXPECT_EQ(lines[2], "       .00.01.02.03.04.05.06.07.08.09.0A.0B.0C.0D.0E.0F");
    std::string hex;
    for (int i = 0; i < 16; ++i)
        hex += CommandText::format("%02x ", first.data[i]);
    EXPECT_EQ(lines[3].substr(0, 56), CommandText::format("$%04x - ", first.address) + hex);
    EXPECT_EQ(lines[5], "Memory dump successful");

    // A changed byte makes the verify fail.
    ASSERT_TRUE(run("set $c026 $99"));
    EXPECT_FALSE(run("verify " + example("loops.s19")));
    // The first differing address comes after the status's text, from the session's result.
    EXPECT_EQ(last(), "S19 file does not match memory at $c026 (file $" +
                          CommandText::format("%02x", example19Byte(example("loops.s19"), 0xC026)) + ", memory $99)");

    const std::string copy = ::testing::TempDir() + "/loops-copy.s19";
    {
        std::ifstream in(example("loops.s19"));
        std::ofstream(copy) << in.rdbuf();
    }
    ASSERT_TRUE(run("load " + copy));
    EXPECT_EQ(lines, (Lines{"Loading S19 record " + copy + " into memory...",
                            "Unable to open LST file, S19 loaded successfully", "S19 record loaded successfully"}));

    // A dump whose defaulted end runs past $FFFF ends at the top of memory.
    for (const char* top : {"dump $fff5", "dump $ffff", "dump $fff0 $ffff"}) {
        ASSERT_TRUE(run(top)) << top << ": " << last();
        EXPECT_EQ(lines.front(), "Retrieving memory block $fff0-$ffff");
        EXPECT_EQ(lines.size(), 5u);
    }
    EXPECT_FALSE(run("load /nonexistent/prog.s19"));
    EXPECT_EQ(last(), "Opening S19 file failed");
}

TEST_F(CliSession, FillMoveFindWorkOnExternalRam)
{
    ASSERT_TRUE(run("boot --mode special-test"));
    ASSERT_TRUE(run("fill $c100 $c1ff 0")) << last();
    ASSERT_TRUE(run("fill $c100 $c10f $41"));
    EXPECT_EQ(lines, (Lines{"Filling block $c100 to $c10f with $41", "Block Fill successful"}));
    ASSERT_TRUE(run("move $c100 $c10f $c180"));
    EXPECT_EQ(lines, (Lines{"Moving block - source $c100-$c10f - dest $c180", "Memory move successful."}));
    EXPECT_EQ(byteAt(0xC180), 0x41);
    EXPECT_EQ(byteAt(0xC18F), 0x41);
    EXPECT_EQ(byteAt(0xC190), 0x00);

    ASSERT_TRUE(run("find $c110 $c1ff #65"));
    EXPECT_EQ(lines, (Lines{"Searching for $41 starting at $c110...", "Value 41 found at location $c180"}));
    EXPECT_FALSE(run("find $c110 $c1ff $141")); // a byte is 0-255: no low byte is searched for
    EXPECT_EQ(lines, Lines{"Error: the byte '$141' is out of range: it takes 0-255 ($00-$ff)"});
    EXPECT_FALSE(run("find $c190 $c1ff $41"));
    EXPECT_EQ(last(), "The search byte was not found in the range");

    // Ranges given backwards are refused before anything is written.
    for (const char* command : {"fill $c1ff $c100 1", "move $c1ff $c100 $c000", "find $c1ff $c100 1"}) {
        EXPECT_FALSE(run(command)) << command;
        EXPECT_EQ(lines, Lines{"Start Address cannot be greater than End Address"}) << command;
    }
    EXPECT_FALSE(run("move $c100 $c1ff $ff80"));
    EXPECT_EQ(lines, Lines{"Destination block $ff80 of 256 bytes runs past $ffff"});
    EXPECT_EQ(byteAt(0xC1FF), 0x00);
}

TEST_F(CliSession, RegistersShowAndChange)
{
    ASSERT_TRUE(run("boot"));
    ASSERT_TRUE(run("regs"));
    ASSERT_EQ(lines.size(), 7u);
    const char* labels[] = {"Accumulator A", "Accumulator B", "Index X", "Index Y", "Program Counter",
                            "Stack Pointer", "CCR"};
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(labels[i], 0), 0u) << lines[i];
    EXPECT_EQ(lines[4], CommandText::format("Program Counter $%04x", cli_->engine().talkerIdleAddress));

    EXPECT_FALSE(run("setreg a $1ff"));
    EXPECT_EQ(last(), "Error: the register A '$1ff' is out of range: it takes 0-255 ($00-$ff)");
    ASSERT_TRUE(run("setreg a $ff"));
    ASSERT_TRUE(run("setreg X $1234"));
    ASSERT_TRUE(run("regs"));
    EXPECT_EQ(lines[0], "Accumulator A   $ff");
    EXPECT_EQ(lines[2], "Index X         $1234");
    EXPECT_EQ(lines[6].substr(16, 1), "%");
    EXPECT_EQ(lines[6].substr(25), " (SXHI NZVC)");
    EXPECT_FALSE(run("setreg sp $100"));
    EXPECT_FALSE(run("setreg q 1"));
}

TEST_F(CliSession, BreakpointRunsAndStops)
{
    bootAndLoad("loops");
    const auto sym = symbols("loops");
    const std::string done = CommandText::format("$%04x", sym.at("done"));
    ASSERT_TRUE(run("break " + done));
    EXPECT_EQ(last(), "Breakpoint set at " + done);
    EXPECT_FALSE(run("break " + done));
    EXPECT_EQ(last(), "Breakpoint set at location");
    ASSERT_TRUE(run("break $c000"));
    ASSERT_TRUE(run("breaks"));
    EXPECT_EQ(lines, (Lines{"$c000", done}));
    ASSERT_TRUE(run("unbreak $c000"));
    EXPECT_EQ(last(), "Breakpoint $c000 Removed");
    EXPECT_FALSE(run("unbreak $c000"));
    EXPECT_EQ(last(), "Unable to remove breakpoint $c000");

    ASSERT_TRUE(run("run $c000"));
    EXPECT_EQ(lines, (Lines{"Beginning program execution", "Executing program"}));
    ASSERT_TRUE(run("wait 20000"));
    EXPECT_EQ(lines, Lines{"Breakpoint reached at " + done});
    ASSERT_TRUE(run("regs"));
    EXPECT_EQ(lines[0], "Accumulator A   $37");
    EXPECT_EQ(lines[4], "Program Counter " + done);
    // The breakpoint was one-shot: gone from the table and from memory.
    ASSERT_TRUE(run("breaks"));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(byteAt(sym.at("done")), 0x3F); // the sample's own SWI

    // Without a breakpoint there, the sample's own SWI is reported as no breakpoint of ours.
    ASSERT_TRUE(run("run $c000"));
    EXPECT_FALSE(run("wait 20000"));
    EXPECT_EQ(lines, Lines{"Unable to remove current breakpoint from table."});
    EXPECT_FALSE(run("wait 10"));
    EXPECT_EQ(last(), "No program is running with breakpoints");
}

TEST_F(CliSession, WaitTimesOutAndStopReturnsToTheTalker)
{
    bootAndLoad("counter");
    const auto sym = symbols("counter");
    ASSERT_TRUE(run("break $c000")); // never reached: outside the program
    ASSERT_TRUE(run("run " + CommandText::format("$%04x", sym.at("main"))));
    EXPECT_FALSE(run("wait 300"));
    EXPECT_EQ(lines, Lines{"No breakpoint reached within 300 ms"});
    ASSERT_TRUE(run("stop"));
    EXPECT_EQ(lines, (Lines{"Stopping execution", "Execution stopped"}));
    EXPECT_GE(cli_->engine().currentPC, sym.at("main"));
    EXPECT_LT(cli_->engine().currentPC, sym.at("count"));
    // Back in the talker: the count no longer moves.
    uint8_t a[2], b[2];
    ASSERT_EQ(cli_->memory().readBlock(sym.at("count"), 2, a), 0);
    ASSERT_EQ(cli_->memory().readBlock(sym.at("count"), 2, b), 0);
    EXPECT_EQ(a[0] << 8 | a[1], b[0] << 8 | b[1]);
    EXPECT_NE(a[0] << 8 | a[1], 0);
}

TEST_F(CliSession, InterruptedWaitStopsTheProgramAndTakesItsBreakpointOut)
{
    EXPECT_FALSE(CommandInterpreter::interruptWait()); // no wait to interrupt
    bootAndLoad("counter");
    const auto sym = symbols("counter");
    const uint8_t original = byteAt(0xC000);
    ASSERT_TRUE(run("break $c000"));
    ASSERT_TRUE(run("run " + CommandText::format("$%04x", sym.at("main"))));
    ASSERT_EQ(byteAt(0xC000), 0x3F); // our SWI while the program runs

    std::atomic<bool> done{false};
    std::thread user([&] {
        while (!done && !CommandInterpreter::interruptWait())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    const bool waited = run("wait 600000");
    done = true;
    user.join();
    EXPECT_FALSE(waited);
    EXPECT_EQ(lines, (Lines{"Wait interrupted", "Stopping execution", "Execution stopped"}));
    EXPECT_FALSE(cli_->engine().running);
    EXPECT_EQ(byteAt(0xC000), original);
    EXPECT_FALSE(CommandInterpreter::interruptWait());
}

TEST_F(CliSession, CallReturnsIntoTheTalker)
{
    bootAndLoad("subroutine");
    const auto sym = symbols("subroutine");
    const uint32_t area = sym.at("area");
    ASSERT_TRUE(run(CommandText::format("fill $%04x $%04x $77", area, area + 15)));
    ASSERT_TRUE(run(CommandText::format("call $%04x", sym.at("clear"))));
    EXPECT_EQ(lines, (Lines{"Calling Subroutine", "Calling Subroutine"}));
    ASSERT_TRUE(run("regs")); // the talker answers again once the subroutine has returned
    EXPECT_EQ(lines[4], CommandText::format("Program Counter $%04x", cli_->engine().talkerIdleAddress));
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(byteAt(area + i), 0) << i;
}

TEST_F(CliSession, TraceVisitsEverySuccessorKind)
{
    bootAndLoad("flow");
    const auto sym = symbols("flow");
    ASSERT_TRUE(run(CommandText::format("trace $%04x", sym.at("flow"))));
    std::set<uint32_t> visited{sym.at("flow")};
    for (int i = 0; i < 80 && cli_->engine().currentPC != sym.at("flow_end"); ++i) {
        visited.insert(cli_->engine().currentPC);
        ASSERT_TRUE(run("step")) << last();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], CommandText::format("Trace completed at $%04x", cli_->engine().currentPC));
    }
    ASSERT_EQ(cli_->engine().currentPC, sym.at("flow_end"));
    EXPECT_EQ(visited.count(sym.at("f_stop")), 0u);
    for (const auto& [name, address] : sym)
        if (name.rfind("f_", 0) == 0 && name != "f_stop") {
            EXPECT_EQ(visited.count(address), 1u) << name;
        }
    // The registers window shows where the trace stopped.
    ASSERT_TRUE(run("regs"));
    EXPECT_EQ(lines[4], CommandText::format("Program Counter $%04x", sym.at("flow_end")));
    ASSERT_TRUE(run("step 2")); // flow_end is the sample's SWI: a trace runs it into the talker
}

TEST_F(CliSession, BadInputIsRefusedClearly)
{
    struct Case {
        const char* command;
        const char* firstLine;
    };
    const Case cases[] = {
        {"frobnicate", "Error: unknown command 'frobnicate' (type help for the list)"},
        {"dump", "Error: usage: dump START [END]"},
        {"set $c000", "Error: usage: set ADDR VALUE"},
        {"dump $c0g0", "Error: the start address '$c0g0' is not a number ($hex, %binary, #decimal or the default base)"},
        {"set 123456 1", "Error: the address '123456' is out of range: it takes 0-65535 ($0000-$ffff)"},
        {"step 0", "Error: step takes a count from 1 as a decimal number, not '0'"},
        {"wait soon", "Error: wait takes milliseconds as a decimal number, not 'soon'"},
        {"boot --eeprom maybe", "Error: boot --eeprom takes on or off, not 'maybe'"},
        {"boot --chip e3", "Error: boot --chip takes a1, a8, e1, e9 or 811e2, not 'e3'"},
        {"boot --crystal 8MHz", "Error: boot --crystal takes the crystal in MHz from 1 to 20, not '8MHz'"},
        {"boot --crystal 0.5", "Error: boot --crystal takes the crystal in MHz from 1 to 20, not '0.5'"},
        {"boot --reset dsr", "Error: boot --reset takes none, dtr, rts, dtr-inverted or rts-inverted, not 'dsr'"},
        {"load 'unterminated", "Error: unterminated quote in 'load 'unterminated'"},
        {"reset", "Error: reset presses the virtual board's RESET; it needs --board"},
        // Before the talker is booted the port is closed.
        {"regs", "Register Read Failed!"},
        {"dump 0", "Retrieving memory block $0000-$001f"},
    };
    for (const Case& c : cases) {
        bool ok = true;
        if (std::string(c.command) == "reset") {
            std::ostringstream out;
            CommandInterpreter noBoard({}, out);
            ok = noBoard.execute(c.command);
            EXPECT_EQ(out.str(), std::string(c.firstLine) + "\n");
        } else {
            ok = run(c.command);
            ASSERT_FALSE(lines.empty()) << c.command;
            EXPECT_EQ(lines[0], c.firstLine) << c.command;
        }
        EXPECT_FALSE(ok) << c.command;
    }
    EXPECT_EQ(last(), "Communications port is not open"); // the rest of the dump
    // Zero typed in any base is a number; blank lines and comments do nothing.
    for (const char* fine : {"", "   ", "# a comment", "breaks"})
        EXPECT_TRUE(run(fine)) << fine;
    EXPECT_TRUE(run("break 0") == false && last() == "Breakpoint set at location");
}

TEST(CliScript, QuotesKeepSeparatorsAndBlanks)
{
    EXPECT_EQ(CommandInterpreter::splitScript("boot; load 'a;b.s19' ;regs"),
              (Lines{"boot", " load 'a;b.s19' ", "regs"}));
    Lines words;
    std::string error;
    ASSERT_TRUE(CommandInterpreter::splitWords("load \"my file.s19\"  x", words, error));
    EXPECT_EQ(words, (Lines{"load", "my file.s19", "x"}));
}

TEST_F(CliSession, BootFailuresGiveTheStatusText)
{
    std::ostringstream out;
    CommandInterpreter::Settings missingPort;
    missingPort.port = "/dev/tarvik11-no-such-port";
    CommandInterpreter cli(missingPort, out);
    EXPECT_FALSE(cli.execute("boot"));
    EXPECT_EQ(out.str(), "Please press the 68HC11 RESET button...\nUnable to open communications port: "
                         "/dev/tarvik11-no-such-port does not exist\n");

    EXPECT_FALSE(run("boot --talker /nonexistent/talker.boo"));
    EXPECT_EQ(last(), "Unable to open talker file");
}

// break's rules: refused forms set nothing; a logpoint prints its lines while "wait" runs; run's
// breakpoints are one-shot, continue's stay set.
TEST_F(CliSession, BreakpointRulesLogAndContinueKeepsBreakpoints)
{
    bootAndLoad("loops");
    const auto sym = symbols("loops");
    const std::string sum = CommandText::format("$%04x", sym.at("sum"));
    const std::string done = CommandText::format("$%04x", sym.at("done"));
    for (const char* bad : {"break sum if", "break sum when A", "break sum hits often", "break sum if 'A =='",
                            "break sum log '{A +}'", "break sum if A hits 2 if B"}) {
        EXPECT_FALSE(run(bad)) << bad;
        ASSERT_TRUE(run("breaks"));
        EXPECT_TRUE(lines.empty()) << bad;
    }
    ASSERT_TRUE(run("break sum hits >=9 log 'B={B} A={A}'"));
    EXPECT_EQ(last(), "Breakpoint set at " + sum + " hits >=9 log \"B={B} A={A}\"");
    ASSERT_TRUE(run("break done"));
    ASSERT_TRUE(run("run $c000"));
    ASSERT_TRUE(run("wait 20000"));
    EXPECT_EQ(lines, (Lines{"B=$02 A=$34", "B=$01 A=$36", "Breakpoint reached at " + done}));
    ASSERT_TRUE(run("breaks"));
    EXPECT_EQ(lines, Lines{sum + " hits >=9 log \"B={B} A={A}\" (hit 10 times)"});

    ASSERT_TRUE(run("clearbreaks"));
    ASSERT_TRUE(run("break sum if B == 5"));
    ASSERT_TRUE(run("run $c000"));
    ASSERT_TRUE(run("wait 20000"));
    ASSERT_TRUE(run("breaks"));
    EXPECT_TRUE(lines.empty()); // run's breakpoint went with its hit
    ASSERT_TRUE(run("break sum"));
    for (const char* b : {"$04", "$03"}) {
        ASSERT_TRUE(run("continue"));
        EXPECT_EQ(last(), "Breakpoint reached at " + sum);
        ASSERT_TRUE(run("regs"));
        EXPECT_EQ(lines[1], std::string("Accumulator B   ") + b);
        ASSERT_TRUE(run("breaks"));
        EXPECT_EQ(lines, Lines{sum});
    }
}
