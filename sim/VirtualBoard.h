#pragma once
#include "hc11/ChipVariant.h"
#include "sim/FaultRule.h"
#include "sim/LineFaults.h"
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Board;
class MemoryLine;
struct PinState;

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
};

// A virtual 68HC11 board behind a pseudo-terminal or an in-memory line, run in a thread of its
// own, so that a program of ours (the GUI, the command-line front end, tests) can talk to it as
// to a real board.
class VirtualBoard {
public:
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
    // The in-memory line's host side (it lives as long as the board); null on a pseudo-terminal.
    MemoryLine* memoryLine() const;
    // Presses the board's RESET button (the chip restarts in special bootstrap mode).
    void pressReset();
    // True from pressReset() until the board thread has taken the press.
    bool resetPending() const;
    // Replaces the line faults while the board runs (an empty list ends them, and any outage);
    // the figures start again from zero.
    void setFaults(std::vector<FaultRule> faults, uint64_t seed);
    // Faults injected and bytes carried since the faults were last set.
    LineFaults::Stats faultStats() const;

    // How long pinState() waits for the board's thread before it answers with the levels taken last.
    static constexpr std::chrono::milliseconds kPinWait{100};
    // Every modelled pin's level and direction, from any thread: the board's thread takes them
    // between two runs of the board (at once when the board is not running).
    PinState pinState() const;
    // Changes pins from any thread: the board's thread applies `change` after its current run of
    // the board, in the order given (at once when the board is not running). A pinState() asked
    // for later sees it.
    void changePins(std::function<void(Board&)> change);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
