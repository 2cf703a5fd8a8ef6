#pragma once
#include "sim/Board.h"
#include "sim/LineFaults.h"
#include "sim/LineSettings.h"
#include "sim/LineEnd.h"
#include <atomic>
#include <chrono>
#include <deque>
#include <string>

// Runs a Board against the host on a LineEnd (a pseudo-terminal or an in-memory line), keeping board time (E cycles) in step with the
// wall clock (or as fast as possible), and carries characters across the line:
// - The host's bytes are read as soon as they arrive, stamped with the host's line settings of
//   that moment and queued on the SCI's receive wire one character time apart at the host's rate.
// - Each character the SCI finishes is written to the host when the host's settings match the
//   SCI's (rate within 3 %, 8 data bits; a ninth bit must stand where the host expects parity or
//   a stop bit); otherwise it is dropped, as the host's UART would discard it with a framing error.
// - While the CPU idles (WAI, STOP) the runner sleeps until the next due event or host input.
//   As fast as possible (speed 0), board time still advances at least as fast as the wall clock
//   while the CPU idles, so the host's programming waits count as on a real board.
class BoardRunner {
public:
    // speed: multiple of real time, 0 as fast as possible. eepromFile: where EEPROM changes are
    // saved (empty: nowhere). faults (or null) acts on the bytes crossing the line.
    BoardRunner(Board& board, LineEnd& line, double speed, std::string eepromFile,
                LineFaults* faults = nullptr);

    // Runs until `stop` is set. `reset` presses the RESET button (and is cleared); wakeFd (or -1)
    // is polled with the line so that setting a flag can interrupt a sleep.
    void run(const std::atomic<bool>& stop, std::atomic<bool>& reset, int wakeFd);
    // Saves the EEPROM image if it changed since the last save; false with a reason on failure.
    bool saveEepromIfChanged(std::string* error);

    // Whether the host, with its settings, receives the SCI's character, and as which byte.
    static bool hostReceives(const Sci::TxCharacter& c, const LineSettings& host, uint8_t* byte);

private:
    using Clock = std::chrono::steady_clock;
    void pumpInput();
    void flushOutput();
    // The host's bytes enter the board here and the board's leave here: the one place where a
    // line fault (a lost or garbled byte) would be injected.
    void fromHost(uint8_t byte, const LineSettings& settings);
    void toHost(const Sci::TxCharacter& c, const LineSettings& host);
    void deliverToBoard(uint8_t byte, const LineSettings& settings);
    // The RESET button, pressed once the characters already on the receive line have ended.
    void pressResetButton();
    // Passes the held bytes that are due; returns the seconds until the next one (or a large value).
    double releaseHeld();
    void waitForInput(double seconds, int wakeFd);
    uint64_t wallTarget(Clock::time_point wall) const;

    Board& board_;
    LineEnd& line_;
    double speed_;
    double rate_; // E cycles per wall-clock second
    std::string eepromFile_;
    Clock::time_point wallMark_;
    uint64_t boardMark_ = 0;
    LineFaults* faults_ = nullptr;
    // A byte held back by a delay fault, with the host's settings when it was sent.
    struct Held {
        uint8_t byte;
        LineSettings settings;
        Clock::time_point due;
    };
    std::deque<Held> heldToBoard_;
    std::deque<Held> heldToHost_;
};
