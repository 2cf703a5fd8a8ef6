#pragma once
// Fault runs over the debug session in which every session ends by exiting. One run: a fresh
// session boots our talker (from the board's EEPROM, one character), brings the samples into a
// known state without faults, runs a scenario's commands under line faults, and, once the
// faults have ended, goes away as at a process exit (its destructor writes back what our SWIs
// displaced). A fresh session on the same board then boots and reads the target back; its
// memory must hold what the commands left there. Shared by the tests (short runs) and
// tarvik11-soak --sessions (the long ones).
#include "BoardSession.h"
#include "session/DebugSession.h"
#include "SampleTarget.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The figures of session fault runs.
struct SessionFigures {
    uint64_t runs = 0;            // sessions run under faults (each ended by its exit)
    uint64_t faults = 0;          // faults the line injected
    uint64_t commands = 0;        // session commands run under faults
    uint64_t failedCommands = 0;  // of those, ones that reported a failure
    uint64_t swisLeft = 0;        // SWIs found in the samples' code after the exit
    uint64_t lostBytes = 0;       // tracked bytes (the samples' code, the user's writes) that held a
                                  // value no command could have left there, SWIs included
    uint64_t wrongSuccesses = 0;  // commands that reported success with a wrong result: a dump
                                  // showing bytes other than the target's, a write whose bytes
                                  // are not there after the exit, a hit, stop or trace step at the
                                  // wrong address
    // Runs in which a byte on its way to the board was dropped, garbled or doubled are judged
    // apart: the plain protocol carries no check of a command's count, address or data, so the
    // talker may write what the host never sent, or read from where the host never asked.
    uint64_t strayWrites = 0;     // tracked bytes that differ after such a run
    uint64_t strayResults = 0;    // commands of such a run whose reported success was wrong
    uint64_t hangs = 0;           // runs whose commands took longer than their bound
    uint64_t bootRetries = 0;     // fresh sessions that needed another boot (a character in flight)
    uint64_t boardsReplaced = 0;  // fresh sessions that could not boot at all: a new board took over
    uint64_t setupFailures = 0;   // fault-free preparations or checks that failed
    std::vector<std::string> notes; // what went wrong, one line each (at most a few dozen)

    SessionFigures& operator+=(const SessionFigures& other);
    // True when no SWI was left, no byte lost, no success wrong, every fresh session booted and
    // every fault-free step worked (stray writes and results are the line's doing: reported, not
    // judged; hangs are reported, not judged).
    bool clean() const;
    // One line of figures.
    std::string text() const;
};

// What each tracked target byte may hold, and which successful command promised it.
class TargetModel {
public:
    // The block holds exactly these bytes (written without faults and checked).
    void known(uint32_t address, const Bytes& bytes);
    // A command wrote the block: reported success makes its bytes the only ones allowed (and
    // promised by that command); a failure adds them to what each byte may hold.
    void written(uint32_t address, const Bytes& bytes, bool ok, int command);
    // True when the tracked address may hold the byte (an untracked one may hold anything).
    bool allows(uint32_t address, uint8_t byte) const;
    // The tracked addresses as contiguous blocks (first, count).
    std::vector<std::pair<uint32_t, uint32_t>> blocks() const;

    // The comparison of a block read back with the model.
    struct Findings {
        std::vector<uint32_t> differing; // tracked addresses holding a byte they may not hold
        std::vector<uint32_t> swis;      // of those, ones holding an SWI
        std::set<int> brokenPromises;    // commands that reported success whose bytes are not there
    };
    void compare(uint32_t address, const Bytes& actual, Findings& findings) const;

private:
    struct Cell {
        std::vector<uint8_t> allowed;
        int promisedBy = -1;
    };
    std::map<uint32_t, Cell> cells_;
};

// One run's view for its scenario: the session, the model of the target, and the checks of
// the results that commands report. It is the session's observer while the run lasts.
class SessionRun : public SessionObserver {
public:
    SessionRun(DebugSession& session, TargetModel& model, const std::map<std::string, uint32_t>& flowSymbols);

    DebugSession& session;
    TargetModel& model;

    // A symbol's address in the flow sample.
    uint32_t flow(const std::string& symbol) const;
    // "$xxxx".
    static std::string hex(uint32_t value);

    // Counts a command run under faults (what names it in notes); true when it reported success.
    bool ran(const CommandResult& result, const std::string& what);
    // The last command counted wrote bytes at address (the model learns whether it succeeded).
    void wrote(uint32_t address, const Bytes& bytes);
    // The last command reported success with a wrong result.
    void wrong(const std::string& why);
    // Checks the last command, a dump that reported success, against the model: it must show the
    // program's bytes (never our SWIs) wherever the model knows them.
    void checkDump(const CommandResult& result);
    // Polls for a stop while the program runs, up to waits read waits; the first stop seen (one
    // reported to the observer by an earlier command counts too), else kind None.
    BreakpointHit waitForStop(int waits);
    // Forgets what was counted so far (the preparation's commands).
    void restartCounting();

    // Hits at these addresses are right; a hit reported anywhere else is a wrong success.
    std::set<uint32_t> expectedHits;

    uint64_t commands = 0;
    uint64_t failedCommands = 0;
    std::vector<std::string> wrongResults;  // one line per wrong success
    std::vector<std::string> commandNames;  // by command number

    void programStopped(const BreakpointHit& hit) override;

private:
    const std::map<std::string, uint32_t>& flowSymbols_;
    std::vector<BreakpointHit> stops_;
    bool lastOk_ = false;
};

// A scenario: its fault-free preparation and the commands that run under faults.
struct SessionScenario {
    std::string name;
    // Brings the target to the state the commands start from; false (with the reason in note)
    // when that failed. The samples are loaded and known to the model before it runs.
    std::function<bool(SessionRun&, std::string& note)> setup;
    // The commands; whatever they report, the session then goes away.
    std::function<void(SessionRun&)> commands;
};

// Load a sample over a program running with breakpoints in it; set breakpoints and run to a
// hit; trace eight steps; stop a running program and run it again; write (set, fill) over
// planted breakpoints while the program runs; dump the code while the program runs.
std::vector<SessionScenario> sessionScenarios();

class SessionFaultRun {
public:
    // shortWaitMs: the session's read wait while faults are on; longWaitMs: while they are off.
    // checkedTalker: our talker's image in the board's EEPROM is in checked mode (the sessions
    // then speak it); otherwise the plain protocol throughout.
    SessionFaultRun(const std::string& workDir, int shortWaitMs, int longWaitMs, bool checkedTalker = false);
    ~SessionFaultRun();

    // Starts the board (our talker in its EEPROM) and boots the first session; false with a reason.
    bool prepare(std::string* error);

    // The line traffic of one fault-free run of the scenario; empty when that run found anything
    // wrong (its notes go to figures when given).
    std::optional<LineFaults::Stats> measure(const SessionScenario& scenario, SessionFigures* figures = nullptr);
    // The bytes of the traffic that a fault watching direction counts.
    static uint64_t bytesIn(const LineFaults::Stats& line, FaultDirection direction);
    // For K = first, first + stride, ... up to the scenario's line bytes in the fault's direction:
    // one run with the fault made from pattern (every "K" replaced by K).
    SessionFigures sweep(const SessionScenario& scenario, const std::string& pattern, uint64_t first, uint64_t stride);
    // Up to runs single-fault runs as sweep makes them, K spread evenly from first over the
    // bytes the fault watches.
    SessionFigures spread(const SessionScenario& scenario, const std::string& pattern, uint64_t first, uint64_t runs);
    // rounds runs of the scenario, each under the faults with seed + round.
    SessionFigures random(const SessionScenario& scenario, const std::vector<FaultRule>& faults, uint64_t seed,
                          int rounds);

    // What one run did on the line and whether it found nothing wrong.
    struct Outcome {
        LineFaults::Stats line;
        bool clean = false;
    };
    // One run under the faults (empty: none, and the long read wait throughout), its figures
    // added to figures; label names it in notes. boundMs: how long its commands may take before the run counts as a hang (0: no bound).
    Outcome runOnce(const SessionScenario& scenario, const std::vector<FaultRule>& faults, uint64_t seed,
                    uint64_t boundMs, const std::string& label, SessionFigures& figures);

    // The samples' code areas, which the model tracks from each run's preparation on, and the
    // addresses the scenarios use.
    static constexpr uint32_t kLoops = SampleTarget::kLoops, kLoopsFill = SampleTarget::kLoopsFill,
                              kLoopsOuter = SampleTarget::kLoopsOuter, kLoopsCodeEnd = SampleTarget::kLoopsCodeEnd;
    static constexpr uint32_t kCounter = SampleTarget::kCounter, kCounterCodeEnd = SampleTarget::kCounterCodeEnd;
    // The counter's loop, which never runs the instruction at kCounter again.
    static constexpr uint32_t kCounterLoop = 0xCC0A;

    BoardSession& board() { return board_; }
    // The session the next run starts from (null when none could boot).
    DebugSession* session() { return session_.get(); }

private:
    // A fresh session on the board, booted (retried, then a talker download); false when none
    // booted. Retries are counted in figures when given.
    bool freshSession(SessionFigures* figures);
    // Destroys the session, replaces the board (fresh EEPROM, cleared memory) and boots a session
    // on the new one.
    bool replaceBoard(SessionFigures& figures, const std::string& label);
    // Loads the samples without faults and makes their code the model's.
    bool loadSamples(TargetModel& model, std::string& why);
    void setWaits(int ms);
    // sweep with the stride that stride() makes of the bytes the fault watches.
    SessionFigures sweepWith(const SessionScenario& scenario, const std::string& pattern, uint64_t first,
                             const std::function<uint64_t(uint64_t)>& stride);
    void note(SessionFigures& figures, const std::string& text);

    // The board with our talker in its EEPROM; its own host objects stay unused (the sessions
    // talk to the board).
    BoardSession board_;
    int shortWaitMs_;
    int longWaitMs_;
    std::unique_ptr<DebugSession> session_;
    std::map<std::string, uint32_t> flowSymbols_;
    std::vector<MemoryImage> code_; // the samples' code areas as built
};
