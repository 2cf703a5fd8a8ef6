#pragma once
#include "link/ByteChannel.h"

class MemoryLine;

// The talker's byte stream to a virtual board in this process, over the board's in-memory line
// instead of a pseudo-terminal. Behaves as the serial port does: a write returns once the bytes'
// wire time at the line's speed has passed (the board receives them at that rate), reads wait at
// most one read wait, and the line is lost when the board stops. The port name of the mode text
// is not looked at; data bits, parity and stop bits are carried to the board as set (the board
// drops characters whose format its SCI does not match, as a UART would). On a board on virtual
// time, the board's clock is the thread's link clock while the channel is open: every wait (a
// read, inputWithin, a write's wire time, any Deadline) runs the board up to its end or until a
// byte reaches the host, and nothing sleeps.
class BoardChannel : public ByteChannel {
public:
    // The line must outlive the channel.
    explicit BoardChannel(MemoryLine& line) : line_(line) {}
    ~BoardChannel() override;

    // 0; 1 or 2 for a malformed mode text; EBUSY when already open; EINVAL for a rate of 0 or
    // data bits outside 5..8; EIO when the board has stopped. Input already queued is dropped.
    int open(const std::string& modeText) override;
    void close() override;
    bool isOpen() const override { return open_; }
    int read(uint8_t* buffer, int count) override;
    int write(const uint8_t* buffer, int count) override;
    bool inputWithin(std::chrono::microseconds wait) override;
    bool hasInput() override;
    bool lineLost() override;
    SerialLineSettings lineSettings() const override { return settings_; }
    // Any rate is taken as it is (the board's SCI decides whether it matches).
    int setLineSettings(const SerialLineSettings& settings) override;
    // An event descriptor that polls readable while input is queued or the board has stopped.
    int readinessDescriptor() const override;

private:
    // Passes the settings on to the board's side of the line.
    void publish();
    // On virtual time: runs the board for at most `wait`, until input is queued or the line is
    // lost. False on real time (nothing done).
    bool letBoardRun(std::chrono::microseconds wait);

    MemoryLine& line_;
    bool open_ = false;
    TimeSource* clock_ = nullptr;         // the board's clock while open on virtual time
    TimeSource* clockBefore_ = nullptr;   // the thread's link clock before the open
    SerialLineSettings settings_{0, 0, SerialLineSettings::Parity::None, SerialLineSettings::StopBits::One};
};
