// tarvik11-cli: the debugger's commands from a script or standard input, without the GUI.
#include "CliOptions.h"
#include "CommandInterpreter.h"
#include "NumberParse.h"
#include "VirtualBoard.h"

#include <csignal>
#include <iostream>
#include <memory>
#include <string>

namespace {

// Ctrl-C during "wait" stops the program (taking its breakpoints out); anywhere else it ends the
// front end as usual.
void onInterrupt(int)
{
    if (!CommandInterpreter::interruptWait()) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
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
    if (options.base >= 0)
        SetDefaultBase(options.base);

    std::unique_ptr<VirtualBoard> board;
    if (options.board) {
        VirtualBoardOptions boardOptions;
        boardOptions.speed = options.speed;
        boardOptions.eepromFile = options.boardEeprom;
        board = std::make_unique<VirtualBoard>(boardOptions);
        if (!board->start(&error)) {
            std::cerr << "tarvik11-cli: cannot start the virtual board: " << error << "\n";
            return 1;
        }
    }

    struct sigaction interrupt {};
    interrupt.sa_handler = onInterrupt;
    sigemptyset(&interrupt.sa_mask);
    ::sigaction(SIGINT, &interrupt, nullptr);

    CommandInterpreter::Settings settings;
    settings.port = options.port;
    settings.delayMs = options.delayMs;
    settings.board = board.get();
    bool ok = true;
    {
        CommandInterpreter interpreter(settings, std::cout);
        if (options.scriptGiven) {
            ok = interpreter.executeAll(CommandInterpreter::splitScript(options.script), options.keepGoing);
        } else {
            std::string line;
            while (std::getline(std::cin, line)) {
                if (!interpreter.execute(line)) {
                    ok = false;
                    if (!options.keepGoing)
                        break;
                }
            }
        }
    } // the port closes before the board stops
    return ok ? 0 : 1;
}
