// The "pin" and "pins" commands on the in-process board: the same names and values as a stimulus
// file, refusals that leave the pins as they were, and what the program sees of a driven pin.
#include "CliSession.h"

namespace {

// The line of "pins" that starts with `prefix`.
std::string lineStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0)
            return l;
    return {};
}

} // namespace

TEST_F(CliSession, PinCommandsDriveThePinsAndPinsShowsThem)
{
    struct Case {
        const char* command;
        bool ok;
        const char* said; // the error, or empty
    } cases[] = {
        {"pin PA2 high", true, ""},
        {"pin pa0 1", true, ""},
        {"pin PE1 2.5v", true, ""},
        {"pin PE7 $FF", true, ""},
        {"pin PC6 high", true, ""},
        {"pin XIRQ low", true, ""},
        {"pin spi $12 $34", true, ""},
        {"pin PA5 high", false, "Error: PA5 is an output only"},
        {"pin PB0 low", false, "Error: PB0 is an output only"},
        {"pin PF1 high", false, "Error: unknown pin 'PF1'"},
        {"pin PA2 sideways", false, "Error: 'sideways' is not a level for PA2"},
        {"pin PE1 9v", false, "Error: a pin takes 0 to 5.5 volts"},
        {"pin PA2 pulse 0", false, "Error: a pulse lasts at least one E cycle"},
        {"pin spi 300", false, "Error: '300' is not a byte"},
        {"pin PA2", false, "Error: usage: pin NAME VALUE"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.command), c.ok) << c.command << ": " << last();
        if (*c.said)
            EXPECT_EQ(last().rfind(c.said, 0), 0u) << c.command << ": " << last();
        else
            EXPECT_TRUE(lines.empty()) << c.command << ": " << last();
    }
    ASSERT_TRUE(run("pins")) << last();
    // Refused settings changed nothing: PA2 and PA0 high, PA4-PA6 outputs (and PA3 on the A1).
    EXPECT_EQ(lineStarting(lines, "PA "), "PA   levels 0 0 0 0 0 1 0 1   (PA7-PA0)  outputs: PA6 PA5 PA4 PA3");
    EXPECT_EQ(lineStarting(lines, "PC "), "PC   levels 0 1 0 0 0 0 0 0   (PC7-PC0)  outputs: none   STRA 0   STRB 0");
    EXPECT_EQ(lineStarting(lines, "PE "), "PE   levels 1 0 0 0 0 0 1 0   (PE7-PE0)  outputs: none");
    EXPECT_NE(lineStarting(lines, "PE analog").find("PE1 $80 2.51V"), std::string::npos) << lineStarting(lines, "PE analog");
    EXPECT_EQ(lineStarting(lines, "IRQ"), "IRQ 1   XIRQ 0");
}

TEST_F(CliSession, ADrivenPinIsWhatTheProgramReads)
{
    ASSERT_TRUE(run("boot")) << last();
    ASSERT_TRUE(run("pin PC3 high")) << last();
    ASSERT_TRUE(run("pin PE5 high")) << last();
    ASSERT_TRUE(run("dump $1000 $100f")) << last();
    // PIOC $03 out of reset; PORTC ($1003) reads PC3 high (DDRC clear: inputs); PORTD ($1008) its
    // pulled-up inputs; PORTE ($100A) reads PE5 (at VRH) as a 1.
    EXPECT_EQ(lineStarting(lines, "$1000 - ").substr(0, 40), "$1000 - 00 00 03 08 00 00 00 00 3f 00 20");
    ASSERT_TRUE(run("pin PC3 low")) << last();
    ASSERT_TRUE(run("pin PE5 2.4v")) << last(); // below half of VRH: reads 0
    ASSERT_TRUE(run("dump $1000 $100f")) << last();
    EXPECT_EQ(lineStarting(lines, "$1000 - ").substr(0, 40), "$1000 - 00 00 03 00 00 00 00 00 3f 00 00");
}

TEST(CliNoBoard, PinCommandsNeedTheInProcessBoard)
{
    const std::pair<const char*, const char*> cases[] = {
        {"pin PA2 high", "Error: the pins are the virtual board's: this needs the board in this process (--board)\n"},
        {"pins", "Error: pins shows the virtual board's pins; it needs --board\n"},
    };
    for (const auto& [command, said] : cases) {
        std::ostringstream out;
        CommandInterpreter noBoard({}, out);
        EXPECT_FALSE(noBoard.execute(command)) << command;
        EXPECT_EQ(out.str(), said);
    }
}
