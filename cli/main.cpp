// tarvik11-cli: the debugger's commands from a script or standard input, without the GUI.
#include "cli/CliOptions.h"
#include "cli/CommandInterpreter.h"
#include "link/ExtendedTalker.h"
#include "sim/VirtualBoard.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>

#include <csignal>
#include <iostream>
#include <memory>
#include <string>

namespace {

// The signals that end the front end. Each ends it the orderly way, so that the session writes
// back every byte our SWIs displaced: Ctrl-C during "wait" stops the program; otherwise the
// command in progress finishes and no other starts. A second one ends the process at once
// between commands; during one it waits for the command, and a talker inside one of its
// services is taken out of it first (see onEndSignal).
constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};

// End signals after the first: the second ends the process at once unless the talker is inside
// a service (the orderly end takes it out first); a third ends it regardless.
volatile std::sig_atomic_t extraEndSignals = 0;

void onEndSignal(int signal)
{
    if (signal == SIGINT && CommandInterpreter::interruptWait())
        return;
    if (CommandInterpreter::quitRequested() && ExtendedTalker::anyServiceBusy() && extraEndSignals == 0) {
        extraEndSignals = 1;
        return;
    }
    if (CommandInterpreter::quitRequested()) {
        if (CommandInterpreter::commandInProgress()) {
            static const char kWaiting[] = "Ending once the command under way is done (the talker is busy)\n";
            (void)!::write(STDERR_FILENO, kWaiting, sizeof kWaiting - 1);
            return;
        }
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    CommandInterpreter::requestQuit(signal);
}

// The end signals blocked (for threads started while blocked) or unblocked.
void blockEndSignals(bool block)
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kEndSignals)
        sigaddset(&set, s);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// The next line of standard input (without its line feed); false at its end or once an end was
// asked for. Waits in short polls, so an end signal is seen even when it came just before the wait.
bool nextLine(std::string& pending, std::string& line)
{
    for (;;) {
        const size_t feed = pending.find('\n');
        if (feed != std::string::npos) {
            line = pending.substr(0, feed);
            pending.erase(0, feed + 1);
            return true;
        }
        if (CommandInterpreter::quitRequested())
            return false;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            if (pending.empty())
                return false;
            line.swap(pending); // a last line without its line feed
            pending.clear();
            return true;
        }
        pending.append(buffer, static_cast<size_t>(got));
    }
}

} // namespace

int main(int argc, char** argv)
{
    CliOptions options;
    std::string error;
    if (!CliOptions::parse(argc, argv, options, error)) {
        std::cerr << "tarvik11-cli: " << error << "\n" << CliOptions::usage();
        return 1;
    }
    if (options.help) {
        std::cout << CliOptions::usage() << "\n" << CommandInterpreter::helpText();
        return 0;
    }
    // The board's threads never take an end signal: its delivery must interrupt our own read of
    // standard input.
    blockEndSignals(true);
    std::unique_ptr<VirtualBoard> board;
    if (options.board) {
        VirtualBoardOptions boardOptions;
        boardOptions.speed = options.speed;
        boardOptions.eepromFile = options.boardEeprom;
        boardOptions.latencyMs = options.latencyMs;
        boardOptions.virtualTime = options.virtualTime;
        if (!options.chip.empty())
            boardOptions.chip = *findChip(options.chip);
        boardOptions.stimulusFile = options.stimulus;
        // In this process the board needs no pseudo-terminal: its line is a pair of queues.
        boardOptions.line = BoardLineKind::Memory;
        board = std::make_unique<VirtualBoard>(boardOptions);
        if (!board->start(&error)) {
            std::cerr << "tarvik11-cli: cannot start the virtual board: " << error << "\n";
            return 1;
        }
    }

    struct sigaction end {};
    end.sa_handler = onEndSignal; // no SA_RESTART: a read of standard input returns
    sigemptyset(&end.sa_mask);
    for (int s : kEndSignals)
        ::sigaction(s, &end, nullptr);
    blockEndSignals(false);

    CommandInterpreter::Settings settings;
    settings.port = options.port;
    settings.delayMs = options.delayMs;
    settings.fastLine = options.fastLine;
    settings.board = board.get();
    if (options.base >= 0)
        settings.base = numberBaseFromInt(options.base);
    bool ok = true;
    {
        CommandInterpreter interpreter(settings, std::cout);
        if (options.scriptGiven) {
            ok = interpreter.executeAll(CommandInterpreter::splitScript(options.script), options.keepGoing);
        } else {
            std::string pending;
            std::string line;
            while (nextLine(pending, line)) {
                if (!interpreter.execute(line)) {
                    ok = false;
                    if (!options.keepGoing)
                        break;
                }
            }
        }
        if (CommandInterpreter::quitRequested())
            std::cout << CommandInterpreter::interruptionText() << std::endl;
        ok = interpreter.finish() && ok;
    } // planted bytes are written back and the port closes before the board stops
    return ok && !CommandInterpreter::quitRequested() ? 0 : 1;
}
