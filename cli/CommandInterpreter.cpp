#include "cli/CommandInterpreter.h"

#include "cli/CliOptions.h"
#include "engine/CommandTexts.h"
#include "engine/DataFiles.h"
#include "session/BoardPins.h"
#include "sim/VirtualBoard.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>

using CommandText::format;

namespace {

// Set while "wait" runs, and when it has been asked to give up (from a signal handler).
volatile std::sig_atomic_t waitInProgress = 0;
volatile std::sig_atomic_t waitInterrupted = 0;
// Set when the front end has been asked to end (from a signal handler): the signal's number.
volatile std::sig_atomic_t quitAsked = 0;
// Set while a command runs: the talker may be inside one of its services.
volatile std::sig_atomic_t commandRunning = 0;

// Marks a command running for its lifetime.
struct CommandRunning {
    CommandRunning() { commandRunning = 1; }
    ~CommandRunning() { commandRunning = 0; }
    CommandRunning(const CommandRunning&) = delete;
    CommandRunning& operator=(const CommandRunning&) = delete;
};

// Marks a wait in progress for its lifetime.
struct WaitInProgress {
    WaitInProgress()
    {
        waitInterrupted = 0;
        waitInProgress = 1;
    }
    ~WaitInProgress() { waitInProgress = 0; }
    WaitInProgress(const WaitInProgress&) = delete;
    WaitInProgress& operator=(const WaitInProgress&) = delete;
};

// One port's pins, highest first: "PA   levels 0 0 0 0 0 1 0 0   (PA7-PA0)  outputs: PA6 PA5 ...".
std::string portLine(char port, int count, uint8_t levels, uint8_t outputs)
{
    std::string line = std::string("P") + port + "   levels";
    for (int bit = count - 1; bit >= 0; --bit)
        line += (levels >> bit) & 1 ? " 1" : " 0";
    line += "   (P" + std::string(1, port) + std::to_string(count - 1) + "-P" + port + "0)  outputs:";
    bool any = false;
    for (int bit = count - 1; bit >= 0; --bit)
        if ((outputs >> bit) & 1) {
            line += " P" + std::string(1, port) + std::to_string(bit);
            any = true;
        }
    return line + (any ? "" : " none");
}

// The lines of the "pins" command.
std::vector<std::string> pinStateLines(const PinState& p)
{
    std::vector<std::string> lines;
    lines.push_back(portLine('A', 8, p.portA, p.portAOutputs));
    if (p.portsAreBus) {
        lines.push_back("PB, PC carry the external bus (expanded mode)");
    } else {
        lines.push_back(portLine('B', 8, p.portB, p.portBOutputs));
        lines.push_back(portLine('C', 8, p.portC, p.portCOutputs) + "   STRA " + (p.straHigh ? "1" : "0") +
                        "   STRB " + (p.strbHigh ? "1" : "0"));
    }
    lines.push_back(portLine('D', 6, p.portD, p.portDOutputs));
    lines.push_back(portLine('E', 8, p.portE, 0));
    // The analog inputs as values and as volts against VRL 0 V and VRH 5 V, four to a line.
    for (int first = 0; first < 8; first += 4) {
        std::string analog = "PE analog";
        char buffer[32];
        for (int i = first; i < first + 4; ++i) {
            std::snprintf(buffer, sizeof buffer, "  PE%d $%02X %.2fV", i, p.analog[i], p.analog[i] * 5.0 / 255.0);
            analog += buffer;
        }
        lines.push_back(analog);
    }
    lines.push_back(std::string("IRQ ") + (p.irqHigh ? "1" : "0") + "   XIRQ " + (p.xirqHigh ? "1" : "0"));
    return lines;
}

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A whole decimal count from 1 (or 0 when zeroAllowed) to limit.
bool decimalCount(const std::string& text, unsigned long limit, bool zeroAllowed, unsigned long& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return value <= limit && (zeroAllowed || value > 0);
}

} // namespace

CommandInterpreter::CommandInterpreter(Settings settings, std::ostream& out)
    : settings_(std::move(settings)), out_(out)
{
    session_.setObserver(&printer_);
    session_.setBase(settings_.base);
    if (settings_.board) {
        session_.attachBoard(settings_.board);
        settings_.port = "board";
    }
    session_.port().readWaitMs = settings_.delayMs;
    session_.engine().traceWaitMs = std::max(session_.engine().traceWaitMs, settings_.delayMs);
}

CommandInterpreter::~CommandInterpreter()
{
    (void)finish();
    session_.setObserver(nullptr);
}

bool CommandInterpreter::finish()
{
    if (std::exchange(finished_, true))
        return finishedClean_;
    const CommandResult end = session_.endSession();
    for (const std::string& note : end.notes)
        say(note);
    finishedClean_ = end.notes.empty();
    return finishedClean_;
}

const std::vector<CommandInterpreter::Command>& CommandInterpreter::commands()
{
    static const std::vector<Command> table{
        {"boot", "boot [--talker FILE] [--rom] [--eeprom on|off] [--mode bootstrap|special-test] [--base dec|hex|bin]\n"
         "     [--chip a1|a8|e1|e9|811e2] [--crystal MHZ] [--reset none|dtr|rts|dtr-inverted|rts-inverted]",
         0, 16, &CommandInterpreter::boot},
        {"load", "load FILE", 1, 1, &CommandInterpreter::load},
        {"verify", "verify FILE", 1, 1, &CommandInterpreter::verify},
        {"dump", "dump START [END]", 1, 2, &CommandInterpreter::dump},
        {"disasm", "disasm [START [END]]", 0, 2, &CommandInterpreter::disasm},
        {"set", "set ADDR VALUE", 2, 2, &CommandInterpreter::set},
        {"fill", "fill START END BYTE", 3, 3, &CommandInterpreter::fill},
        {"move", "move START END DEST", 3, 3, &CommandInterpreter::move},
        {"find", "find START END BYTE", 3, 3, &CommandInterpreter::find},
        {"regs", "regs", 0, 0, &CommandInterpreter::regs},
        {"setreg", "setreg A|B|X|Y|PC|CCR VALUE", 2, 2, &CommandInterpreter::setreg},
        {"io", "io [--all]", 0, 1, &CommandInterpreter::io},
        {"break", "break ADDR [if COND] [hits N|==N|>=N|>N|%N] [log TEXT]", 1, 64, &CommandInterpreter::setBreak},
        {"unbreak", "unbreak ADDR", 1, 1, &CommandInterpreter::unbreak},
        {"breaks", "breaks", 0, 0, &CommandInterpreter::breaks},
        {"clearbreaks", "clearbreaks", 0, 0, &CommandInterpreter::clearBreaks},
        {"run", "run [ADDR]", 0, 1, &CommandInterpreter::run},
        {"wait", "wait [MS]", 0, 1, &CommandInterpreter::wait},
        {"stop", "stop", 0, 0, &CommandInterpreter::stop},
        {"call", "call [ADDR]", 0, 1, &CommandInterpreter::call},
        {"trace", "trace [ADDR]", 0, 1, &CommandInterpreter::trace},
        {"step", "step [N]", 0, 1, &CommandInterpreter::step},
        {"next", "next", 0, 0, &CommandInterpreter::next},
        {"finish", "finish", 0, 0, &CommandInterpreter::finish},
        {"until", "until ADDR", 1, 1, &CommandInterpreter::until},
        {"continue", "continue", 0, 0, &CommandInterpreter::continueRun},
        {"reset", "reset", 0, 0, &CommandInterpreter::reset},
        {"pin", "pin NAME VALUE | pin spi BYTE...", 2, 64, &CommandInterpreter::pin},
        {"pins", "pins", 0, 0, &CommandInterpreter::pins},
        {"help", "help", 0, 0, &CommandInterpreter::help},
    };
    return table;
}

const char* CommandInterpreter::helpText()
{
    return "Commands (numbers as in the GUI: $hex, %binary, #decimal, else the default base; an address\n"
           "may also be a symbol of the program or, for an ELF program, FILE:LINE):\n"
           "  boot [--talker FILE] [--rom] [--eeprom on|off] [--mode bootstrap|special-test] [--base dec|hex|bin]\n"
           "       [--chip a1|a8|e1|e9|811e2] [--crystal MHZ] [--reset none|dtr|rts|dtr-inverted|rts-inverted]\n"
           "                       start the talker; --chip: the chip on the board (default a1: its RAM, where its\n"
           "                       EEPROM is, how its boot loader takes the download); --crystal: the board's\n"
           "                       crystal in MHz (default 8; every line rate follows from it); --reset: pulse DTR\n"
           "                       or RTS to reset the board into its boot loader (-inverted: negating the line\n"
           "                       resets; default none: press RESET when asked)\n"
           "  load FILE            load an S19 or ELF program and verify it\n"
           "  verify FILE          compare an S19 or ELF program with target memory\n"
           "  dump START [END]     memory dump in whole 16-byte lines\n"
           "  disasm [START [END]] disassembly with the program's symbols (default: 32 bytes from where it stopped)\n"
           "  set ADDR VALUE       write one byte (EEPROM too)\n"
           "  fill START END BYTE  fill a block\n"
           "  move START END DEST  copy a block\n"
           "  find START END BYTE  first address holding the byte\n"
           "  regs                 show the registers\n"
           "  setreg NAME VALUE    change A, B, X, Y, PC or CCR\n"
           "  io [--all]           the registers at $1000-$103f by name and bit (--all: SCI/SPI status and data too)\n"
           "  break ADDR [if COND] [hits N|==N|>=N|>N|%N] [log TEXT]\n"
           "                       set a breakpoint; if: stop only when COND is not 0 (registers A B D X Y SP\n"
           "                       PC CCR, [ADDR] for a byte, symbols, + - & | ! == != < <= > >= && ||);\n"
           "                       hits: stop at the Nth hit (==N), from the Nth on (N, >=N), after it (>N) or\n"
           "                       at every Nth (%N); log: print TEXT, each {EXPR} replaced by its value, and go\n"
           "                       on. A hit that does not stop is resumed at once. Quote COND or TEXT that\n"
           "                       holds the words if, hits or log. Again on a set breakpoint: new rules\n"
           "  unbreak ADDR | breaks | clearbreaks\n"
           "  run [ADDR]           start the program with its breakpoints\n"
           "  wait [MS]            wait for a breakpoint hit (default 10000 ms; Ctrl-C stops the program)\n"
           "  stop                 stop the program\n"
           "  call [ADDR]          call a subroutine that returns into the talker\n"
           "  trace [ADDR]         execute one instruction\n"
           "  step [N]             continue the trace N times\n"
           "  next                 step over: a JSR or BSR runs until it returns, else one trace step\n"
           "  finish               step out: run until the current subroutine returns\n"
           "  until ADDR           run from where the program stopped until it reaches ADDR\n"
           "  continue             run on from where the program stopped, breakpoints planted; they stay set\n"
           "                       after a hit (run's breakpoints are one-shot: gone with their hit)\n"
           "  reset                press the virtual board's RESET\n"
           "  pin NAME VALUE       drive a virtual board pin: PA0-PA3, PA7, PC0-PC7, PD0-PD5, STRA, IRQ and XIRQ\n"
           "                       take high, low, 1, 0 or pulse WIDTH (cycles, or 10us, 2ms); PE0-PE7 take volts\n"
           "                       (2.5v) or an 8-bit value (128, $80); 'pin spi BYTE...' gives the SPI device's\n"
           "                       bytes (the rules of tarvik11-board --stimulus)\n"
           "  pins                 the virtual board's port pins: level and direction, and the analog inputs\n";
}

void CommandInterpreter::say(const std::string& text)
{
    if (!text.empty() && text.back() == '\n')
        out_ << std::string_view(text).substr(0, text.size() - 1) << std::endl;
    else
        out_ << text << std::endl;
}

bool CommandInterpreter::usageError(const std::string& text)
{
    say("Error: " + text);
    return false;
}

bool CommandInterpreter::execute(const std::string& line)
{
    std::vector<std::string> words;
    std::string error;
    if (!splitWords(line, words, error))
        return usageError(error);
    if (words.empty() || words[0][0] == '#')
        return true;
    const std::string name = lowerCase(words[0]);
    for (const Command& c : commands()) {
        if (name != c.name)
            continue;
        const size_t args = words.size() - 1;
        if (args < c.minArgs || args > c.maxArgs)
            return usageError(std::string("usage: ") + c.synopsis);
        CommandRunning running;
        return (this->*c.run)(words);
    }
    return usageError("unknown command '" + words[0] + "' (type help for the list)");
}

bool CommandInterpreter::executeAll(const std::vector<std::string>& lines, bool keepGoing)
{
    bool allGood = true;
    for (const std::string& line : lines) {
        if (quitAsked)
            return false;
        if (!execute(line)) {
            allGood = false;
            if (!keepGoing)
                break;
        }
    }
    return allGood;
}

std::vector<std::string> CommandInterpreter::splitScript(const std::string& script)
{
    std::vector<std::string> out;
    std::string current;
    char quote = 0;
    for (char c : script) {
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';' || c == '\n') {
            out.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    out.push_back(current);
    return out;
}

bool CommandInterpreter::splitWords(const std::string& line, std::vector<std::string>& words, std::string& error)
{
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : line) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) {
        error = "unterminated quote in '" + line + "'";
        return false;
    }
    if (inWord)
        words.push_back(word);
    return true;
}

std::string CommandInterpreter::defaultTalkerFile()
{
    return talkerFileFor("");
}


void CommandInterpreter::LinePrinter::programStopped(const BreakpointHit& hit)
{
    const bool stopped = hit.kind == BreakpointHitKind::Hit || hit.kind == BreakpointHitKind::Stopped ||
                         hit.kind == BreakpointHitKind::StepDone;
    owner_.stopUnwaited_ = owner_.stopUnwaited_ || stopped;
    switch (hit.kind) {
    case BreakpointHitKind::Hit:
        owner_.say(format(CommandText::kBreakpointReached, hit.address));
        break;
    case BreakpointHitKind::Stopped:
        owner_.say(format(CommandText::kProgramStopped, hit.address));
        break;
    case BreakpointHitKind::StepDone:
        owner_.say(format(CommandText::kTraceDone, hit.address));
        break;
    case BreakpointHitKind::None:
        if (const std::string lost = lostLineText(hit); !lost.empty())
            owner_.say(lost); // the line hung up: nothing will arrive
        break;
    default:
        break; // the engine's message has been printed
    }
}

void CommandInterpreter::LinePrinter::transferProgress(uint64_t done, uint64_t total)
{
    static const bool terminal = ::isatty(STDERR_FILENO) != 0;
    if (!terminal || total == 0)
        return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    std::fprintf(stderr, "\r%3d%% of %llu bytes", percent, static_cast<unsigned long long>(total));
    if (done >= total) {
        std::fprintf(stderr, "\r%*s\r", 40, "");
        shownPercent_ = -1;
    }
    std::fflush(stderr);
}

bool CommandInterpreter::report(const CommandResult& result)
{
    for (const std::string& note : result.notes)
        say(note);
    if (!result.ok()) {
        say(result.errorText());
        return false;
    }
    for (const std::string& line : result.lines)
        say(line);
    if (!result.doneText.empty())
        say(result.doneText);
    return true;
}

// ---------------------------------------------------------------- start-up

bool CommandInterpreter::boot(const Args& a)
{
    BootSettings boot;
    boot.port = settings_.port;
    boot.talkerFile = settings_.talkerFile;
    boot.readWaitMs = settings_.delayMs;
    boot.fastLine = settings_.fastLine;
    for (size_t i = 1; i < a.size(); ++i) {
        const std::string& opt = a[i];
        const bool hasValue = i + 1 < a.size();
        if (opt == "--rom") {
            boot.talkerType = TalkerType::Rom;
        } else if (opt == "--talker" && hasValue) {
            boot.talkerFile = a[++i];
        } else if (opt == "--eeprom" && hasValue) {
            const std::string v = lowerCase(a[++i]);
            if (v != "on" && v != "off")
                return usageError("boot --eeprom takes on or off, not '" + a[i] + "'");
            boot.eepromEnable = v == "on";
        } else if (opt == "--mode" && hasValue) {
            const std::string v = lowerCase(a[++i]);
            if (v != "bootstrap" && v != "special-test")
                return usageError("boot --mode takes bootstrap or special-test, not '" + a[i] + "'");
            boot.chipMode = v == "special-test" ? ChipMode::SpecialTest : ChipMode::Bootstrap;
        } else if (opt == "--chip" && hasValue) {
            const auto chip = findChip(a[++i]);
            if (!chip)
                return usageError("boot --chip takes a1, a8, e1, e9 or 811e2, not '" + a[i] + "'");
            boot.chip = *chip;
        } else if (opt == "--crystal" && hasValue) {
            const auto hz = crystalFromMhzText(a[++i]);
            if (!hz)
                return usageError("boot --crystal takes the crystal in MHz from " + crystalMhzText(kMinCrystalHz) +
                                  " to " + crystalMhzText(kMaxCrystalHz) + ", not '" + a[i] + "'");
            boot.crystalHz = *hz;
        } else if (opt == "--reset" && hasValue) {
            const auto pulse = resetPulseFromText(a[++i]);
            if (!pulse)
                return usageError("boot --reset takes none, dtr, rts, dtr-inverted or rts-inverted, not '" + a[i] + "'");
            boot.reset = *pulse;
        } else if (opt == "--base" && hasValue) {
            const int base = CliOptions::baseFromName(a[++i]);
            if (base < 0)
                return usageError("boot --base takes dec, hex or bin, not '" + a[i] + "'");
            boot.base = numberBaseFromInt(base);
        } else {
            return usageError(std::string("usage: ") + commands()[0].synopsis);
        }
    }
    if (boot.talkerFile.empty())
        boot.talkerFile = defaultTalkerFile();
    if (!report(session_.boot(boot)))
        return false;
    // SWIs an earlier session on this port left behind (named in the boot's notes) go back now.
    return session_.leftBehind().empty() || report(session_.writeBackLeftBehind());
}

// ---------------------------------------------------------------- S19

bool CommandInterpreter::load(const Args& a)
{
    CommandResult result = session_.loadS19(a[1]);
    result.lines.clear(); // the listing is the GUI's Assembly View
    return report(result);
}

bool CommandInterpreter::verify(const Args& a) { return report(session_.verifyS19(a[1])); }

// ---------------------------------------------------------------- memory

bool CommandInterpreter::dump(const Args& a) { return report(session_.dump(a[1], a.size() > 2 ? a[2] : "")); }

bool CommandInterpreter::disasm(const Args& a)
{
    if (a.size() > 1)
        return report(session_.disassemble(a[1], a.size() > 2 ? a[2] : ""));
    char pc[8];
    std::snprintf(pc, sizeof pc, "$%04x", session_.stoppedPC().value_or(session_.currentPC()) & 0xFFFFu);
    return report(session_.disassemble(pc, ""));
}
bool CommandInterpreter::set(const Args& a) { return report(session_.setMemory(a[1], a[2])); }
bool CommandInterpreter::fill(const Args& a) { return report(session_.fill(a[1], a[2], a[3])); }
bool CommandInterpreter::move(const Args& a) { return report(session_.move(a[1], a[2], a[3])); }
bool CommandInterpreter::find(const Args& a) { return report(session_.find(a[1], a[2], a[3])); }

// ---------------------------------------------------------------- registers

bool CommandInterpreter::regs(const Args&) { return report(session_.readRegisters()); }
bool CommandInterpreter::setreg(const Args& a) { return report(session_.setRegister(a[1], a[2])); }

bool CommandInterpreter::io(const Args& a)
{
    if (a.size() > 1 && a[1] != "--all")
        return usageError("io takes --all or nothing, not '" + a[1] + "'");
    return report(session_.readIoRegisters(a.size() > 1));
}

// ---------------------------------------------------------------- breakpoints

bool CommandInterpreter::setBreak(const Args& a)
{
    std::string error;
    const auto words = parseBreakpointWords(Args(a.begin() + 1, a.end()), error);
    if (!words)
        return usageError(error);
    return report(session_.setBreakpoint(words->address, words->rule));
}
bool CommandInterpreter::unbreak(const Args& a) { return report(session_.removeBreakpoint(a[1])); }

bool CommandInterpreter::breaks(const Args&)
{
    std::vector<uint32_t> addresses = session_.breakpoints();
    std::sort(addresses.begin(), addresses.end());
    for (uint32_t address : addresses) {
        std::string line = format(CommandText::kBreakpointEntry, address);
        for (const BreakpointRule& rule : session_.breakpointRules(address))
            line += format(" %s (hit %llu times)", rule.describe().c_str(), static_cast<unsigned long long>(rule.hits));
        say(line);
    }
    return true;
}

bool CommandInterpreter::clearBreaks(const Args&) { return report(session_.clearBreakpoints()); }

// ---------------------------------------------------------------- execution

bool CommandInterpreter::run(const Args& a)
{
    stopUnwaited_ = false;
    return report(session_.execute(optional(a)));
}

bool CommandInterpreter::wait(const Args& a)
{
    unsigned long ms = kDefaultWaitMs;
    if (a.size() > 1 && !decimalCount(a[1], 86400000, true, ms))
        return usageError("wait takes milliseconds as a decimal number, not '" + a[1] + "'");
    if (!session_.awaitingHit()) {
        // A stop that an earlier command met (and showed) is what the wait was for.
        if (std::exchange(stopUnwaited_, false))
            return true;
        say("No program is running with breakpoints");
        return false;
    }
    return awaitStop(ms);
}

bool CommandInterpreter::awaitStop(unsigned long ms)
{
    WaitInProgress inProgress;
    stopUnwaited_ = false;
    switch (session_.waitForHit(static_cast<int>(ms), [] { return waitInterrupted != 0; })) {
    case WaitOutcome::Stopped:
        return true;
    case WaitOutcome::Interrupted:
        // Leaving the program running would leave our SWIs in its code with no one to take
        // them out: stop it, which writes the saved bytes back.
        say("Wait interrupted");
        report(session_.stop());
        return false;
    case WaitOutcome::TimedOut:
        say(format("No breakpoint reached within %lu ms", ms));
        return false;
    case WaitOutcome::TalkerGone:
        say(format("No breakpoint reached within %lu ms", ms));
        say(CommandText::kTalkerGone);
        for (const std::string& note : session_.leftoverNotes())
            say(note);
        return false;
    case WaitOutcome::LineLost: // printed with the stop record
    case WaitOutcome::Failed:   // the engine's message has been printed
        return false;
    }
    return false;
}

bool CommandInterpreter::runToStop(const CommandResult& result)
{
    stopUnwaited_ = false;
    if (!report(result))
        return false;
    // A step that needed no run has ended already; a run is waited for.
    return !session_.awaitingHit() || awaitStop(kDefaultWaitMs);
}

bool CommandInterpreter::next(const Args&) { return runToStop(session_.stepOver()); }
bool CommandInterpreter::finish(const Args&) { return runToStop(session_.stepOut()); }
bool CommandInterpreter::until(const Args& a) { return runToStop(session_.runUntil(a[1])); }
bool CommandInterpreter::continueRun(const Args&) { return runToStop(session_.continueRun(true)); }

bool CommandInterpreter::interruptWait()
{
    if (!waitInProgress)
        return false;
    waitInterrupted = 1;
    return true;
}

void CommandInterpreter::requestQuit(int signal)
{
    quitAsked = signal > 0 ? signal : SIGTERM;
    waitInterrupted = waitInProgress ? 1 : 0;
}

bool CommandInterpreter::commandInProgress() { return commandRunning != 0; }

std::string CommandInterpreter::interruptionText()
{
    if (!quitAsked)
        return {};
    const int signal = quitAsked;
    const char* name = signal == SIGINT ? "Interrupted (Ctrl-C)" : signal == SIGHUP ? "Ended: the terminal hung up (SIGHUP)"
                                                                               : "Ended by SIGTERM";
    return std::string(name) + ": the command under way was finished, the rest were not run";
}

bool CommandInterpreter::quitRequested() { return quitAsked != 0; }

void CommandInterpreter::forgetQuit()
{
    quitAsked = 0;
    waitInterrupted = 0;
}

bool CommandInterpreter::stop(const Args&) { return report(session_.stop()); }
bool CommandInterpreter::call(const Args& a) { return report(session_.callSubroutine(optional(a))); }
bool CommandInterpreter::trace(const Args& a) { return report(session_.trace(optional(a))); }

bool CommandInterpreter::step(const Args& a)
{
    unsigned long n = 1;
    if (a.size() > 1 && !decimalCount(a[1], 1000000, false, n))
        return usageError("step takes a count from 1 as a decimal number, not '" + a[1] + "'");
    for (unsigned long i = 0; i < n && !quitAsked; ++i)
        if (!report(session_.continueTrace()))
            return false;
    return true;
}

bool CommandInterpreter::reset(const Args&)
{
    if (!session_.pressBoardReset())
        return usageError("reset presses the virtual board's RESET; it needs --board");
    say("RESET pressed: the board waits in its bootstrap loader");
    return true;
}

bool CommandInterpreter::pin(const Args& a)
{
    std::string error;
    if (!session_.driveBoardPin(a[1], Args(a.begin() + 2, a.end()), &error))
        return usageError(error);
    return true;
}

bool CommandInterpreter::pins(const Args&)
{
    const BoardPins board = session_.boardPins();
    if (!board.available())
        return usageError("pins shows the virtual board's pins; it needs --board");
    for (const std::string& line : pinStateLines(board.state()))
        say(line);
    return true;
}

bool CommandInterpreter::help(const Args&)
{
    out_ << helpText() << std::flush;
    return true;
}
