#pragma once
#include "link/ByteChannel.h"
#include "link/SerialPort.h"

#include <chrono>
#include <functional>
#include <memory>

class BoardChannel;
class MemoryLine;

// The session's line to the target: the serial port, or the in-memory line of a virtual board in
// this process, chosen when the line is opened by the mode text's port name ("board", or a port
// name mapped to "board"). Everything else is passed to the line in use. The serial port's read
// wait (readWaitMs) is the one setting for both.
class SessionChannel : public ByteChannel {
public:
    // The port name that stands for the in-process board's in-memory line.
    static constexpr const char* kBoardPortName = "board";

    explicit SessionChannel(SerialPort& serial);
    ~SessionChannel() override;

    // Offers an in-process board's line (null: none); it must outlive this channel or be
    // withdrawn first. An open line to a withdrawn board is closed.
    void setBoardLine(MemoryLine* line);
    // True when an in-memory board line is offered.
    bool hasBoardLine() const { return board_ != nullptr; }
    // True while the board's line is the one in use.
    bool onBoardLine() const { return active_ != &serial_; }

    int open(const std::string& modeText) override;
    void close() override { active_->close(); }
    bool isOpen() const override { return active_->isOpen(); }
    int read(uint8_t* buffer, int count) override;
    // Sets the serial port's read wait, the one setting for both lines.
    void setReadWait(int ms) override;
    int write(const uint8_t* buffer, int count) override;
    bool inputWithin(std::chrono::microseconds wait) override;
    bool hasInput() override { return active_->hasInput(); }
    bool lineLost() override { return active_->lineLost(); }
    SerialLineSettings lineSettings() const override { return active_->lineSettings(); }
    int setLineSettings(const SerialLineSettings& settings) override { return active_->setLineSettings(settings); }
    int readinessDescriptor() const override { return active_->readinessDescriptor(); }
    int setModemLine(ModemLine line, bool asserted) override { return active_->setModemLine(line, asserted); }
    // The errno of the last failed open of the serial port; 0 on the board's line.
    int lastOpenError() const { return onBoardLine() ? 0 : serial_.lastOpenError(); }

    // How often a wait hook is called: the longest piece of a wait for input, and the least time
    // between two calls.
    static constexpr std::chrono::milliseconds kWaitSlice{25};
    // Until cleared with an empty hook, calls hook at most every kWaitSlice, before a write or a
    // read and between the slices of a wait for input, so that a caller's event loop keeps
    // turning through a long run of short exchanges as through one long wait. The waits end as
    // they would without it; only the hook's own time is added.
    void setWaitHook(std::function<void()> hook);

private:
    SerialPort& serial_;
    std::unique_ptr<BoardChannel> board_;
    ByteChannel* active_;
    // Calls the hook when kWaitSlice has passed since its last call.
    void keepAlive();

    std::function<void()> waitHook_;
    std::chrono::steady_clock::time_point lastHook_;
};
