#pragma once
#include "session/BlockTransfer.h"
#include "session/BreakpointRules.h"
#include "engine/BreakpointHit.h"
#include "engine/DebugEngine.h"
#include "engine/EngineNotifier.h"
#include "link/NumberParse.h"
#include "engine/RegisterText.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"
#include "link/TargetMemory.h"
#include "session/SessionChannel.h"
#include "engine/TalkerTypes.h"
#include "engine/TargetRegisters.h"
#include "engine/SymbolMap.h"
#include "engine/SourceLines.h"
#include "engine/Disassembler.h"
#include "engine/IoRegisters.h"
#include "hc11/Successors.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BoardPins;
class VirtualBoard;
struct VirtualBoardOptions;
struct PinState;

// The largest value of a byte field and of an address or 16-bit register field.
inline constexpr uint32_t kByteMax = 0xFF;
inline constexpr uint32_t kWordMax = 0xFFFF;

// The refusal for typed text that is no value of a field taking 0..max (what names the field):
// empty, no number, or out of range; empty for NumberProblem::None.
std::string numberRefusal(const std::string& text, const char* what, NumberProblem problem, uint32_t max);

// Reads the register frame until two reads in a row agree (its reply carries no check); a frame
// that never agrees (a running program) gives the last read and sets changed (may be null).
TalkerStatus readRegistersAgreed(TalkerLink& link, TargetRegisters& r, bool* changed);

// Where the target stands, as far as the session knows.
enum class RunState {
    NoTalker, // no talker has been started (or the last start failed)
    Idle,     // the talker waits for commands; no program runs
    Running,  // a program was started (with or without breakpoints) and has not stopped
    Held,     // the talker holds a stopped program at one of our SWIs (heldAt)
};

// How a command tells its front end what happens while it runs. Every call is made on the
// caller's thread, inside the command.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    // The command's progress line, before its traffic starts.
    virtual void progressText(const std::string& text) { (void)text; }
    // A long transfer's bytes done so far of its total.
    virtual void transferProgress(uint64_t done, uint64_t total) { (void)done; (void)total; }
    // A fixed message that needs acknowledging (the GUI's message box).
    virtual void message(const std::string& text) { (void)text; }
    // A hit at one of the table's breakpoints is confirmed; the SWIs are not yet written back
    // (not told for a breakpoint with rules, which may resume).
    virtual void breakpointConfirmed(uint32_t address) { (void)address; }
    // A running program stopped, or the line was lost while it ran: the poll's record. Hits
    // that arrive before or during another command are reported here too, before its result.
    virtual void programStopped(const BreakpointHit& hit) { (void)hit; }
    // A breakpoint's log message at a hit (the program goes on), or (error) why its rules could
    // not be judged or the program not resumed (it stays stopped).
    virtual void breakpointLogged(uint32_t address, const std::string& text, bool error)
    {
        (void)address;
        (void)text;
        (void)error;
    }
    // Asked between pieces of a talker download: true abandons it.
    virtual bool cancelRequested() { return false; }
    // Called every SessionChannel::kWaitSlice or so while a boot's start-up exchanges after the
    // download wait for the talker (no cancelling there: the talker already runs); a front end
    // with an event loop lets it turn.
    virtual void keepAlive() {}
};

// What a poll's record that carries no stop but a failure says: the line hung up or its device
// went away while the program ran (empty for a stop, and for no news). Both front ends show it.
std::string lostLineText(const BreakpointHit& hit);

// How a wait for a stop ended.
enum class WaitOutcome {
    Stopped,     // the program stopped (hit holds the record)
    Failed,      // a "J" came but could not be handled (the engine's message was shown)
    TimedOut,    // nothing within the time given
    Interrupted, // the caller asked to give up
    LineLost,    // the line hung up or the port is closed: nothing will arrive
    TalkerGone,  // nothing within the time given, and the talker does not answer either: the
                 // board was reset or lost power (or the program keeps interrupts masked)
};

// The outcome of one session command.
struct CommandResult {
    TalkerStatus status = kTalkerOk; // the failing status (its text is the message), else 0
    std::string refusal;             // set when the command was refused before any traffic: why
    std::string doneText;            // what success says
    std::vector<std::string> lines;  // what the command shows (dump lines, registers, the list...)
    std::vector<std::string> notes;  // things to tell the user besides success (missing listing...)
    std::string failureText;         // shown for a failure instead of the status's own text
    uint32_t rangeStart = 0;         // the block a dump worked on, rounded to whole lines
    uint32_t rangeEnd = 0;
    std::optional<uint32_t> mismatchAddress; // a verify's first byte that differs from the file

    // True when the command ran and succeeded.
    bool ok() const { return status == kTalkerOk && refusal.empty() && failureText.empty(); }
    // What a failed command says: the refusal, the failure text or the status's text.
    std::string errorText() const;
};

// What a talker start needs.
struct BootSettings {
    std::string port = "COM1";        // a COM name (looked up in the port map) or a device path
    TalkerType talkerType = TalkerType::Ram;
    std::string talkerFile;           // the 257-byte .boo (RAM) or the ROM talker's map file
    ChipMode chipMode = ChipMode::Bootstrap;
    bool eepromEnable = false;
    int readWaitMs = 20;              // the port's read wait (communications delay)
    bool fastLine = true;             // our talker: move the line to the fast rate after the start
    std::optional<NumberBase> base;   // the default number base from now on, when given
    ChipKind chip = kDefaultChip;     // the chip on the board (RAM, EEPROM place, boot loader rule)
    uint32_t crystalHz = kDefaultCrystalHz; // the board's crystal: every line rate follows from it
    ResetPulse reset;                 // a modem line that resets the board before the download
};

// Why the fast line is not tried on this device: a note naming the adapter when the USB adapter
// behind it (looked up in the sysfs tree at sysfsRoot) cannot make fastRate; empty otherwise.
std::string fastLineRefusal(const std::string& sysfsRoot, const std::string& device, uint32_t fastRate);

// The one owner of the conversation with the target: the serial port, the talker link, the
// memory services, the engine, and what is known about the target (its run state, a waiting
// hit, the planted SWIs, the EEPROM window, the default number base, the port map). Both front
// ends run every command through it, with the texts the user typed; it parses them, applies
// the rules, talks to the target and returns one result record.
//
// What it guarantees to every caller:
// - one command at a time: a command that starts while another runs (an event pumped during a
//   long transfer) is refused;
// - before any conversation, and after each command, a "J" the talker sent is taken as the stop
//   it is (a hit is confirmed and its SWIs written back) and reported to the observer, so it can
//   never stand in for a command's echo;
// - a user write over a planted SWI keeps the SWI planted and makes the written byte the one it
//   restores; dumps, finds and moves see the program's bytes, not our SWIs;
// - no user write (set, fill, move, load) reaches into a RAM talker (DebugEngine::talkerByteIn);
// - going away writes back every byte our SWIs displaced (a waiting hit is taken first).
class DebugSession {
public:
    DebugSession();
    ~DebugSession();
    DebugSession(const DebugSession&) = delete;
    DebugSession& operator=(const DebugSession&) = delete;

    // Who is told about progress, messages and stops (null: nobody).
    void setObserver(SessionObserver* observer) { observer_ = observer; }

    // --- the in-process virtual board ---
    // Starts a virtual board inside this process (once), on an in-memory line rather than a
    // pseudo-terminal; the port name a host uses for it ("board"), or empty with error set.
    std::string startVirtualBoard(const VirtualBoardOptions& options, std::string* error);
    // Uses a board that someone else owns (it must outlive the session); null: none. A board on
    // an in-memory line is reached through the port name "board" (or one mapped to it).
    void attachBoard(VirtualBoard* board);
    // The in-process board, if any.
    VirtualBoard* board() const { return board_; }
    // The port name a host uses for the in-process board: its device path, or "board" on an
    // in-memory line; empty without a board.
    std::string boardDevice() const;
    // Presses the in-process board's RESET; false when there is none.
    bool pressBoardReset();
    // The in-process board's pins (none without a board; include session/BoardPins.h to use it).
    BoardPins boardPins() const;
    // Drives a pin of the in-process board: a pin's name and its value words as the stimulus file
    // has them ("PA2" {"high"}, "PE0" {"2.5v"}, "IRQ" {"pulse", "100us"}; "spi" {bytes...}
    // queues bytes the attached SPI device returns). False with the reason in error.
    bool driveBoardPin(const std::string& name, const std::vector<std::string>& value, std::string* error);

    // --- settings ---
    NumberBase base() const { return base_; }
    void setBase(NumberBase base) { base_ = base; }
    // COM1..COM4 to device paths.
    std::map<std::string, std::string>& portMap() { return port_.ports; }
    // The device a port name stands for: the in-process board for "board", a mapped COM name,
    // or the name itself.
    std::string deviceFor(const std::string& portName) const;

    // Where the adapters behind serial ports are looked up ("/sys"; a test's fake tree).
    std::string sysfsRoot = "/sys";

    // --- commands: texts as typed (numbers as readTypedNumber reads them in the default base; a
    // byte field takes 0-255, an address or 16-bit register 0-$FFFF, anything else is refused) ---
    // Starts the talker; the in-process board's RESET is pressed first when there is one, else
    // the reset line is pulsed when one is chosen (else the user is asked to press RESET). A port
    // that does not open fails with the cause and the device named after the status's text.
    CommandResult boot(const BootSettings& settings);
    // SWIs an earlier session on this port left in the program (its journal), that the target still
    // holds after the last boot: address and the byte each displaced. Kept in the journal until
    // written back or forgotten.
    const std::vector<BreakpointRecord>& leftBehind() const { return journal_.inherited(); }
    // Writes back the bytes of leftBehind (each one that still holds an SWI); notes name any that
    // could not be written.
    CommandResult writeBackLeftBehind();
    // Drops leftBehind from the journal without writing anything.
    void forgetLeftBehind();
    // Loads the S19 file and verifies it; lines are the listing beside it (a note when none).
    // An ELF program (told by its content) is loaded as loadElf does.
    CommandResult loadS19(const std::string& path);
    CommandResult verifyS19(const std::string& path);
    // Loads the linker's ELF program (its allocated sections, as an S19's records) and verifies
    // it; its symbols and line table become the program's, its entry point the next start.
    // A damaged file or one for another machine is refused with the reason and loads nothing.
    CommandResult loadElf(const std::string& path);
    CommandResult verifyElf(const std::string& path);
    // The line table of the program last loaded (empty for an S19 program).
    const SourceLines& sourceLines() const { return sourceLines_; }
    // An address as typed: "$", "%" or "#" numbers; a symbol of the program; a number in the
    // default base; FILE:LINE (the first line with code from there). Nothing, with why, when
    // the text is none of them.
    std::optional<uint32_t> resolveAddress(const std::string& text, std::string* why) const;
    // Reads count bytes (the program's own bytes where our SWIs sit) into bytes.
    CommandResult readBytes(uint32_t address, uint32_t count, std::vector<uint8_t>& bytes);
    // Writes bytes as the user's (EEPROM programmed; planted SWIs stay and restore the new bytes);
    // a write into a RAM talker is refused, as Set Memory's is.
    CommandResult writeBytes(uint32_t address, const std::vector<uint8_t>& bytes);
    // Disassembles count instructions from address (the program's bytes, with its symbols).
    CommandResult disassembleInstructions(uint32_t address, uint32_t count, std::vector<DisassembledLine>& lines);
    // For a program started without breakpoints (runState Running, no hit awaited): one look
    // for the SWI or illegal opcode it stopped at, never waiting; the stop goes to the observer.
    void pollFreeRunningStop();
    // Reads whole 16-byte lines from start to end (an empty or zero end: one line); lines are
    // the Memory View's header and data lines. dumpStart/dumpEnd hold the rounded range.
    CommandResult dump(const std::string& startText, const std::string& endText);
    CommandResult setMemory(const std::string& addressText, const std::string& valueText);
    CommandResult fill(const std::string& startText, const std::string& endText, const std::string& byteText);
    CommandResult move(const std::string& startText, const std::string& endText, const std::string& destText);
    CommandResult find(const std::string& startText, const std::string& endText, const std::string& byteText);
    // Disassembles the program's bytes (planted SWIs looked through) from start to end (empty end:
    // kDisassemblyBytes bytes), with the loaded program's symbol names; lines are the labels and
    // instructions, rangeStart/rangeEnd the first and last byte shown (the last instruction is
    // completed past end).
    CommandResult disassemble(const std::string& startText, const std::string& endText);
    // Bytes a disassembly covers when no end is given.
    static constexpr uint32_t kDisassemblyBytes = 32;
    // The symbols of the program last loaded (its map file; empty when it had none).
    const SymbolMap& symbols() const { return symbols_; }
    // Reads the registers into lastRegisters (lines: "Label  value" for each field).
    CommandResult readRegisters();
    // Writes a whole register frame (SP as read).
    CommandResult writeRegisters(const TargetRegisters& registers);
    // Writes the registers as the Registers window's field texts give them (SP as last read);
    // a field that is no number is refused.
    CommandResult writeRegisterTexts(const RegisterFields& texts);
    // Changes one register (A, B, X, Y, PC or CCR) and writes the frame.
    CommandResult setRegister(const std::string& name, const std::string& valueText);
    // Reads the register block $1000-$103F and decodes it, a line per register (lines); the
    // registers whose read disturbs the chip (SCI and SPI status and data) only when asked for.
    CommandResult readIoRegisters(bool includeDisturbing);
    // Reads the register block $1000-$103F into values (read marks each byte read): those whose
    // read disturbs the chip only when asked for, each read once; the others when two reads agree
    // (the free-running counter as read).
    CommandResult readIoRegisterValues(bool includeDisturbing, std::array<uint8_t, IoRegisters::kCount>& values,
                                       std::array<bool, IoRegisters::kCount>& read);
    CommandResult setBreakpoint(const std::string& addressText);
    // Sets a breakpoint whose hits are judged by rule (a condition, a hit count, a log message):
    // a hit that the rule does not stop at is resumed by the session, its log lines go to the
    // observer. A rule that is no rule is refused before any traffic; a rule for a breakpoint
    // that is set already replaces its rules.
    CommandResult setBreakpoint(const std::string& addressText, const BreakpointRule& rule);
    // Replaces the rules judged at address (several front-end breakpoints may share it: the hit
    // stops when any of them does); nothing talks to the target.
    void setBreakpointRules(uint32_t address, std::vector<BreakpointRule> rules);
    // The rules judged at address, with their hit counts (empty: every hit stops).
    std::vector<BreakpointRule> breakpointRules(uint32_t address) const;
    // Keeps every breakpoint in the table after its hit, to be planted again when the program
    // resumes; off (the default) a breakpoint is gone with its hit (one-shot).
    void setKeepBreakpoints(bool keep) { keepBreakpoints_ = keep; }
    bool keepBreakpoints() const { return keepBreakpoints_; }
    CommandResult removeBreakpoint(const std::string& addressText);
    CommandResult clearBreakpoints();
    // Starts the program at the address (none: where it stopped) with its breakpoints planted.
    CommandResult execute(const std::optional<std::string>& addressText);
    CommandResult stop();
    CommandResult callSubroutine(const std::optional<std::string>& addressText);
    // One instruction at the address (none: where the program stopped).
    CommandResult trace(const std::optional<std::string>& addressText);
    CommandResult continueTrace();
    // Steps over the instruction where the program stopped: a JSR or BSR runs until it returns
    // (the stop counts only with the stack pointer back where it was, so recursion does not stop
    // early); anything else is one trace step. A run ends with a stop record of kind StepDone.
    CommandResult stepOver();
    // Runs until the subroutine the program stopped in returns, to a return address the session
    // can prove: the one of the call it saw the program make under a trace step (while the stack
    // still holds it), else the one that stepping finds (calls stepped over) when an RTS or RTI
    // leaves the current frame. Refused at the top level of a program the session has followed
    // since its entry; where stepping meets the program's end, a wait or its step limit first, the
    // program stays held there and the result says that no return was found.
    CommandResult stepOut();
    // Instruction steps at most that a step out takes looking for its frame's return.
    static constexpr int kStepOutSteps = 256;
    // Runs from where the program stopped until it reaches the address. $0000 and an address that
    // the listing, the symbol map or a disassembly from a known instruction start shows to lie
    // inside an instruction are refused; an address none of them vouches for runs with a note.
    CommandResult runUntil(const std::string& addressText);
    // Runs on from where the program stopped with every breakpoint planted, stepping off one at
    // the stop address first; with keep (or the keep setting) a hit leaves its breakpoint set.
    CommandResult continueRun(bool keep = false);

    // Ends the conversation as at the program's exit: a waiting hit is taken and every byte our
    // SWIs displaced is written back; notes name each address where an SWI could not be taken
    // out, with the byte it displaced.
    CommandResult endSession();
    // Notes naming every address where an SWI of ours may still be in the program, with the byte
    // it displaced (none when nothing is planted).
    std::vector<std::string> leftoverNotes() const;

    // --- the wait for a stop ---
    // One look for a hit while a program runs, never waiting (nothing while a command runs).
    BreakpointHit pollForHit();
    // Waits up to ms for the running program to stop, without using the processor meanwhile;
    // interrupted (may be empty) is asked every 100 ms whether to give up. When the time runs out
    // the talker is asked for the registers: no answer means it is gone (commands that need it
    // are refused until a boot, which writes back the bytes our SWIs displaced).
    WaitOutcome waitForHit(int ms, const std::function<bool()>& interrupted, BreakpointHit* hit = nullptr);
    // True while a hit is awaited (a program runs with breakpoints).
    bool awaitingHit() const;
    // While a program runs without breakpoints (a called subroutine): one look at the talker's
    // frame, nothing while a command runs; true when the program is back in the talker's idle
    // loop (the subroutine returned), and the run state is Idle from then on.
    bool checkReturnedToTalker();
    // The line's readiness descriptor for notifiers: the serial port's, or the event descriptor
    // of the in-process board's line (-1 when closed).
    int descriptor() const { return channel_.readinessDescriptor(); }

    // --- what is known ---
    RunState runState() const;
    // The address where a held program stopped.
    std::optional<uint32_t> heldAt() const;
    // Where the next execution or trace starts by default.
    uint32_t currentPC() const { return engine_.currentPC; }
    // The breakpoint addresses in table order (free records left out).
    std::vector<uint32_t> breakpoints() const;
    // The registers as last read or reported with a stop.
    const TargetRegisters& lastRegisters() const { return lastRegisters_; }
    // The PC a stop reported (the breakpoint or the traced-to address); empty after a resume.
    std::optional<uint32_t> stoppedPC() const { return stoppedPC_; }
    // True while a command talks to the target.
    bool busy() const { return busy_; }
    // True for a block of more than one EEPROM row that the memory services will program.
    bool programsEeprom(uint32_t first, uint32_t last) const;
    // The default read wait for a port: longer for the in-process board, whose thread competes
    // with ours on a loaded machine.
    int defaultReadWaitMs(const std::string& portName) const;
    // Bytes above which a transfer reports its progress.
    static constexpr uint64_t kProgressThreshold = 1024;

    // The parts, for tests, benchmarks and the front ends' own displays.
    SerialPort& port() { return port_; }
    // The line the link talks through (the serial port or the in-process board's line).
    ByteChannel& channel() { return channel_; }
    TalkerLink& link() { return link_; }
    TargetMemory& memory() { return memory_; }
    DebugEngine& engine() { return engine_; }

private:
    class Forwarder : public EngineNotifier {
    public:
        explicit Forwarder(DebugSession& owner) : owner_(owner) {}
        void showMessage(const std::string& text) override;
    private:
        DebugSession& owner_;
    };
    // Marks the session busy for one command's exchange with the target.
    class Busy {
    public:
        explicit Busy(DebugSession& s) : s_(s) { s_.busy_ = true; }
        ~Busy() { s_.busy_ = false; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        DebugSession& s_;
    };

    // A typed number for a field that takes 0..max, or a refusal naming the field and what is wrong.
    std::optional<uint32_t> number(const std::string& text, const char* what, CommandResult& result,
                                   uint32_t max = kWordMax) const;
    // Sets failureText for an S19 file the engine refused: the path and what is wrong with it.
    void explainS19Refusal(CommandResult& result, const std::string& path) const;
    // Refuses (true) a user write of count bytes at address that would reach into the talker;
    // true too when result already holds a refusal.
    bool refuseTalkerWrite(uint32_t address, uint32_t count, CommandResult& result) const;
    // Start and end of a range, refusing an end below the start.
    bool range(const std::string& startText, const std::string& endText, uint32_t& start, uint32_t& end,
               CommandResult& result) const;
    // Runs one command's exchange with the target: nothing when result holds a refusal or another
    // command is under way; else the progress text (when not empty), a waiting stop taken before
    // and after, the work's status, and doneText on success.
    CommandResult converse(CommandResult result, const std::string& progress,
                           const std::function<TalkerStatus()>& work, const std::string& doneText = {});
    // A verify that found a difference: its address in the result and after the status's text.
    void noteMismatch(CommandResult& result) const;
    // The typed start address of a run or trace (none: where the program stopped); a refusal in
    // result when it is no number.
    uint32_t startAddress(const std::optional<std::string>& addressText, CommandResult& result) const;
    // One trace step from an address, with its progress text.
    CommandResult traceFrom(CommandResult result, uint32_t from, const std::string& progress);
    // Refuses a command that would talk to the target while another does.
    bool refuseWhileBusy(CommandResult& result) const;
    // A failed command on a line that hung up says so, rather than what its first missing byte gave.
    void explainFailure(CommandResult& result);
    // True when the talker answers a register read (two tries).
    bool talkerAnswers();
    // After a failed trace step: when the talker no longer answers (the board was reset under the
    // step), the session knows it is gone and the result says so.
    void recogniseResetAfterStep(CommandResult& result);
    // Adds a note (text with the list) naming where SWIs of ours are left in the program.
    void noteLeftovers(CommandResult& result, const char* text) const;
    // Refuses a command that needs the talker while another talks to the target, or while the
    // talker is known to be gone (a failed boot, a reset board).
    bool refuseWithoutTalker(CommandResult& result) const;
    // Takes a waiting "J" as the stop it is and tells the observer: before every command any "J"
    // on the line, after it (seenOnly) one that its own exchange met.
    void takeWaitingStop(bool seenOnly = false);
    // Handles a poll record: the run state, the registers, the observer; the record as it
    // stands (kind None when the program was sent on toward a step's goal).
    BreakpointHit noteStop(const BreakpointHit& hit);
    // Writes data as the user's bytes: planted SWIs stay, the written bytes become their saved ones.
    TalkerStatus userWrite(uint32_t address, uint32_t count, const uint8_t* data, bool showProgress);
    // Progress reports for a transfer of total bytes.
    BlockTransfer::Progress progressFor(uint64_t total, bool always = false);
    void say(const std::string& text);
    // Marks the program as started: nothing is held, the stop PC is forgotten.
    void noteResumed();

    // Where a step over, step out or run to an address stops: a temporary breakpoint, and the
    // program's stack pointer that the stop must see (none: any).
    struct StepGoal {
        uint32_t address = 0;
        std::optional<uint32_t> programSP;
        bool temporary = false;  // the breakpoint record is ours (not one the user set)
        bool seekReturn = false; // reached, a step out's search for its frame's return goes on
    };
    // A call the program made under a trace step: where it returns, and the program's stack
    // pointer once it has.
    struct CallFrame {
        uint32_t returnAddress = 0;
        uint32_t spAfterReturn = 0;
    };
    // How a step out's search for its frame's return ended.
    enum class SeekEnd { Returned, Running, AtBreakpoint, NoReturn, Failed };
    // Makes goal the step's goal, with a temporary breakpoint unless the user has one there.
    TalkerStatus setGoal(StepGoal goal);
    // The instruction at pc (the program's bytes) and the registers it runs with.
    TalkerStatus instructionAt(uint32_t pc, Successors& next, CpuRegisters& cpu);
    // Steps toward the RTS or RTI that leaves the current frame, calls stepped over, for at most
    // the steps left (a user's breakpoint met on the way ends it, except where it starts); why
    // says what ended a search without a return.
    SeekEnd stepTowardReturn(TalkerStatus& status, std::string& why, bool atStart);
    // The stop record of a search that ended without running on (a hit at a user's breakpoint,
    // else a step's end): where the program is held, with its registers read afresh.
    BreakpointHit seekStop(SeekEnd end);
    // Keeps the calls seen up with the trace step just made.
    void followTrace();
    // Forgets the calls seen: the program ran where the session could not follow it.
    void loseCalls();
    // Forgets what the session knew of the program (its entry, listing, the calls seen): a load
    // is replacing it.
    void forgetProgram();
    // Takes the instruction lengths that the listing lines of the program just loaded show.
    void noteListing(const std::vector<std::string>& lines);
    // Drops the calls seen that have returned, given the program's stack pointer.
    void dropReturnedCalls(uint32_t programSP);
    // Why an until address is no instruction start (empty: it is one, or none can tell; then
    // unproven is set when nothing vouches for it).
    std::string notAnInstructionStart(uint32_t address, bool& unproven);
    // Runs from where the program stopped toward goal (none: just on, with the breakpoints).
    CommandResult runFromStop(std::optional<StepGoal> goal, const std::string& progress);
    // Starts the program at from with the breakpoints planted, stepping off one at from first.
    TalkerStatus resumeAt(uint32_t from);
    // A hit at the goal with the wrong stack pointer runs on; one there with the right one (or
    // any stop elsewhere) ends the goal. False when the program was set running again.
    bool settleGoal(BreakpointHit& hit);
    // Takes the goal's temporary breakpoint out of the table.
    void dropGoal();
    // Judges a hit at a breakpoint with rules and keeps the breakpoint when breakpoints are
    // kept; false when the program was resumed (the hit is not to be reported).
    bool ruledHitStops(const BreakpointHit& hit);
    // Forgets the rules of addresses that are no longer in the breakpoint table.
    void pruneRules();
    // A stop at no breakpoint of ours: moves its address (and PC) onto an illegal opcode that
    // trapped, which the talker reports one byte early (one read; an SWI stays where it is).
    void placeTrap(BreakpointHit& hit);

    // Declared first so that it outlives the port that talks to it.
    std::unique_ptr<VirtualBoard> ownedBoard_;
    VirtualBoard* board_ = nullptr;
    SerialPort port_;
    SessionChannel channel_{port_};
    TalkerLink link_{channel_};
    TargetMemory memory_{link_};
    Forwarder forwarder_{*this};
    DebugEngine engine_{link_, memory_, &forwarder_};
    SessionObserver* observer_ = nullptr;
    NumberBase base_ = NumberBase::Decimal;
    bool talkerStarted_ = false;
    // Why no talker answers, once that is known (a boot failed, the board was reset): commands
    // that need it are refused until a boot succeeds.
    enum class TalkerGone : uint8_t { No, BootFailed, Reset };
    TalkerGone talkerGone_ = TalkerGone::No;
    bool runningFree_ = false; // started without a hit to wait for (call, or execute without breakpoints)
    bool busy_ = false;
    TargetRegisters lastRegisters_;
    std::optional<uint32_t> stoppedPC_;
    std::optional<StepGoal> goal_;
    std::map<uint32_t, std::vector<BreakpointRule>> rules_; // by breakpoint address
    bool keepBreakpoints_ = false;
    bool keepingRun_ = false;  // the run under way keeps its breakpoints (a kept continue)
    bool keepNextRun_ = false; // the next run from a stop keeps them
    // The calls the program is in that the session saw it make, innermost last; complete while
    // the session has followed every instruction since the program's entry.
    std::vector<CallFrame> calls_;
    bool callsComplete_ = false;
    // The entry of the program last loaded, and the instruction lengths its listing shows.
    std::optional<uint32_t> programEntry_;
    std::map<uint32_t, uint32_t> listed_;
    // Instruction steps a step out's search may still take.
    int seekStepsLeft_ = 0;
    SymbolMap symbols_;
    SourceLines sourceLines_;
    PlantJournal journal_;
    std::string journalDevice_; // the device journal_ is bound to
};
