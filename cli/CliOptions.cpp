#include "cli/CliOptions.h"

#include "session/DebugSession.h" // the read wait bound every front end applies
#include "sim/VirtualBoard.h"       // the latency timer's range

#include <cerrno>
#include <cstdlib>

namespace {

// A whole non-negative decimal integer no larger than limit.
bool parseCount(const std::string& text, long limit, long& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    value = std::strtol(text.c_str(), nullptr, 10);
    return errno == 0 && value <= limit;
}

} // namespace

int CliOptions::baseFromName(const std::string& name)
{
    if (name == "dec" || name == "decimal")
        return 0;
    if (name == "hex" || name == "hexadecimal")
        return 1;
    if (name == "bin" || name == "binary")
        return 2;
    return -1;
}

const char* CliOptions::usage()
{
    return "usage: tarvik11-cli [--port NAME | --board [--speed N|max (default max)] [--board-eeprom FILE]\n"
           "                                      [--latency MS] [--chip a1|a8|e1|e9|811e2]\n"
           "                                      [--stimulus FILE] [--virtual-time]]\n"
           "                    [--delay MS] [--base dec|hex|bin] [--keep-going] [--no-fast-line]\n"
           "                    [-c 'CMD; CMD; ...']\n"
           "Runs debugger commands, one per line from standard input or from -c, and prints the\n"
           "progress and result of each. Exit status 0 when every command succeeded, else 1.\n"
           "Type 'help' as a command for the list of commands.\n";
}

bool CliOptions::parse(int argc, const char* const* argv, CliOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--port") {
            if (!value(options.port))
                return false;
            if (options.port.empty()) {
                error = "--port needs a port name";
                return false;
            }
            options.portGiven = true;
        } else if (arg == "--delay") {
            long ms = 0;
            if (!value(v))
                return false;
            if (!parseCount(v, kMaxReadWaitMs, ms)) {
                error = "--delay takes milliseconds from 0 to " + std::to_string(kMaxReadWaitMs) + ", not '" + v + "'";
                return false;
            }
            options.delayMs = static_cast<int>(ms);
        } else if (arg == "--board") {
            options.board = true;
        } else if (arg == "--virtual-time") {
            options.virtualTime = true;
        } else if (arg == "--speed") {
            if (!value(v))
                return false;
            if (v == "max") {
                options.speed = 0;
            } else {
                char* end = nullptr;
                errno = 0;
                const double s = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != '\0' || errno != 0 || !(s > 0) || s > 1e6) {
                    error = "--speed takes a positive multiple of real time or 'max', not '" + v + "'";
                    return false;
                }
                options.speed = s;
            }
        } else if (arg == "--latency") {
            if (!value(v))
                return false;
            if (!parseLatencyMs(v, &options.latencyMs)) {
                error = "--latency takes whole milliseconds from 0 to 255, not '" + v + "'";
                return false;
            }
        } else if (arg == "--chip") {
            if (!value(options.chip))
                return false;
            if (!findChip(options.chip)) {
                error = "--chip takes a1, a8, e1, e9 or 811e2, not '" + options.chip + "'";
                return false;
            }
        } else if (arg == "--stimulus") {
            if (!value(options.stimulus))
                return false;
        } else if (arg == "--board-eeprom") {
            if (!value(options.boardEeprom))
                return false;
        } else if (arg == "-c") {
            if (!value(options.script))
                return false;
            options.scriptGiven = true;
        } else if (arg == "--keep-going") {
            options.keepGoing = true;
        } else if (arg == "--no-fast-line") {
            options.fastLine = false;
        } else if (arg == "--base") {
            if (!value(v))
                return false;
            options.base = baseFromName(v);
            if (options.base < 0) {
                error = "--base takes dec, hex or bin, not '" + v + "'";
                return false;
            }
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (options.latencyMs > 0 && !options.board) {
        error = "--latency models an adapter in front of the virtual board: it needs --board";
        return false;
    }
    if (options.virtualTime && !options.board) {
        error = "--virtual-time runs the virtual board on virtual time: it needs --board";
        return false;
    }
    if (options.virtualTime && options.speed > 0) {
        error = "--virtual-time runs the board as fast as the commands' waits let it: it takes no --speed";
        return false;
    }
    if (!options.chip.empty() && !options.board) {
        error = "--chip chooses the virtual board's chip: it needs --board (a real board's chip is boot --chip)";
        return false;
    }
    if (!options.stimulus.empty() && !options.board) {
        error = "--stimulus drives the virtual board's pins: it needs --board";
        return false;
    }
    if (options.board && options.portGiven) {
        error = "--board and --port exclude each other";
        return false;
    }
    return true;
}
