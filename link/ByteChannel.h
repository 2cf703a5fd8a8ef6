#pragma once
#include "link/Deadline.h"
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

// Rate and character format of a serial line, as the host sets it.
struct SerialLineSettings {
    enum class Parity : uint8_t { None, Odd, Even };
    // OneAndHalf is accepted where a user names it; termios has no 1.5, it goes out as two.
    enum class StopBits : uint8_t { One, OneAndHalf, Two };

    uint32_t baud = 9600;
    uint8_t dataBits = 8; // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;

    // Bits in one character on the wire: start, data, parity, stop (1.5 counted as 2).
    int bitsPerCharacter() const {
        return 1 + dataBits + (parity != Parity::None ? 1 : 0) + (stopBits == StopBits::One ? 1 : 2);
    }
    bool operator==(const SerialLineSettings&) const = default;
};

// The modem control lines a host drives.
enum class ModemLine : uint8_t { Dtr, Rts };

// A mode text's parts: "COM1:9600,n,8,1" or "/dev/ttyUSB0:9600,e,7,2". The port name ends at
// the last ':' before the first ',', so device paths with colons keep them.
struct ModeText {
    std::string portName;
    SerialLineSettings settings;
};
// Splits a mode text into its parts: 0 with `out` filled; 1 bad parity or stop-bit field;
// 2 missing separator. portName is filled whenever the text was read that far. The rate and the
// data bits are read as numbers only (a field that is no number gives 0): validSettings judges them.
int parseModeText(const std::string& text, ModeText& out);
// True when the rate is positive and the data bits are 5..8.
bool validSettings(const SerialLineSettings& settings);

// The byte stream the talker protocol runs over: the host's serial port, or a line to a board
// that lives in this process. Reads never fail (a time-out is a short count); the protocol
// decides what a missing byte means.
class ByteChannel {
public:
    virtual ~ByteChannel() = default;

    // Opens the line from a mode text (see parseModeText); 0 or an error as SerialPort::open.
    virtual int open(const std::string& modeText) = 0;
    // Closes the line if open; always leaves the channel closed.
    virtual void close() = 0;
    // True after a successful open, until close.
    virtual bool isOpen() const = 0;

    // Bytes stored (at most count, never more than queued); waits at most one read wait when
    // nothing is queued.
    virtual int read(uint8_t* buffer, int count) = 0;
    // 0 once every byte has left the host at the line's speed; 1 when closed or on a line error.
    virtual int write(const uint8_t* buffer, int count) = 0;
    // True when input is queued, waiting for it at most the given time (which may be zero).
    virtual bool inputWithin(std::chrono::microseconds wait) = 0;
    // True when open, no line error pending and at least one byte is queued; consumes nothing.
    virtual bool hasInput() = 0;
    // True when open and the line has gone (hang-up, device removed, board stopped).
    virtual bool lineLost() = 0;

    // The settings in force (those of the last open or switch).
    virtual SerialLineSettings lineSettings() const = 0;
    // Switches the open line to new settings at once (call it after the last byte at the old
    // settings was written: write() returns when they have left). 0 on success; EBADF when
    // closed; EINVAL when the settings are malformed or the device refuses them (the rate it
    // reports back differs by more than 2 %), in which case the old settings stay in force;
    // otherwise the errno of the failed step.
    virtual int setLineSettings(const SerialLineSettings& settings) = 0;
    // setLineSettings with only the rate changed; any rate from 1 bit per second up, the classic
    // ones (9600, 115200, ...) as well as others such as 125000.
    int setBaud(uint32_t baud) {
        SerialLineSettings s = lineSettings();
        s.baud = baud;
        return setLineSettings(s);
    }

    // Asserts or negates a modem control line of the open line: 0, EBADF when closed, or the
    // errno of the failed step (ENOTTY where the device has no modem lines, as a pty).
    virtual int setModemLine(ModemLine line, bool asserted) {
        (void)line;
        (void)asserted;
        return isOpen() ? ENOTTY : EBADF;
    }

    // A descriptor that polls readable while input is queued (or the line is lost), for an
    // event loop's notifier; -1 when closed.
    virtual int readinessDescriptor() const = 0;

    // Milliseconds a read waits once when nothing is queued.
    int readWaitMs = 20;
    // Sets the read wait (a channel that passes reads on keeps the line's own in step).
    virtual void setReadWait(int ms) { readWaitMs = ms; }

    // Time that count characters take on the line at the current settings.
    std::chrono::microseconds characterTime(int count) const;
    // Waits until input is queued or the deadline has passed; true when input is queued.
    bool waitReadable(const Deadline& deadline) {
        return inputWithin(std::chrono::ceil<std::chrono::microseconds>(deadline.remaining()));
    }
};
