#pragma once
#include "engine/BreakpointHit.h"
#include "engine/BreakpointRecord.h"
#include "engine/EngineNotifier.h"
#include "engine/S19Reader.h"
#include "engine/PlantJournal.h"
#include "link/TalkerStatus.h"
#include "engine/TalkerTypes.h"
#include "engine/TargetRegisters.h"
#include "hc11/OpcodeTable.h"
#include "link/ExtendedTalker.h"
#include <array>
#include <functional>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

class S19Reader;
class TalkerLink;
class TargetMemory;

// The debugger engine: breakpoints, talker start-up, execution control, single-instruction trace
// and S19 load/verify, all through one TalkerLink. It touches no user interface: fixed messages
// go to the notifier (if any), breakpoint hits are reported as result records.
class DebugEngine {
public:
    static constexpr int kBreakpointCount = 10;
    static constexpr int kTracepointCount = 2;
    static constexpr uint8_t kSwiOpcode = 0x3F;

    // Binds the engine to the link and to memory services over that same link (used for the
    // BPROT/CONFIG steps of start-up); notifier may be null (messages are then dropped).
    DebugEngine(TalkerLink& link, TargetMemory& memory, EngineNotifier* notifier = nullptr);
    // Writes back every byte an SWI of ours displaced (the program, if running, runs on without
    // its breakpoints), then closes the serial port through the link.
    ~DebugEngine();
    DebugEngine(const DebugEngine&) = delete;
    DebugEngine& operator=(const DebugEngine&) = delete;

    // Writes back every byte an SWI of ours displaced, taking a reported hit first (a program
    // still running goes on without its breakpoints); what could not be written back stays
    // recorded as planted.
    [[nodiscard]] TalkerStatus writeBackPlanted();
    // Every address where an SWI of ours may be in the program, with the byte it displaced
    // (tracepoints first, then breakpoints in table order).
    std::vector<BreakpointRecord> plantedRecords() const;
    // Brings the journal (if any) up to the planted records; called before an SWI is written and
    // after bytes are written back.
    void recordPlanted();
    // The journal of planted bytes kept on disk for the port (null: none).
    PlantJournal* journal = nullptr;

    // Replaces the notifier (null silences the engine).
    void setNotifier(EngineNotifier* notifier) { notifier_ = notifier; }

    // --- The program's view of memory ---
    // Turns bytes just read at address..address+count-1 into the program's own: where one of our
    // SWIs is planted and $3F was read, the byte it displaced.
    void lookThroughSwis(uint32_t address, uint8_t* bytes, uint32_t count) const;
    // Prepares a write of the user's bytes (load, set, fill, move) at address: where one of our
    // SWIs is planted in the block, the user's byte becomes the one it restores and the SWI stays
    // (that byte of bytes turns into $3F). The journal is brought up to date before the write.
    void keepSwisUnder(uint32_t address, uint8_t* bytes, uint32_t count);

    // --- Breakpoint table ---
    // True when the table holds a breakpoint at address.
    bool hasBreakpoint(uint32_t address) const;
    // Adds a breakpoint: 20 at $0000 or a duplicate, 19 when all ten are used, 22 on an undefined opcode.
    [[nodiscard]] TalkerStatus setBreakpoint(uint32_t address);
    // Frees the breakpoint (21 if none); an SWI planted there is first written back.
    [[nodiscard]] TalkerStatus removeBreakpoint(uint32_t address);
    // Copies the ten record addresses (0 for free ones) and returns how many are used.
    uint8_t listBreakpoints(std::array<uint32_t, kBreakpointCount>& addresses) const;
    // Writes $3F over every breakpoint and sets running; on a failure the SWIs already written are undone.
    [[nodiscard]] TalkerStatus plantBreakpoints();
    // Writes the record's displaced byte back where our SWI still stands there; where the program
    // has written its own byte over it meanwhile, that byte is kept and the user told. The record
    // is then no longer planted; a failed read or write leaves it planted.
    [[nodiscard]] TalkerStatus writeBackByte(BreakpointRecord& record);
    // Clears running and writes the saved byte back at every planted breakpoint.
    [[nodiscard]] TalkerStatus restoreBreakpoints();

    // --- Talker start-up ---
    // Boots a RAM or ROM talker (6 for any other type value), lifts block protection, records the
    // talker's type and idle address, reprograms CONFIG (and resets) when eepromEnable differs from
    // the chip, and with ChipMode::SpecialTest switches to special test mode. Shows "Talker
    // initialized successfully." on success. Once the talker is booted nothing runs or is held
    // (running = 0, heldAt empty); SWIs left planted by an earlier failure are then written back
    // where the target takes them (the others stay recorded).
    [[nodiscard]] TalkerStatus startTalker(const std::string& portName, TalkerType talkerType,
                                           const std::string& fileName, ChipMode chipMode, int32_t eepromEnable);

    // --- Execution control ---
    // Starts the target at address (currentPC = address), planting the breakpoints first when asked;
    // also at the address where the talker holds a stopped program. SWIs left planted by an earlier
    // failure (and not part of a run) are written back first.
    [[nodiscard]] TalkerStatus execute(uint32_t address, bool withBreakpoints);
    // Runs the subroutine at address so that its RTS returns into the talker's idle loop; a stopped
    // program stays stopped until then (and is not resumed afterwards).
    [[nodiscard]] TalkerStatus callSubroutine(uint32_t address);
    // Stops the program (currentPC = where it goes on: a held program's SWI address), returns the
    // target to the talker, restores SWIs.
    [[nodiscard]] TalkerStatus stop();
    // One non-blocking look for a breakpoint hit while running; handles and reports it. Kind None
    // with status 1 means the serial line is gone (hang-up): no hit can come.
    BreakpointHit pollBreakpointHit();

    // --- Trace ---
    // Executes the one instruction at address and stops at its successor (currentPC); 22 for an
    // undefined opcode, 23 when control does not come back, the hit cannot be confirmed or restored,
    // and (with a message, nothing planted) for WAI, STOP and a call or return into its own bytes.
    // A branch or jump taken onto its own bytes ends at its target without running.
    [[nodiscard]] TalkerStatus traceStep(uint32_t address);
    // What a trace step did: the instruction's flow, its address, the address after it (a call's
    // return address), and the program's stack pointer before and after the step.
    struct TracedStep {
        FlowKind kind = FlowKind::Next;
        uint32_t from = 0;
        uint32_t after = 0;
        uint16_t spBefore = 0;
        uint16_t spAfter = 0;
    };
    // The last trace step, when it succeeded; empty after a failed one.
    const std::optional<TracedStep>& lastTrace() const { return lastTrace_; }
    // Writes a temporary SWI at address, recording the displaced byte (once per address).
    [[nodiscard]] TalkerStatus plantTracepoint(uint32_t address);
    // Writes every planted tracepoint's byte back and frees its record.
    [[nodiscard]] TalkerStatus restoreTracepoints();

    // --- S19 ---
    // Writes every data record of the file to the target (currentPC = first record's address).
    // EEPROM records are programmed through the memory services. A malformed file, data over the
    // register block $1000-$103F, the chip's ROM or a RAM talker (see talkerByteIn) give 17 before
    // anything is written, with s19Problem() saying where and why.
    // Where a breakpoint is planted while running, the loaded byte becomes the one it restores
    // and the SWI stays in place.
    [[nodiscard]] TalkerStatus loadS19(const std::string& path);
    // Compares every data record of the file with target memory (our SWIs count as the bytes
    // they displace); 18 at the first difference, which firstMismatch then holds. A file load
    // refuses is refused alike (17).
    [[nodiscard]] TalkerStatus verifyS19(const std::string& path);
    // Why the last load or verify refused its file (17): "line N: ..."; empty otherwise.
    const std::string& s19Problem() const { return s19Problem_; }
    // The first address of address..address+count-1 that no user write (load, set, fill, move)
    // may change: while a RAM talker runs, its code, stack and the pseudo-vector slots it uses
    // itself ($0000-$00C9, $00F4-$00FF; the interrupt slots $00CA-$00F3 are the program's).
    std::optional<uint32_t> talkerByteIn(uint32_t address, uint32_t count) const;
    // The same two for records read from any program file (an ELF program's sections): the
    // same refusals as for an S19 file; start (else the first record's address) becomes currentPC.
    [[nodiscard]] TalkerStatus loadRecords(const std::vector<S19Record>& records,
                                           std::optional<uint32_t> start = std::nullopt);
    [[nodiscard]] TalkerStatus verifyRecords(const std::vector<S19Record>& records);
    // The first byte where the last verify found the target differing from the file.
    struct S19Mismatch {
        uint32_t address = 0;
        uint8_t expected = 0; // the file's byte
        uint8_t found = 0;    // the target's
    };
    std::optional<S19Mismatch> firstMismatch;

    // Where the next execution or trace starts by default.
    uint32_t currentPC = 0;
    // The breakpoint table; records are used in index order, address 0 marks a free one.
    std::array<BreakpointRecord, kBreakpointCount> breakpoints{};
    // The temporary SWIs of one trace step; a record is in use while planted.
    std::array<BreakpointRecord, kTracepointCount> tracepoints{};
    // The talker's idle-loop address, recorded by startTalker.
    uint32_t talkerIdleAddress = 0;
    // The address of our SWI at which the talker holds the stopped program (after a confirmed
    // breakpoint hit or trace step); empty when nothing is held.
    std::optional<uint32_t> heldAt;
    // Nonzero while a program started with breakpoints runs and a hit is awaited.
    int32_t running = 0;
    // Called as soon as a hit at one of the table's breakpoints is confirmed, before the SWIs are
    // written back, so that a front end can show the stop at once; empty means no call.
    std::function<void(uint32_t address)> breakpointConfirmed;
    // Called after each S19 data record is written or compared, with the data bytes done so far
    // and the file's total; empty means no reports.
    std::function<void(uint64_t done, uint64_t total)> s19Progress;
    // Longest wait for the talker's "J" after a trace step starts the target (one immediate look first).
    int traceWaitMs = 20;
    // When our talker is booted: move the line to 125000 baud at start-up (9600 if that fails).
    bool fastLine = true;
    // Whether our talker, when booted, gets checked mode and the extended mode (off: the plain
    // protocol, as any other talker; for comparisons).
    bool extendedMode = true;
    // Our talker's extended mode; active only while the talker booted from a file is ours.
    ExtendedTalker& extended() { return extended_; }

private:
    // Which talker startTalker booted.
    enum class TalkerKind : uint8_t { None, Ram, Rom };

    [[nodiscard]] TalkerStatus readRegisters(TargetRegisters& r);
    [[nodiscard]] TalkerStatus writeRegisters(const TargetRegisters& r);
    // Reads the register frame for an operation that writes it back: read until two reads in a row
    // agree (at most kSaveReadRetries more reads, else 11); while nothing is held, agreement on SP
    // is taken when no two reads agree on every register (a running program).
    [[nodiscard]] TalkerStatus readFrameToWriteBack(TargetRegisters& frame);
    // Starts the target at address with the frame's registers and stack, also where the talker
    // holds a stopped program; clears heldAt.
    [[nodiscard]] TalkerStatus startFrameAt(TargetRegisters frame, uint32_t address);
    // Moves the frame down, pushes the addresses (the first is pulled first) where it ended and
    // starts the target at the talker's RTS, which pulls the first of them.
    [[nodiscard]] TalkerStatus startThroughRts(TargetRegisters frame, std::initializer_list<uint32_t> pushed);
    // Whether the talker's RTS can start a program at address: it holds RTS now and is not there.
    [[nodiscard]] TalkerStatus talkerRtsUsable(uint32_t address, bool& usable);
    // Reads a byte until two reads in a row agree (at most kSaveReadRetries more reads, else 11).
    [[nodiscard]] TalkerStatus readStableByte(uint32_t address, uint8_t& byte);
    // Writes back SWIs that a failed operation left planted: leftover tracepoints, and the
    // breakpoints too while no run with breakpoints is under way.
    [[nodiscard]] TalkerStatus restoreLeftovers();
    // The target's own byte at address, given the byte just read there (which may be one of our SWIs).
    uint8_t originalByte(uint32_t address, uint8_t byteRead) const;
    // Reads the target's own byte at address for a record that will write it back: read until two
    // reads in a row agree (at most kSaveReadRetries more reads, else 11).
    [[nodiscard]] TalkerStatus readByteToSave(uint32_t address, uint8_t& byte);
    static constexpr int kSaveReadRetries = 3;
    // Restores tracepoints that an unfinished step left planted, taking a late "J" first.
    [[nodiscard]] TalkerStatus restoreLeftoverTracepoints();
    // Reads count (at most 8) bytes, each read's end settled, until two reads in a row agree (at
    // most kSaveReadRetries more reads, else 11).
    [[nodiscard]] TalkerStatus readStableBytes(uint32_t address, uint8_t* bytes, uint32_t count);
    // Starts a trace step's instruction at address from frame; a register write whose echo was
    // missing or damaged is finished with the frame, and the step then goes on.
    [[nodiscard]] TalkerStatus startTraceFrame(const TargetRegisters& frame, uint32_t address);
    // Confirms a "J" the target has already sent, so that it cannot stand in for the echo of the
    // next command; the talker then holds the program there (heldAt).
    void takePendingHit();
    // True once the talker has sent "J", looking at once and then for up to traceWaitMs.
    bool waitForSwi();
    void notify(const std::string& text);
    void reportS19Progress(uint64_t done, uint64_t total) const;
    // Reads an S19 file for a load or verify, refusing data over the register block.
    [[nodiscard]] TalkerStatus readS19(const std::string& path, S19Reader& reader);
    // Refuses records over the register block or the chip's ROM (17, with s19Problem() saying where).
    [[nodiscard]] TalkerStatus checkRecords(const std::vector<S19Record>& records);

    TalkerLink& link_;
    TargetMemory& memory_;
    EngineNotifier* notifier_ = nullptr;
    TalkerKind talkerKind_ = TalkerKind::None;
    std::string s19Problem_;
    ExtendedTalker extended_{link_};
    std::optional<TracedStep> lastTrace_;
};
