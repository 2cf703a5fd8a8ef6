#pragma once
#include "sim/LineEnd.h"
#include "sim/LineSettings.h"
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

class TimeSource;

// A serial line held in memory, for a host in the same process as the board: no
// pseudo-terminal between them. Each byte the host sends is stamped with the host's line
// settings of that moment, so a rate switch right after a write cannot reach back to bytes
// already sent; the board's runner models the waveform (SerialWire) from those settings as for
// a pseudo-terminal, and unlike a pseudo-terminal the host's data bits and parity are kept.
// The host's side is thread-safe against the board's: the board runs in a thread of its own.
// Two event descriptors make either side's input pollable.
class MemoryLine : public LineEnd {
public:
    // Bytes the host's input queue holds before more are lost, as a UART driver's buffer.
    static constexpr size_t kHostQueueLimit = 4096;

    MemoryLine();
    ~MemoryLine() override;
    MemoryLine(const MemoryLine&) = delete;
    MemoryLine& operator=(const MemoryLine&) = delete;

    // True when both event descriptors could be made.
    bool valid() const { return boardEvent_ >= 0 && hostEvent_ >= 0; }

    // --- the board's side
    int fd() const override { return boardEvent_; }
    LineSettings hostSettings() const override;
    size_t read(uint8_t* buffer, size_t capacity, LineSettings* sentWith = nullptr) override;
    bool write(uint8_t byte) override;

    // --- the host's side
    // Sets the settings the host sends and receives with from now on.
    void setHostSettings(const LineSettings& settings);
    // Queues bytes for the board, stamped with the current host settings.
    void hostSend(const uint8_t* bytes, size_t count);
    // Takes up to capacity bytes the board sent.
    size_t hostReceive(uint8_t* buffer, size_t capacity);
    // Bytes the board sent that the host has not taken.
    size_t hostQueued() const;
    // Round trips the host has made: the times it took bytes from the board after it had sent
    // any since it last took some (a measure of a protocol's cost behind a slow turnaround).
    uint64_t hostRoundTrips() const;
    // Drops the bytes the board sent that the host has not taken.
    void hostDiscardInput();
    // Polls readable while hostQueued() is non-zero or the line is hung up.
    int hostReadinessFd() const { return hostEvent_; }

    // The board's clock when the board runs on virtual time (null: it runs on its own thread in
    // real time). Set by the board before the host opens the line; the host's waits then run it.
    void setTimeSource(TimeSource* source) { timeSource_ = source; }
    TimeSource* timeSource() const { return timeSource_; }

    // The board is gone: the host sees a lost line from now on (until reopen()).
    void hangUp();
    bool hungUp() const;
    // Restores a hung-up line for a new board run; both queues start empty.
    void reopen();

private:
    struct Stamped {
        uint8_t byte;
        LineSettings settings;
    };
    // Sets (or clears) an event descriptor's readable state; call with the lock held.
    static void signal(int fd);
    static void clear(int fd);

    mutable std::mutex mutex_;
    std::deque<Stamped> toBoard_;
    std::deque<uint8_t> toHost_;
    LineSettings host_;
    bool hungUp_ = false;
    bool sentSinceReceive_ = false;
    uint64_t roundTrips_ = 0;
    int boardEvent_ = -1;
    int hostEvent_ = -1;
    TimeSource* timeSource_ = nullptr;
};
