// tarvik11-board: a virtual 68HC11 board behind a pseudo-terminal.
//
//   tarvik11-board [--link PATH] [--speed N|max] [--eeprom FILE]
//
// Prints "ready DEVICE" once the line is open (DEVICE is PATH when given), then runs until
// SIGINT or SIGTERM. SIGUSR1 presses the board's RESET button.
#include "VirtualBoard.h"
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
void usage(FILE* out) {
    std::fputs("usage: tarvik11-board [--link PATH] [--speed N|max] [--eeprom FILE]\n"
               "  --link PATH    make PATH a symbolic link to the board's serial device\n"
               "  --speed N      run at N times real time (default 1); max: as fast as possible\n"
               "  --eeprom FILE  keep EEPROM and CONFIG in FILE across restarts\n"
               "Signals: SIGUSR1 presses RESET; SIGINT or SIGTERM stops the board.\n",
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
} // namespace

int main(int argc, char** argv) {
    VirtualBoardOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--link" && hasValue) {
            options.linkPath = argv[++i];
        } else if (arg == "--eeprom" && hasValue) {
            options.eepromFile = argv[++i];
        } else if (arg == "--speed" && hasValue) {
            if (!parseSpeed(argv[++i], &options.speed)) {
                std::fprintf(stderr, "tarvik11-board: bad speed '%s' (a number above 0, or max)\n", argv[i]);
                return 2;
            }
        } else if (arg == "--fault") {
            std::fputs("tarvik11-board: --fault is not supported yet\n", stderr);
            return 2;
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

    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0)
            continue;
        if (sig == SIGUSR1)
            board.pressReset();
        else
            break;
    }
    board.stop();
    return 0;
}
