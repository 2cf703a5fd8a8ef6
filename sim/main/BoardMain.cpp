// tarvik11-board: a virtual 68HC11 board behind a pseudo-terminal.
//
//   tarvik11-board [--chip NAME] [--link PATH] [--speed N|max] [--eeprom FILE] [--latency MS]
//                  [--fault SPEC]... [--fault-seed N] [--stimulus FILE]
//
// Prints "ready DEVICE" once the line is open (DEVICE is PATH when given), then runs until
// SIGINT or SIGTERM. SIGUSR1 presses the board's RESET button, SIGUSR2 ends the line faults.
// With faults, their figures are printed to standard error when the board stops.
#include "sim/VirtualBoard.h"
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
void usage(FILE* out) {
    std::fputs("usage: tarvik11-board [--chip NAME] [--link PATH] [--speed N|max] [--eeprom FILE]\n"
               "                      [--latency MS] [--fault SPEC]... [--fault-seed N] [--stimulus FILE]\n"
               "  --chip NAME     the chip on the board (default a1): a1, a8 (256 bytes of RAM, 512 of\n"
               "                  EEPROM at $B600, the boot loader takes exactly 256 bytes), e1, e9\n"
               "                  (512 bytes of RAM, EEPROM at $B600), 811e2 (256 bytes of RAM, 2 KB of\n"
               "                  EEPROM at $F800, moved by CONFIG's upper nibble); on the E-series and\n"
               "                  the 811E2 the loader takes up to the RAM size and stops when the line\n"
               "                  idles four character times\n"
               "  --link PATH     make PATH a symbolic link to the board's serial device\n"
               "  --speed N       run at N times real time (default 1); max: as fast as possible\n"
               "  --eeprom FILE   keep EEPROM and CONFIG in FILE across restarts\n"
               "  --latency MS    deliver the board's bytes as a USB-serial adapter with a latency\n"
               "                  timer of MS ms (0-255) does: in packets, a partial one when the\n"
               "                  timer expires (default 0: each byte at once)\n"
               "  --fault SPEC    a serial line fault (repeatable): KIND,TRIGGER[,SETTING...]\n"
               "                  KIND drop, garble, duplicate, delay (ms=), outage (ms=), reset\n"
               "                  TRIGGER p=P (each byte with probability P), after=K (the K-th byte,\n"
               "                  once) or every=K; SETTING dir=to-board|to-host|both, count=N, ms=MS\n"
               "                  e.g. drop,p=0.01  delay,p=0.1,ms=30,dir=to-host  outage,after=200,ms=500\n"
               "  --fault-seed N  seed of the faults' random draws (default 1)\n"
               "  --stimulus FILE timed events on the board's pins, one a line:\n"
               "                    TIME PIN VALUE      TIME spi BYTES...     vrh VOLTS   vrl VOLTS\n"
               "                  TIME: E cycles from power-on (1000) or with a unit (250us, 1.5ms, 2s);\n"
               "                  +TIME is after the previous event. Times never go back.\n"
               "                  PIN: PA0-PA3, PA7, PC0-PC7, PD0-PD5, PE0-PE7, STRA, IRQ, XIRQ.\n"
               "                  VALUE: high, low, 1, 0, rise, fall (an edge: the pin must be at the other\n"
               "                  level), pulse WIDTH (the other level for WIDTH, then back); on PE0-PE7\n"
               "                  volts (2.5v, against VRL 0 V and VRH 5 V unless set) or an 8-bit value\n"
               "                  (0-255, $80). spi BYTES: the attached SPI device's bytes: what it returns\n"
               "                  to a master, one a transfer ($FF when it has none); with the SPI a slave\n"
               "                  and SS (PD5) low, its own transfers from TIME on. # starts a comment.\n"
               "                  A bad line is reported with the file's name and line; the board does\n"
               "                  not start.\n"
               "Signals: SIGUSR1 presses RESET; SIGUSR2 ends the faults; SIGINT or SIGTERM stops the board.\n",
               out);
}

bool parseSpeed(const char* text, double* speed) {
    if (std::strcmp(text, "max") == 0) {
        *speed = 0;
        return true;
    }
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v > 0) || v > 1e6)
        return false;
    *speed = v;
    return true;
}
bool parseSeed(const char* text, uint64_t* seed) {
    if (*text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return false;
    *seed = v;
    return true;
}

void printFaultStats(const LineFaults::Stats& stats) {
    std::fprintf(stderr, "tarvik11-board: faults injected %llu (", static_cast<unsigned long long>(stats.total()));
    for (int k = 0; k < kFaultKindCount; ++k)
        std::fprintf(stderr, "%s%s %llu", k ? ", " : "", std::string(faultKindName(FaultKind(k))).c_str(),
                     static_cast<unsigned long long>(stats.injected[size_t(k)]));
    std::fprintf(stderr, "); bytes to board %llu (damaged %llu), to host %llu, lost in outages %llu\n",
                 static_cast<unsigned long long>(stats.bytesToBoard),
                 static_cast<unsigned long long>(stats.damagedToBoard),
                 static_cast<unsigned long long>(stats.bytesToHost),
                 static_cast<unsigned long long>(stats.lostInOutage));
}
} // namespace

int main(int argc, char** argv) {
    VirtualBoardOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--chip" && hasValue) {
            const auto chip = findChip(argv[++i]);
            if (!chip) {
                std::fprintf(stderr, "tarvik11-board: unknown chip '%s' (a1, a8, e1, e9 or 811e2)\n", argv[i]);
                return 2;
            }
            options.chip = *chip;
        } else if (arg == "--link" && hasValue) {
            options.linkPath = argv[++i];
        } else if (arg == "--eeprom" && hasValue) {
            options.eepromFile = argv[++i];
        } else if (arg == "--speed" && hasValue) {
            if (!parseSpeed(argv[++i], &options.speed)) {
                std::fprintf(stderr, "tarvik11-board: bad speed '%s' (a number above 0, or max)\n", argv[i]);
                return 2;
            }
        } else if (arg == "--latency" && hasValue) {
            if (!parseLatencyMs(argv[++i], &options.latencyMs)) {
                std::fprintf(stderr, "tarvik11-board: bad latency '%s' (whole milliseconds, 0 to 255)\n", argv[i]);
                return 2;
            }
        } else if (arg == "--fault" && hasValue) {
            FaultRule spec;
            std::string error;
            if (!FaultRule::parse(argv[++i], &spec, &error)) {
                std::fprintf(stderr, "tarvik11-board: %s\n", error.c_str());
                return 2;
            }
            options.faults.push_back(spec);
        } else if (arg == "--fault-seed" && hasValue) {
            if (!parseSeed(argv[++i], &options.faultSeed)) {
                std::fprintf(stderr, "tarvik11-board: bad fault seed '%s' (a whole number)\n", argv[i]);
                return 2;
            }
        } else if (arg == "--stimulus" && hasValue) {
            options.stimulusFile = argv[++i];
        } else {
            std::fprintf(stderr, "tarvik11-board: %s '%s'\n",
                         (arg.rfind("--", 0) == 0 && !hasValue) ? "missing value for" : "unknown argument",
                         arg.c_str());
            usage(stderr);
            return 2;
        }
    }

    // The signals are taken synchronously below; the board thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    VirtualBoard board(options);
    std::string error;
    if (!board.start(&error)) {
        std::fprintf(stderr, "tarvik11-board: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready %s\n", board.devicePath().c_str());
    std::fflush(stdout);

    LineFaults::Stats stats{};
    bool faultsEnded = false;
    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0)
            continue;
        if (sig == SIGUSR1)
            board.pressReset();
        else if (sig == SIGUSR2) {
            if (!faultsEnded)
                stats = board.faultStats(); // the figures of the faults' run
            faultsEnded = true;
            board.setFaults({}, options.faultSeed);
        }
        else
            break;
    }
    if (!faultsEnded)
        stats = board.faultStats();
    board.stop();
    if (!options.faults.empty())
        printFaultStats(stats);
    return 0;
}
