#pragma once
#include <string>

// The command line of tarvik11-cli.
struct CliOptions {
    std::string port = "COM1";  // a COM name or a device path
    bool portGiven = false;
    int delayMs = 20;           // the serial port's read wait
    bool board = false;         // run the virtual board in-process and use it as the port
    double speed = 0;           // the virtual board's speed: a multiple of real time, 0 as fast as possible
    double latencyMs = 0;       // the virtual board's adapter latency timer (0: none)
    bool virtualTime = false;   // the virtual board on virtual time (lockstep with the commands' waits)
    std::string boardEeprom;    // where the virtual board keeps its EEPROM (empty: in memory)
    std::string stimulus;       // the virtual board's stimulus file (timed pin events); needs --board
    std::string chip;           // the virtual board's chip as typed (empty: the default); needs --board
    std::string script;         // commands from -c, separated by ';' (empty: read standard input)
    bool scriptGiven = false;
    bool keepGoing = false;     // go on after a failed command
    bool fastLine = true;       // with our talker, 125000 baud after the start (--no-fast-line: 9600)
    int base = -1;              // default number base from --base, -1 when not given
    bool help = false;

    // Fills options from argv; false with a message in error on a bad option.
    static bool parse(int argc, const char* const* argv, CliOptions& options, std::string& error);
    // The usage text.
    static const char* usage();
    // The number base for "dec", "hex" or "bin" (also "decimal", "hexadecimal", "binary"); -1 otherwise.
    static int baseFromName(const std::string& name);
};
