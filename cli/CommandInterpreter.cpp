#include "CommandInterpreter.h"

#include "CliOptions.h"
#include "CommandTexts.h"
#include "Deadline.h"
#include "ListingPath.h"
#include "MemoryDump.h"
#include "NumberParse.h"
#include "RegisterText.h"
#include "VirtualBoard.h"

#include <poll.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

using CommandText::format;

namespace {

constexpr uint32_t kAddressSpace = 0x10000;

// Set while "wait" runs, and when it has been asked to give up (from a signal handler).
volatile std::sig_atomic_t waitInProgress = 0;
volatile std::sig_atomic_t waitInterrupted = 0;
constexpr int kInterruptCheckMs = 100;

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

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool fileExists(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return f.good();
}

// True when text, read as parseNumber reads it, spells zero; such a text is a typed 0, while
// any other text that parses to 0 is no number at all.
bool spellsZero(const std::string& text)
{
    size_t i = 0;
    bool hex = GetDefaultBase() == 1;
    if (!text.empty() && (text[0] == '$' || text[0] == '%' || text[0] == '#')) {
        hex = text[0] == '$';
        i = 1;
    }
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (hex && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        i += 2;
    return i < text.size() && text.find_first_not_of('0', i) == std::string::npos;
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
    port_.readWaitMs = settings_.delayMs;
    engine_.traceWaitMs = std::max(engine_.traceWaitMs, settings_.delayMs);
}

CommandInterpreter::~CommandInterpreter() { engine_.setNotifier(nullptr); }

const std::vector<CommandInterpreter::Command>& CommandInterpreter::commands()
{
    static const std::vector<Command> table{
        {"boot", "boot [--talker FILE] [--rom] [--eeprom on|off] [--mode bootstrap|special-test] [--base dec|hex|bin]",
         0, 10, &CommandInterpreter::boot},
        {"load", "load FILE", 1, 1, &CommandInterpreter::load},
        {"verify", "verify FILE", 1, 1, &CommandInterpreter::verify},
        {"dump", "dump START [END]", 1, 2, &CommandInterpreter::dump},
        {"set", "set ADDR VALUE", 2, 2, &CommandInterpreter::set},
        {"fill", "fill START END BYTE", 3, 3, &CommandInterpreter::fill},
        {"move", "move START END DEST", 3, 3, &CommandInterpreter::move},
        {"find", "find START END BYTE", 3, 3, &CommandInterpreter::find},
        {"regs", "regs", 0, 0, &CommandInterpreter::regs},
        {"setreg", "setreg A|B|X|Y|PC|CCR VALUE", 2, 2, &CommandInterpreter::setreg},
        {"break", "break ADDR", 1, 1, &CommandInterpreter::setBreak},
        {"unbreak", "unbreak ADDR", 1, 1, &CommandInterpreter::unbreak},
        {"breaks", "breaks", 0, 0, &CommandInterpreter::breaks},
        {"clearbreaks", "clearbreaks", 0, 0, &CommandInterpreter::clearBreaks},
        {"run", "run [ADDR]", 0, 1, &CommandInterpreter::run},
        {"wait", "wait [MS]", 0, 1, &CommandInterpreter::wait},
        {"stop", "stop", 0, 0, &CommandInterpreter::stop},
        {"call", "call [ADDR]", 0, 1, &CommandInterpreter::call},
        {"trace", "trace [ADDR]", 0, 1, &CommandInterpreter::trace},
        {"step", "step [N]", 0, 1, &CommandInterpreter::step},
        {"reset", "reset", 0, 0, &CommandInterpreter::reset},
        {"help", "help", 0, 0, &CommandInterpreter::help},
    };
    return table;
}

const char* CommandInterpreter::helpText()
{
    return "Commands (numbers as in the GUI: $hex, %binary, #decimal, else the default base):\n"
           "  boot [--talker FILE] [--rom] [--eeprom on|off] [--mode bootstrap|special-test] [--base dec|hex|bin]\n"
           "  load FILE            load an S19 file and verify it\n"
           "  verify FILE          compare an S19 file with target memory\n"
           "  dump START [END]     memory dump in whole 16-byte lines\n"
           "  set ADDR VALUE       write one byte (EEPROM too)\n"
           "  fill START END BYTE  fill a block\n"
           "  move START END DEST  copy a block\n"
           "  find START END BYTE  first address holding the byte\n"
           "  regs                 show the registers\n"
           "  setreg NAME VALUE    change A, B, X, Y, PC or CCR\n"
           "  break ADDR | unbreak ADDR | breaks | clearbreaks\n"
           "  run [ADDR]           start the program with its breakpoints\n"
           "  wait [MS]            wait for a breakpoint hit (default 10000 ms; Ctrl-C stops the program)\n"
           "  stop                 stop the program\n"
           "  call [ADDR]          call a subroutine that returns into the talker\n"
           "  trace [ADDR]         execute one instruction\n"
           "  step [N]             continue the trace N times\n"
           "  reset                press the virtual board's RESET\n";
}

void CommandInterpreter::say(const std::string& text)
{
    if (!text.empty() && text.back() == '\n')
        out_ << std::string_view(text).substr(0, text.size() - 1) << std::endl;
    else
        out_ << text << std::endl;
}

bool CommandInterpreter::report(TalkerStatus status, const std::string& success)
{
    if (status != kTalkerOk) {
        say(talkerStatusText(status));
        return false;
    }
    say(success);
    return true;
}

bool CommandInterpreter::usageError(const std::string& text)
{
    say("Error: " + text);
    return false;
}

bool CommandInterpreter::number(const std::string& text, const char* what, uint32_t& value)
{
    value = parseNumber(text);
    if (value == 0 && !spellsZero(text))
        return usageError(std::string("the ") + what + " '" + text +
                          "' is not a number ($hex, %binary, #decimal or the default base)");
    return true;
}

bool CommandInterpreter::range(const Args& a, uint32_t& start, uint32_t& end)
{
    if (!number(a[1], "start address", start) || !number(a[2], "end address", end))
        return false;
    if (end < start) {
        say(CommandText::kRangeOrder);
        return false;
    }
    return true;
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
        return (this->*c.run)(words);
    }
    return usageError("unknown command '" + words[0] + "' (type help for the list)");
}

bool CommandInterpreter::executeAll(const std::vector<std::string>& lines, bool keepGoing)
{
    bool allGood = true;
    for (const std::string& line : lines) {
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
    static const char* const kName = "ambrel.boo";
    const std::array<std::string, 3> candidates{
        kName,
#ifdef TARVIK11_BUILD_TALKER_FILE
        TARVIK11_BUILD_TALKER_FILE,
#else
        "",
#endif
#ifdef TARVIK11_INSTALLED_TALKER_FILE
        TARVIK11_INSTALLED_TALKER_FILE,
#else
        "",
#endif
    };
    for (const std::string& c : candidates)
        if (!c.empty() && fileExists(c))
            return c;
    return kName;
}

// ---------------------------------------------------------------- start-up

bool CommandInterpreter::boot(const Args& a)
{
    std::string talker = settings_.talkerFile;
    int talkerType = 0;
    int32_t eeprom = 0;
    int chipMode = 0;
    int base = -1;
    for (size_t i = 1; i < a.size(); ++i) {
        const std::string& opt = a[i];
        const bool hasValue = i + 1 < a.size();
        if (opt == "--rom") {
            talkerType = 1;
        } else if (opt == "--talker" && hasValue) {
            talker = a[++i];
        } else if (opt == "--eeprom" && hasValue) {
            const std::string v = lowerCase(a[++i]);
            if (v != "on" && v != "off")
                return usageError("boot --eeprom takes on or off, not '" + a[i] + "'");
            eeprom = v == "on" ? 1 : 0;
        } else if (opt == "--mode" && hasValue) {
            const std::string v = lowerCase(a[++i]);
            if (v != "bootstrap" && v != "special-test")
                return usageError("boot --mode takes bootstrap or special-test, not '" + a[i] + "'");
            chipMode = v == "special-test" ? 1 : 0;
        } else if (opt == "--base" && hasValue) {
            base = CliOptions::baseFromName(a[++i]);
            if (base < 0)
                return usageError("boot --base takes dec, hex or bin, not '" + a[i] + "'");
        } else {
            return usageError(std::string("usage: ") + commands()[0].synopsis);
        }
    }
    if (talker.empty())
        talker = defaultTalkerFile();

    say(CommandText::kPressReset);
    if (settings_.board) {
        // The user's part: the button is pressed before the download starts.
        settings_.board->pressReset();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    shownPC_.reset();
    port_.readWaitMs = settings_.delayMs;
    if (base >= 0)
        SetDefaultBase(base);
    const std::string portName = settings_.board ? settings_.board->devicePath() : settings_.port;
    return report(engine_.startTalker(portName, talkerType, talker, chipMode, eeprom),
                  CommandText::kTalkerDownloaded);
}

// ---------------------------------------------------------------- S19

bool CommandInterpreter::load(const Args& a)
{
    const std::string& path = a[1];
    say(format(CommandText::kLoadProgress, path.c_str()));
    TalkerStatus status = engine_.loadS19(path);
    if (status == kTalkerOk)
        status = engine_.verifyS19(path); // every load is checked by reading the target back
    if (status != kTalkerOk)
        return report(status, "");
    if (!fileExists(listingPathFor(path)))
        say(CommandText::kListingMissing);
    say(CommandText::kLoadDone);
    return true;
}

bool CommandInterpreter::verify(const Args& a)
{
    const std::string& path = a[1];
    say(format(CommandText::kVerifyProgress, path.c_str()));
    return report(engine_.verifyS19(path), CommandText::kVerifyDone);
}

// ---------------------------------------------------------------- memory

bool CommandInterpreter::dump(const Args& a)
{
    uint32_t start = 0;
    uint32_t end = 0;
    if (!number(a[1], "start address", start) || (a.size() > 2 && !number(a[2], "end address", end)))
        return false;
    const DumpRange r = MemoryDump::range(start, end);
    say(format(CommandText::kDumpProgress, r.start, r.end));
    if (!r.inOrder()) {
        say(CommandText::kDumpOrder);
        return false;
    }
    std::vector<uint8_t> bytes(r.count());
    if (TalkerStatus s = memory_.readBlock(r.start, r.count(), bytes.data()))
        return report(s, "");
    say(CommandText::kDumpRead);
    for (const std::string& line : MemoryDump::lines(r.start, bytes.data(), bytes.size()))
        say(line);
    say(CommandText::kDumpDone);
    return true;
}

bool CommandInterpreter::set(const Args& a)
{
    uint32_t address = 0;
    uint32_t value = 0;
    if (!number(a[1], "address", address) || !number(a[2], "value", value))
        return false;
    const uint8_t byte = static_cast<uint8_t>(value);
    say(format(CommandText::kSetProgress, address, byte));
    return report(memory_.writeBlock(address, 1, &byte), CommandText::kSetDone);
}

bool CommandInterpreter::fill(const Args& a)
{
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t value = 0;
    if (!range(a, start, end) || !number(a[3], "byte", value))
        return false;
    value &= 0xFF;
    say(format(CommandText::kFillProgress, start, end, value));
    return report(memory_.fill(start, end - start + 1, value), CommandText::kFillDone);
}

bool CommandInterpreter::move(const Args& a)
{
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t destination = 0;
    if (!range(a, start, end) || !number(a[3], "destination", destination))
        return false;
    const uint32_t count = end - start + 1;
    if (destination + count > kAddressSpace) {
        say(format(CommandText::kMoveBeyondEnd, destination, count));
        return false;
    }
    say(format(CommandText::kMoveProgress, start, end, destination));
    return report(memory_.move(start, count, destination), CommandText::kMoveDone);
}

bool CommandInterpreter::find(const Args& a)
{
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t value = 0;
    if (!range(a, start, end) || !number(a[3], "byte", value))
        return false;
    say(format(CommandText::kFindProgress, value, start));
    uint32_t found = 0;
    const TalkerStatus s = memory_.search(start, end - start + 1, value & 0xFF, found);
    return report(s, format(CommandText::kFindDone, value, found));
}

// ---------------------------------------------------------------- registers

void CommandInterpreter::printRegisters(const TargetRegisters& r)
{
    RegisterFields fields = RegisterText::fields(r);
    if (shownPC_)
        fields.PC = format("$%04x", *shownPC_);
    for (const RegisterFieldInfo& f : RegisterText::kFields) {
        std::string line = f.label;
        line.resize(16, ' ');
        line += fields.*f.text;
        if (f.text == &RegisterFields::CCR)
            line += std::string(" ") + RegisterText::kCcrLegend;
        say(line);
    }
}

bool CommandInterpreter::regs(const Args&)
{
    TargetRegisters r;
    if (link_.readRegisters(r.SP, r.CCR, r.B, r.A, r.X, r.Y, r.PC) != kTalkerOk) {
        say(CommandText::kRegisterReadFailed);
        return false;
    }
    printRegisters(r);
    return true;
}

bool CommandInterpreter::setreg(const Args& a)
{
    const std::string name = lowerCase(a[1]);
    static constexpr std::array<const char*, 6> kSettable{"a", "b", "x", "y", "pc", "ccr"};
    if (std::find_if(kSettable.begin(), kSettable.end(), [&](const char* n) { return name == n; }) ==
        kSettable.end()) {
        if (name == "sp")
            return usageError("the stack pointer is shown only; it cannot be set");
        return usageError("setreg takes A, B, X, Y, PC or CCR, not '" + a[1] + "'");
    }
    uint32_t value = 0;
    if (!number(a[2], "value", value))
        return false;
    TargetRegisters r;
    if (link_.readRegisters(r.SP, r.CCR, r.B, r.A, r.X, r.Y, r.PC) != kTalkerOk) {
        say(CommandText::kRegisterReadFailed);
        return false;
    }
    if (name == "a")
        r.A = static_cast<uint8_t>(value);
    else if (name == "b")
        r.B = static_cast<uint8_t>(value);
    else if (name == "x")
        r.X = value;
    else if (name == "y")
        r.Y = value;
    else if (name == "pc")
        r.PC = value;
    else
        r.CCR = static_cast<uint8_t>(value);
    if (link_.writeRegisters(r.SP, r.CCR, r.B, r.A, r.X, r.Y, r.PC) != kTalkerOk) {
        say(CommandText::kRegisterWriteFailed);
        return false;
    }
    shownPC_.reset();
    printRegisters(r);
    return true;
}

// ---------------------------------------------------------------- breakpoints

bool CommandInterpreter::setBreak(const Args& a)
{
    uint32_t address = 0;
    if (!number(a[1], "address", address))
        return false;
    return report(engine_.setBreakpoint(address), format(CommandText::kBreakpointSet, address));
}

bool CommandInterpreter::unbreak(const Args& a)
{
    uint32_t address = 0;
    if (!number(a[1], "address", address))
        return false;
    if (engine_.removeBreakpoint(address) != kTalkerOk) {
        say(format(CommandText::kBreakpointNotRemoved, address));
        return false;
    }
    say(format(CommandText::kBreakpointRemoved, address));
    return true;
}

bool CommandInterpreter::breaks(const Args&)
{
    std::array<uint32_t, DebugEngine::kBreakpointCount> addresses{};
    engine_.listBreakpoints(addresses);
    std::sort(addresses.begin(), addresses.end());
    for (uint32_t address : addresses)
        if (address != 0)
            say(format(CommandText::kBreakpointEntry, address));
    return true;
}

bool CommandInterpreter::clearBreaks(const Args&)
{
    say(CommandText::kClearAllProgress);
    std::array<uint32_t, DebugEngine::kBreakpointCount> addresses{};
    engine_.listBreakpoints(addresses);
    for (uint32_t address : addresses)
        if (address != 0)
            (void)engine_.removeBreakpoint(address);
    say(CommandText::kClearAllDone);
    return true;
}

// ---------------------------------------------------------------- execution

bool CommandInterpreter::run(const Args& a)
{
    uint32_t address = engine_.currentPC;
    if (a.size() > 1 && !number(a[1], "address", address))
        return false;
    say(CommandText::kExecuteProgress);
    shownPC_.reset();
    return report(engine_.execute(address, true), CommandText::kExecuteDone);
}

bool CommandInterpreter::wait(const Args& a)
{
    unsigned long ms = kDefaultWaitMs;
    if (a.size() > 1 && !decimalCount(a[1], 86400000, true, ms))
        return usageError("wait takes milliseconds as a decimal number, not '" + a[1] + "'");
    if (!engine_.running) {
        say("No program is running with breakpoints");
        return false;
    }
    const Deadline deadline = Deadline::afterMs(static_cast<int>(ms));
    WaitInProgress inProgress;
    for (;;) {
        if (waitInterrupted) {
            // Leaving the program running would leave our SWIs in its code with no one to take
            // them out: stop it, which writes the saved bytes back.
            say("Wait interrupted");
            say(CommandText::kStopProgress);
            shownPC_.reset();
            report(engine_.stop(), CommandText::kStopDone);
            return false;
        }
        const BreakpointHit hit = engine_.pollBreakpointHit();
        switch (hit.kind) {
        case BreakpointHitKind::Hit:
            shownPC_ = hit.address;
            say(format(CommandText::kBreakpointReached, hit.address));
            return true;
        case BreakpointHitKind::ConfirmFailed:
        case BreakpointHitKind::RestoreFailed:
        case BreakpointHitKind::NotInTable:
            return false; // the engine's message has been printed
        case BreakpointHitKind::None:
            if (hit.status != kTalkerOk)
                return report(hit.status, ""); // the line hung up: nothing will arrive
            break;
        }
        if (deadline.expired()) {
            say(format("No breakpoint reached within %lu ms", ms));
            return false;
        }
        const int fd = port_.descriptor();
        if (fd < 0)
            return report(kTalkerPortNotOpen, "");
        pollfd p{fd, POLLIN, 0};
        // Woken now and then to see an interrupt: the signal may have gone to another thread.
        if (::poll(&p, 1, std::min(deadline.remainingMs(), kInterruptCheckMs)) > 0 && !(p.revents & POLLIN))
            return report(kTalkerCommError, ""); // hang-up or error: nothing will arrive
    }
}

bool CommandInterpreter::interruptWait()
{
    if (!waitInProgress)
        return false;
    waitInterrupted = 1;
    return true;
}

bool CommandInterpreter::stop(const Args&)
{
    say(CommandText::kStopProgress);
    shownPC_.reset();
    return report(engine_.stop(), CommandText::kStopDone);
}

bool CommandInterpreter::call(const Args& a)
{
    uint32_t address = engine_.currentPC;
    if (a.size() > 1 && !number(a[1], "address", address))
        return false;
    say(CommandText::kCallProgress);
    shownPC_.reset();
    return report(engine_.callSubroutine(address), CommandText::kCallDone);
}

bool CommandInterpreter::trace(const Args& a)
{
    uint32_t address = engine_.currentPC;
    if (a.size() > 1 && !number(a[1], "address", address))
        return false;
    say(format(CommandText::kTraceProgress, address));
    if (TalkerStatus s = engine_.traceStep(address))
        return report(s, "");
    shownPC_ = engine_.currentPC;
    say(format(CommandText::kTraceDone, engine_.currentPC));
    return true;
}

bool CommandInterpreter::step(const Args& a)
{
    unsigned long n = 1;
    if (a.size() > 1 && !decimalCount(a[1], 1000000, false, n))
        return usageError("step takes a count from 1 as a decimal number, not '" + a[1] + "'");
    for (unsigned long i = 0; i < n; ++i) {
        say(format(CommandText::kContinueTraceProgress, engine_.currentPC));
        if (TalkerStatus s = engine_.traceStep(engine_.currentPC))
            return report(s, "");
        shownPC_ = engine_.currentPC;
        say(format(CommandText::kTraceDone, engine_.currentPC));
    }
    return true;
}

bool CommandInterpreter::reset(const Args&)
{
    if (!settings_.board)
        return usageError("reset presses the virtual board's RESET; it needs --board");
    settings_.board->pressReset();
    shownPC_.reset();
    say("RESET pressed: the board waits in its bootstrap loader");
    return true;
}

bool CommandInterpreter::help(const Args&)
{
    out_ << helpText() << std::flush;
    return true;
}
