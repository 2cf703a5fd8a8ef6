// tarvik11-cli run as its own process, as a user or a CI script runs it.
#include <gtest/gtest.h>

#include <fstream>

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

// Runs the front end with the given arguments (shell words), feeding input on standard input.
Outcome runCli(const std::string& arguments, const std::string& input = "")
{
    const std::string command = "printf '" + input + "' | " + TARVIK11_CLI + " " + arguments + " 2>&1";
    Outcome o;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return o;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        o.output.append(buffer, n);
    const int status = ::pclose(pipe);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        // What the boot measured of the line varies from run to run.
        if (line.rfind("Talker download successful (link round trip", 0) == 0)
            line = "Talker download successful";
        out.push_back(line);
    }
    return out;
}

} // namespace

TEST(CliProcess, SessionOnTheVirtualBoard)
{
    const std::string examples = TARVIK11_EXAMPLES_DIR;
    const Outcome o = runCli("--board --speed max --delay 1000 -c 'boot --mode special-test; load " + examples +
                             "/loops.s19; break $c025; run $c000; wait 20000; dump $c026 $c026; trace $c000'");
    ASSERT_EQ(o.exitCode, 0) << o.output;
    const auto lines = linesOf(o.output);
    const std::vector<std::string> expected{
        "Please press the 68HC11 RESET button...",
        "Talker initialized successfully.",
        "Talker download successful",
        "Loading S19 record " + examples + "/loops.s19 into memory...",
        "S19 record loaded successfully",
        "Breakpoint set at $c025",
        "Beginning program execution",
        "Executing program",
        "Breakpoint reached at $c025",
        "Retrieving memory block $c020-$c02f",
        "Memory Read Successful",
        "       .00.01.02.03.04.05.06.07.08.09.0A.0B.0C.0D.0E.0F",
        "$c020 - 26 f9 b6 c0 26 3f 37 00 01 02 03 04 05 06 07 08 &...&?7.........",
        "Memory dump successful",
        "Beginning trace at $c000",
        "Trace completed at $c003",
    };
    EXPECT_EQ(lines, expected);
}

// On virtual time the host's waits and the board's clock advance together: the counter sample
// (16 E cycles a count) counts exactly what a longer wait adds, and a run gives the same count
// every time, however loaded the machine is.
TEST(CliProcess, VirtualTimeCountsTheWaitsExactly)
{
    auto countAfter = [](int waitMs) {
        const Outcome o = runCli(std::string("--board --virtual-time --keep-going -c 'boot --mode special-test; load ") +
                                 TARVIK11_EXAMPLES_DIR + "/counter.s19; run $cc00; wait " + std::to_string(waitMs) +
                                 "; stop; dump $cc13 $cc14'");
        for (const std::string& line : linesOf(o.output))
            if (line.rfind("$cc10 - ", 0) == 0)
                return std::stol(line.substr(17, 2) + line.substr(20, 2), nullptr, 16);
        ADD_FAILURE() << o.output;
        return -1L;
    };
    const long shortWait = countAfter(100);
    EXPECT_GE(shortWait, 100 * 2000 / 16); // at least the wait itself at 2 MHz
    EXPECT_EQ(countAfter(100), shortWait);
    EXPECT_EQ(countAfter(300) - shortWait, 200 * 2000 / 16);
}

TEST(CliProcess, ExitStatusAndFailures)
{
    struct Case {
        const char* arguments;
        const char* input;
        int exitCode;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        // Commands from standard input; the first failure ends the run.
        {"--port /dev/tarvik11-none", "breaks\\nbogus\\nhelp\\n", 1, {"Error: unknown command 'bogus'"}, {"Commands"}},
        {"--port /dev/tarvik11-none --keep-going", "bogus\\nhelp\\n", 1, {"unknown command", "Commands"}, {}},
        {"--port /dev/tarvik11-none", "breaks\\n# a comment\\n\\n", 0, {}, {"Error"}},
        // A port that does not exist.
        {"--port /dev/tarvik11-none -c 'boot; regs'", "", 1,
         {"Unable to open communications port: /dev/tarvik11-none does not exist"},
         {"Register Read Failed!", "Talker download successful"}},
        // After a failed boot no command talks to the target.
        {"--port /dev/tarvik11-none --keep-going -c 'boot; regs'", "", 1,
         {"Unable to open communications port", "No talker is running: the last boot failed"},
         {"Register Read Failed!"}},
        {"--port COM9 -c boot", "", 1, {"Unable to open communications port: no device is set for port COM9"}, {}},
        // Malformed numbers and options.
        {"-c 'set $zz 1'", "", 1, {"is not a number"}, {"Setting location"}},
        {"--speed fast -c help", "", 1, {"--speed takes", "usage: tarvik11-cli"}, {"Commands"}},
        {"--board --port /dev/ttyS0", "", 1, {"exclude each other"}, {}},
        {"--board --chip e3", "", 1, {"--chip takes a1, a8, e1, e9 or 811e2, not 'e3'"}, {}},
        {"--chip e9 -c help", "", 1, {"it needs --board"}, {"Commands"}},
        {"--stimulus x.stim -c help", "", 1, {"--stimulus drives the virtual board's pins: it needs --board"}, {"Commands"}},
        {"--board --stimulus /nonexistent/x.stim -c pins", "", 1,
         {"cannot start the virtual board: /nonexistent/x.stim: cannot read the stimulus file"}, {"PA "}},
        {"--virtual-time -c help", "", 1, {"--virtual-time runs the virtual board", "it needs --board"}, {"Commands"}},
        {"--board --virtual-time --speed 2 -c help", "", 1, {"it takes no --speed"}, {"Commands"}},
        // The board's chip comes from --chip: the E9's RAM reaches $01ff. On virtual time, so that
        // the E9's loader, which ends its download on an idle line, sees the host's pauses as they are.
        {"--board --virtual-time --chip E9 -c 'boot --chip e9; set $01ff $5a; dump $01ff $01ff'", "", 0,
         {"00 00 5a ...............Z"}, {}},
        {"--frobnicate", "", 1, {"unknown option '--frobnicate'"}, {}},
        {"--delay", "", 1, {"needs a value"}, {}},
        {"--help", "", 0, {"usage: tarvik11-cli", "Commands"}, {}},
    };
    for (const Case& c : cases) {
        const Outcome o = runCli(c.arguments, c.input);
        EXPECT_EQ(o.exitCode, c.exitCode) << c.arguments << "\n" << o.output;
        for (const auto& text : c.present)
            EXPECT_NE(o.output.find(text), std::string::npos) << c.arguments << ": no '" << text << "' in\n" << o.output;
        for (const auto& text : c.absent)
            EXPECT_EQ(o.output.find(text), std::string::npos) << c.arguments << ": '" << text << "' in\n" << o.output;
    }
}

TEST(CliProcess, StimulusFileDrivesTheBoardOrStopsItWithItsLine)
{
    const std::string good = ::testing::TempDir() + "/cli-good.stim";
    const std::string bad = ::testing::TempDir() + "/cli-bad.stim";
    std::ofstream(good) << "# PE2 at 2 V, PA1 high from the start\n0 PE2 2v\n0 PA1 high\n";
    std::ofstream(bad) << "0 PE2 2v\n\n10 PA1 sideways\n";
    Outcome o = runCli("--board --stimulus " + good + " -c pins");
    EXPECT_EQ(o.exitCode, 0) << o.output;
    EXPECT_NE(o.output.find("PA   levels 0 0 0 0 0 0 1 0"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("PE2 $66 2.00V"), std::string::npos) << o.output; // round(255 x 2 / 5) = 102
    o = runCli("--board --stimulus " + bad + " -c pins");
    EXPECT_EQ(o.exitCode, 1) << o.output;
    EXPECT_NE(o.output.find(bad + ":3: 'sideways' is not a level for PA1"), std::string::npos) << o.output;
    EXPECT_EQ(o.output.find("PA   levels"), std::string::npos) << "nothing runs: " << o.output;
}
