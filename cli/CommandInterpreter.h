#pragma once
#include "session/DebugSession.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class VirtualBoard;

// The command-line front end's commands over one debug session: the words of a line become the
// session's commands, and each outcome is printed as lines of text.
class CommandInterpreter {
public:
    // What the interpreter works against.
    struct Settings {
        std::string port = "COM1";   // COM name or device path (ignored with a board)
        int delayMs = 20;            // the port's read wait, set by boot
        bool fastLine = true;        // boot moves the line to 125000 baud when the talker is ours
        VirtualBoard* board = nullptr; // an in-process virtual board owned by the caller, if any
        std::string talkerFile;      // default talker file for boot (empty: look it up)
        NumberBase base = NumberBase::Decimal;       // the default base of typed numbers until a boot sets another
    };

    CommandInterpreter(Settings settings, std::ostream& out);
    ~CommandInterpreter();
    CommandInterpreter(const CommandInterpreter&) = delete;
    CommandInterpreter& operator=(const CommandInterpreter&) = delete;

    // Runs one command line (blank lines and "#" comments succeed silently); true on success.
    bool execute(const std::string& line);
    // Runs lines in order, stopping after the first failure unless keepGoing; true if all succeeded.
    bool executeAll(const std::vector<std::string>& lines, bool keepGoing);

    // Ends the session as at exit: every byte our SWIs displaced is written back, and each
    // address where one could not be is printed with its byte; false when any is left. Runs once
    // (the destructor runs it when nobody did).
    bool finish();

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
    // Asks the interpreter to end (for the signal): the command in progress finishes, no other
    // starts. Safe to call from a signal handler.
    static void requestQuit(int signal = 0);
    // True while a command runs (the talker may be inside one of its services). Safe to call from
    // a signal handler.
    static bool commandInProgress();
    // What ended the interpreter early, for the user (empty when nothing asked it to end).
    static std::string interruptionText();
    // True once an end was asked for.
    static bool quitRequested();
    // Forgets an end that was asked for, for a program that runs one interpreter after another
    // (the next one starts with its commands allowed).
    static void forgetQuit();

    // The session commands run in (for tests and the front end's own use).
    DebugSession& session() { return session_; }
    TargetMemory& memory() { return session_.memory(); }
    DebugEngine& engine() { return session_.engine(); }
    SerialPort& port() { return session_.port(); }

private:
    using Args = std::vector<std::string>;

    // Prints what the session reports while a command runs.
    class LinePrinter : public SessionObserver {
    public:
        explicit LinePrinter(CommandInterpreter& owner) : owner_(owner) {}
        void progressText(const std::string& text) override { owner_.say(text); }
        void message(const std::string& text) override { owner_.say(text); }
        void programStopped(const BreakpointHit& hit) override;
        void breakpointLogged(uint32_t, const std::string& text, bool) override { owner_.say(text); }
        // A long transfer's progress on a terminal's standard error (nothing in a pipe or file).
        void transferProgress(uint64_t done, uint64_t total) override;
    private:
        CommandInterpreter& owner_;
        int shownPercent_ = -1;
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
    // Prints a result: its notes and lines, then its done text or its failure; true on success.
    bool report(const CommandResult& result);
    // Waits up to ms for the running program to stop (Ctrl-C stops it); true when it stopped.
    bool awaitStop(unsigned long ms);
    // Prints a result; when it set the program running toward a stop, waits for that stop.
    bool runToStop(const CommandResult& result);
    // A usage error: prints it and returns false.
    bool usageError(const std::string& text);
    // The optional address argument at index 1.
    static std::optional<std::string> optional(const Args& a)
    {
        return a.size() > 1 ? std::optional<std::string>(a[1]) : std::nullopt;
    }

    bool boot(const Args& a);
    bool load(const Args& a);
    bool verify(const Args& a);
    bool dump(const Args& a);
    // disasm [START [END]]: without START, from where the program stopped.
    bool disasm(const Args& a);
    bool set(const Args& a);
    bool fill(const Args& a);
    bool move(const Args& a);
    bool find(const Args& a);
    bool regs(const Args& a);
    bool setreg(const Args& a);
    bool io(const Args& a);
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
    bool next(const Args& a);
    bool finish(const Args& a);
    bool until(const Args& a);
    bool continueRun(const Args& a);
    bool reset(const Args& a);
    bool pin(const Args& a);
    bool pins(const Args& a);
    bool help(const Args& a);

    Settings settings_;
    std::ostream& out_;
    LinePrinter printer_{*this};
    // A stop was shown since the last run and no wait has answered for it yet.
    bool stopUnwaited_ = false;
    // finish has run, and whether it left nothing planted.
    bool finished_ = false;
    bool finishedClean_ = true;
    DebugSession session_;
};
