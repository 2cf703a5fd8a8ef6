#pragma once
#include "sim/Board.h"
#include "sim/LineFaults.h"
#include "sim/LineSettings.h"
#include "sim/LineEnd.h"
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// Runs a Board against the host on a LineEnd (a pseudo-terminal or an in-memory line), keeping board time (E cycles) in step with the
// wall clock (or as fast as possible), and carries characters across the line:
// - The host's bytes are read as soon as they arrive, stamped with the host's line settings of
//   that moment and queued on the SCI's receive wire one character time apart at the host's rate.
// - Each character the SCI finishes is written to the host when the host's settings match the
//   SCI's (rate within 3 %, 8 data bits; a ninth bit must stand where the host expects parity or
//   a stop bit); otherwise it is dropped, as the host's UART would discard it with a framing error.
// - While the CPU idles (WAI, STOP) the runner sleeps until the next due event or host input.
//   As fast as possible (speed 0), board time still advances at least as fast as the wall clock
//   while the CPU idles, so the host's programming waits count as on a real board. While the boot
//   loader of a chip whose download ends on an idle line runs, the board runs in real time: a
//   pause of the host between two pieces of its download is as long for the loader as on a
//   real board (the download takes its wire time, 2 s at 1200 baud).
// - With a latency timer, the board's bytes reach the host as a USB-serial adapter passes them on
//   (modelled on an FTDI chip): they collect in the adapter's buffer, a full packet of
//   kAdapterPacketBytes goes to the host at once, and a partial one waits for the latency timer.
//   The timer runs on the wall clock and restarts whenever a packet goes (on an idle line the
//   adapter sends an empty status packet at every expiry, so the timer keeps ticking). The
//   host-to-board direction is not delayed: an adapter sends what it is given at once.
class BoardRunner {
public:
    using Clock = std::chrono::steady_clock;
    // Data bytes in one USB packet of a full-speed FTDI adapter (64 bytes less 2 status bytes).
    static constexpr size_t kAdapterPacketBytes = 62;

    // speed: multiple of real time, 0 as fast as possible. eepromFile: where EEPROM changes are
    // saved (empty: nowhere). faults (or null) acts on the bytes crossing the line.
    // latencySeconds: the adapter's latency timer; 0 passes each byte on at once.
    BoardRunner(Board& board, LineEnd& line, double speed, std::string eepromFile,
                LineFaults* faults = nullptr, double latencySeconds = 0);

    // Runs until `stop` is set. `reset` presses the RESET button (and is cleared); wakeFd (or -1)
    // is polled with the line so that setting a flag can interrupt a sleep.
    void run(const std::atomic<bool>& stop, std::atomic<bool>& reset, int wakeFd);
    // Runs the board on virtual time, in the caller's thread: as fast as it goes until board time
    // reaches `until` (E cycles) or, looked at every kLockstepSlice cycles, `enough` (when given)
    // holds. The line is served as by run(), and fault delays and the adapter's latency timer
    // count board time. Board time does not pass between two calls.
    void advance(uint64_t until, const std::function<bool()>& enough);
    // Presses the RESET button at once (board on virtual time: what the host sent before is on
    // the line before the press).
    void resetNow();
    // Board time as a point on the runner's clock (virtual time only).
    static Clock::time_point boardTime(uint64_t cycles);
    // The first board cycle at or after a board time.
    static uint64_t boardCycles(Clock::time_point at);
    // Nanoseconds in one E cycle of the board's 2 MHz E clock.
    static constexpr uint64_t kNanosecondsPerCycle = 500;
    // Board cycles between two looks at the line (and at `enough`) on virtual time: 0.5 ms, well
    // under a character time at the rates the debugger uses.
    static constexpr uint64_t kLockstepSlice = 1000;

    // Saves the EEPROM image if it changed since the last save; false with a reason on failure.
    bool saveEepromIfChanged(std::string* error);

    // Whether the host, with its settings, receives the SCI's character, and as which byte.
    static bool hostReceives(const Sci::TxCharacter& c, const LineSettings& host, uint8_t* byte);

private:
    // Now on the runner's clock: the wall clock, or board time on virtual time.
    Clock::time_point clockNow() const;
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
    // A byte the host's UART took, handed to the adapter (or straight to the host without one).
    void toAdapter(uint8_t byte, Clock::time_point now);
    // Sends the adapter's packet when its latency timer has expired; returns the seconds until
    // the timer next matters (a large value while the buffer is empty).
    double releasePacket(Clock::time_point now);
    void sendPacket();
    uint64_t wallTarget(Clock::time_point wall) const;

    Board& board_;
    bool virtual_ = false; // on virtual time (advance()): board time is the clock
    bool paced_ = false; // running in real time for the boot loader's idle time (as fast as possible otherwise)
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
    // The adapter: its latency timer and the bytes waiting for the next packet.
    Clock::duration latency_{};
    Clock::time_point nextExpiry_{};
    std::vector<uint8_t> packet_;
};
