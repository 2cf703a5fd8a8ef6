#pragma once
#include "session/BlockTransfer.h"
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

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VirtualBoard;
struct VirtualBoardOptions;

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
    // A hit at one of the table's breakpoints is confirmed; the SWIs are not yet written back.
    virtual void breakpointConfirmed(uint32_t address) { (void)address; }
    // A running program stopped, or the line was lost while it ran: the poll's record. Hits
    // that arrive before or during another command are reported here too, before its result.
    virtual void programStopped(const BreakpointHit& hit) { (void)hit; }
    // Asked between pieces of a talker download: true abandons it.
    virtual bool cancelRequested() { return false; }
};

// How a wait for a stop ended.
enum class WaitOutcome {
    Stopped,     // the program stopped (hit holds the record)
    Failed,      // a "J" came but could not be handled (the engine's message was shown)
    TimedOut,    // nothing within the time given
    Interrupted, // the caller asked to give up
    LineLost,    // the line hung up or the port is closed: nothing will arrive
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
    bool fastLine = true;             // our talker: move the line to 125000 baud after the start
    std::optional<NumberBase> base;   // the default number base from now on, when given
};

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

    // --- settings ---
    NumberBase base() const { return base_; }
    void setBase(NumberBase base) { base_ = base; }
    // COM1..COM4 to device paths.
    std::map<std::string, std::string>& portMap() { return port_.ports; }
    // The device a port name stands for: the in-process board for "board", a mapped COM name,
    // or the name itself.
    std::string deviceFor(const std::string& portName) const;

    // --- commands: texts as typed (numbers as parseNumber reads them in the default base) ---
    // Starts the talker; the in-process board's RESET is pressed first when there is one.
    CommandResult boot(const BootSettings& settings);
    // Loads the S19 file and verifies it; lines are the listing beside it (a note when none).
    CommandResult loadS19(const std::string& path);
    CommandResult verifyS19(const std::string& path);
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
    CommandResult setBreakpoint(const std::string& addressText);
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
    // Runs until the subroutine the program stopped in returns (to the address on top of its
    // stack, with the stack pointer above it).
    CommandResult stepOut();
    // Runs from where the program stopped until it reaches the address.
    CommandResult runUntil(const std::string& addressText);
    // Runs on from where the program stopped with every breakpoint planted, stepping off one at
    // the stop address first.
    CommandResult continueRun();

    // --- the wait for a stop ---
    // One look for a hit while a program runs, never waiting (nothing while a command runs).
    BreakpointHit pollForHit();
    // Waits up to ms for the running program to stop, without using the processor meanwhile;
    // interrupted (may be empty) is asked every 100 ms whether to give up.
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
    class Busy;

    // A typed number, or a refusal naming what it was for.
    std::optional<uint32_t> number(const std::string& text, const char* what, CommandResult& result) const;
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
    // Takes a waiting "J" as the stop it is and tells the observer: before every command any "J"
    // on the line, after it (seenOnly) one that its own exchange met.
    void takeWaitingStop(bool seenOnly = false);
    // Handles a poll record: the run state, the registers, the observer; the record as it
    // stands (kind None when the program was sent on toward a step's goal).
    BreakpointHit noteStop(const BreakpointHit& hit);
    // The program's own bytes at address..address+count for bytes just read there.
    void lookThroughSwis(uint32_t address, uint8_t* bytes, uint32_t count) const;
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
        bool temporary = false; // the breakpoint record is ours (not one the user set)
    };
    // Runs from where the program stopped toward goal (none: just on, with the breakpoints).
    CommandResult runFromStop(std::optional<StepGoal> goal, const std::string& progress);
    // Starts the program at from with the breakpoints planted, stepping off one at from first.
    TalkerStatus resumeAt(uint32_t from);
    // A hit at the goal with the wrong stack pointer runs on; one there with the right one (or
    // any stop elsewhere) ends the goal. False when the program was set running again.
    bool settleGoal(BreakpointHit& hit);
    // Takes the goal's temporary breakpoint out of the table.
    void dropGoal();

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
    bool runningFree_ = false; // started without a hit to wait for (call, or execute without breakpoints)
    bool busy_ = false;
    TargetRegisters lastRegisters_;
    std::optional<uint32_t> stoppedPC_;
    std::optional<StepGoal> goal_;
    SymbolMap symbols_;
};
