#pragma once
#include "DebugEngine.h"
#include "EngineNotifier.h"
#include "SerialPort.h"
#include "TalkerLink.h"
#include "TargetMemory.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class VirtualBoard;

// Runs the command-line front end's commands against one port: the engine, memory services
// and texts of the GUI's commands, each outcome printed as lines of text.
class CommandInterpreter {
public:
    // What the interpreter works against.
    struct Settings {
        std::string port = "COM1";   // COM name or device path (ignored with a board)
        int delayMs = 20;            // the port's read wait, set by boot
        VirtualBoard* board = nullptr; // the in-process virtual board, if any (not owned)
        std::string talkerFile;      // default talker file for boot (empty: look it up)
    };

    CommandInterpreter(Settings settings, std::ostream& out);
    ~CommandInterpreter();
    CommandInterpreter(const CommandInterpreter&) = delete;
    CommandInterpreter& operator=(const CommandInterpreter&) = delete;

    // Runs one command line (blank lines and "#" comments succeed silently); true on success.
    bool execute(const std::string& line);
    // Runs lines in order, stopping after the first failure unless keepGoing; true if all succeeded.
    bool executeAll(const std::vector<std::string>& lines, bool keepGoing);

    // The commands of a -c text: split at ';' outside quotes.
    static std::vector<std::string> splitScript(const std::string& script);
    // A command line's words: blank-separated, "..." or '...' quoting a word with blanks.
    // False (with a message) on an unterminated quote.
    static bool splitWords(const std::string& line, std::vector<std::string>& words, std::string& error);
    // The talker file boot uses when none is named: ambrel.boo in the current directory, then the
    // build tree's and the installed one.
    static std::string defaultTalkerFile();
    // The list of commands.
    static const char* helpText();

    // Longest wait of "wait" without an argument, in milliseconds.
    static constexpr int kDefaultWaitMs = 10000;
    // Asks a "wait" in progress to give up and stop the program, which takes the breakpoints out of
    // its code; false (nothing asked) when no wait is in progress. Safe to call from a signal handler.
    static bool interruptWait();

    // The objects commands work on (for tests and the front end's own use).
    DebugEngine& engine() { return engine_; }
    TargetMemory& memory() { return memory_; }
    SerialPort& port() { return port_; }

private:
    using Args = std::vector<std::string>;

    // Prints the engine's messages as lines.
    class LineNotifier : public EngineNotifier {
    public:
        explicit LineNotifier(CommandInterpreter& owner) : owner_(owner) {}
        void showMessage(const std::string& text) override { owner_.say(text); }
    private:
        CommandInterpreter& owner_;
    };

    struct Command {
        const char* name;
        const char* synopsis;
        size_t minArgs;
        size_t maxArgs;
        bool (CommandInterpreter::*run)(const Args&);
    };
    static const std::vector<Command>& commands();

    // One line of output (a trailing line feed of the text is dropped).
    void say(const std::string& text);
    // Prints a non-zero status's text and returns false; returns true for 0 after printing success.
    bool report(TalkerStatus status, const std::string& success);
    // A usage error: prints it and returns false.
    bool usageError(const std::string& text);
    // Parses a typed number as the GUI's fields do; a text that is no number is refused.
    bool number(const std::string& text, const char* what, uint32_t& value);
    // Parses start and end of a range and refuses an end below the start.
    bool range(const Args& a, uint32_t& start, uint32_t& end);

    bool boot(const Args& a);
    bool load(const Args& a);
    bool verify(const Args& a);
    bool dump(const Args& a);
    bool set(const Args& a);
    bool fill(const Args& a);
    bool move(const Args& a);
    bool find(const Args& a);
    bool regs(const Args& a);
    bool setreg(const Args& a);
    bool setBreak(const Args& a);
    bool unbreak(const Args& a);
    bool breaks(const Args& a);
    bool clearBreaks(const Args& a);
    bool run(const Args& a);
    bool wait(const Args& a);
    bool stop(const Args& a);
    bool call(const Args& a);
    bool trace(const Args& a);
    bool step(const Args& a);
    bool reset(const Args& a);
    bool help(const Args& a);

    // Prints the Registers window's fields for r.
    void printRegisters(const TargetRegisters& r);

    Settings settings_;
    std::ostream& out_;
    SerialPort port_;
    TalkerLink link_{port_};
    TargetMemory memory_{link_};
    LineNotifier notifier_{*this};
    DebugEngine engine_{link_, memory_, &notifier_};
    // The PC the Registers window shows after a trace step or a breakpoint hit.
    std::optional<uint32_t> shownPC_;
};
