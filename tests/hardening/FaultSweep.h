#pragma once
// Runs debugger operations on a SampleTarget with line faults injected, then ends the faults,
// boots the talker again and checks what the target was left with. Shared by the tests (short
// sweeps) and tarvik11-soak (the long runs).
#include "SampleTarget.h"

#include <functional>
#include <string>
#include <vector>

// The figures of fault runs.
struct SweepFigures {
    uint64_t faults = 0;       // faults the line injected
    uint64_t operations = 0;   // operations run under faults
    uint64_t hangs = 0;        // of those, ones that took longer than their bound
    uint64_t lostBytes = 0;    // code bytes that differed after recovery, except from a run counted below
                               // (so under faults on the way to the host, delays, outages and resets)
    uint64_t straySwis = 0;    // of those, ones holding an SWI
    uint64_t strayWrites = 0;  // code bytes that differed after a run in which a drop, garble or duplicate
                               // fault hit a byte on its way to the board: the talker protocol carries
                               // no check of a command's count or address, so the talker may write what
                               // the host never sent where the host never asked
    uint64_t plantedLeft = 0;  // recoveries after which a record was still planted
    uint64_t bootRetries = 0;  // boots after a fault that needed another try (a character in flight)
    uint64_t bootFailures = 0; // recoveries where no boot worked: the board's EEPROM or CONFIG was
                               // hit, and only a new board (fresh EEPROM, samples reloaded) went on
    uint64_t redoFailures = 0; // operations that failed when repeated without faults
    std::vector<std::string> notes; // what went wrong, one line each (at most a few dozen)

    SweepFigures& operator+=(const SweepFigures& other);
    // True when nothing was lost, left planted, hung or failed after recovery (stray writes are
    // the line's doing and are reported, not judged).
    bool clean() const;
    // One line of figures.
    std::string text() const;
};

// One operation with its fault-free preparation.
struct Scenario {
    std::string name;
    // Brings the target to the state the operation starts from; runs without faults.
    std::function<TalkerStatus(SampleTarget&)> setup;
    // Runs the operation; true when it went all the way as it does without faults.
    std::function<bool(SampleTarget&)> operation;
};

// Run to a breakpoint and take the hit; trace eight steps; stop a running program; load an S19
// file over planted breakpoints while a program runs.
std::vector<Scenario> standardScenarios();

class FaultSweep {
public:
    // shortWaitMs: the host's read wait while faults are on; longWaitMs: while they are off.
    FaultSweep(SampleTarget& target, int shortWaitMs, int longWaitMs);

    // Line bytes of one fault-free run of the scenario (0 when it failed).
    uint64_t measure(const Scenario& scenario);
    // For K = first, first + stride, ... up to the scenario's line bytes: the fault made from
    // pattern (every "K" replaced by K) injected into one run.
    SweepFigures sweep(const Scenario& scenario, const std::string& pattern, uint64_t first, uint64_t stride);
    // rounds runs of the scenario, each under the faults with seed + round.
    SweepFigures random(const Scenario& scenario, const std::vector<FaultRule>& faults, uint64_t seed, int rounds);

private:
    // One run: setup, faults on, operation, faults off, boot, checks, a fault-free repeat.
    void runOnce(const Scenario& scenario, const std::vector<FaultRule>& faults, uint64_t seed,
                 uint64_t boundMs, const std::string& label, SweepFigures& figures);
    TalkerStatus recover(SweepFigures* figures);
    void note(SweepFigures& figures, const std::string& text);

    SampleTarget& target_;
    int shortWaitMs_;
    int longWaitMs_;
};
