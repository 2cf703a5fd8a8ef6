#pragma once
#include "hc11/ChipVariant.h"
#include "sim/FaultRule.h"
#include "sim/LineFaults.h"
#include "sim/PinNames.h"
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MemoryLine;

// What carries the board's serial line.
enum class BoardLineKind : uint8_t {
    PseudoTerminal, // a device any program opens as a serial port (devicePath)
    Memory,         // queues in this process, reached through memoryLine(); no device
};

// The longest latency timer an adapter takes (an FTDI chip's timer is one byte of milliseconds).
inline constexpr double kMaxLatencyMs = 255;

// Reads a latency timer typed as whole milliseconds, 0 to kMaxLatencyMs; false for anything else.
bool parseLatencyMs(const std::string& text, double* ms);

// Settings of a virtual board run.
struct VirtualBoardOptions {
    // Multiple of real time (2 MHz E clock); 0 runs as fast as possible.
    double speed = 1.0;
    // Where EEPROM and CONFIG are kept across restarts of the board; empty keeps them in memory only.
    std::string eepromFile;
    // When set, a symbolic link to the pseudo-terminal's device is made here (and removed on stop).
    std::string linkPath;
    // Faults of the serial line, from the start of the run.
    std::vector<FaultRule> faults{};
    // Seed of the faults' random draws: the same seed and traffic give the same faults.
    uint64_t faultSeed = 1;
    // A pseudo-terminal, or a line in memory for a host in this process (linkPath is then unused).
    BoardLineKind line = BoardLineKind::PseudoTerminal;
    // The latency timer of a USB-serial adapter between board and host, in milliseconds: the
    // board's bytes reach the host in packets (see BoardRunner); 0 delivers each byte at once.
    double latencyMs = 0;
    // The chip on the board: RAM, EEPROM size and place, the boot loader's download rule.
    ChipKind chip = kDefaultChip;
    // Timed pin events, their times counted from the board's power-on.
    std::vector<PinEvent> stimulus{};
    // A stimulus file read at start (its events follow `stimulus`'s); a bad file fails the start.
    std::string stimulusFile;
    // Virtual time (in-memory line only; speed is then not used): no thread of its own, the board
    // runs in lockstep with the host on the line. Its clock is the host's link clock while the
    // host has the line open; it runs only while the host waits, as fast as the machine allows,
    // and stands still while the host computes, so a run does not depend on the machine's load.
    bool virtualTime = false;
};

struct PinState;

// A virtual 68HC11 board behind a pseudo-terminal or an in-memory line, run in a thread of its
// own, so that a program of ours (the GUI, the command-line front end, tests) can talk to it as
// to a real board.
class VirtualBoard {
public:
    // Board time a board on virtual time runs on after a press of its RESET button: the chip's
    // boot loader is ready for the host's first character, however soon the host sends it.
    static constexpr int kResetSettleMs = 20;

    explicit VirtualBoard(VirtualBoardOptions options = {});
    ~VirtualBoard(); // stops the board
    VirtualBoard(const VirtualBoard&) = delete;
    VirtualBoard& operator=(const VirtualBoard&) = delete;

    // Creates the line and starts the board thread; false with a reason on failure.
    bool start(std::string* error = nullptr);
    // Stops the board thread and closes the pseudo-terminal (an in-memory line is hung up).
    void stop();
    // The device a host opens (the link path when one was given, else the pseudo-terminal's own
    // path); empty for an in-memory line.
    std::string devicePath() const;
    // True when the board runs on virtual time.
    bool onVirtualTime() const;
    // The in-memory line's host side (it lives as long as the board); null on a pseudo-terminal.
    MemoryLine* memoryLine() const;
    // Presses the board's RESET button (the chip restarts in special bootstrap mode). On virtual
    // time the press is taken at once and the board runs on for kResetSettleMs of board time (as
    // start() does after power-on).
    void pressReset();
    // True from pressReset() until the board thread has taken the press.
    bool resetPending() const;
    // Replaces the line faults while the board runs (an empty list ends them, and any outage);
    // the figures start again from zero.
    void setFaults(std::vector<FaultRule> faults, uint64_t seed);
    // Faults injected and bytes carried since the faults were last set.
    LineFaults::Stats faultStats() const;
    // Drives a pin (or queues SPI bytes); while the board runs, waits (at most a second) until
    // the board thread has taken it, so that pinState() shows it. False when it was not taken.
    bool drivePin(const PinSetting& setting);
    // The pins as the board thread last showed them.
    PinState pinState() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
