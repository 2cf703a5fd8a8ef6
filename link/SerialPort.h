#pragma once
#include "link/ByteChannel.h"
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// Longest read wait ("Communications Delay Time") any front end accepts, in milliseconds: a
// missing byte blocks the caller this long, so a larger value would freeze it for minutes.
inline constexpr int kMaxReadWaitMs = 60000;

// What a user can do about a failed open, from the error lastOpenError() reported: for a
// permission error (EACCES, EPERM) the advice to join the dialout group; empty otherwise.
std::string portOpenHint(int error, const std::string& device);
// Why an open failed, naming the device, from the error lastOpenError() reported: "/dev/ttyUSB0
// is in use by another program" for EBUSY, and so on; empty for 0.
std::string portOpenCause(int error, const std::string& device);

// The host's serial port on POSIX termios. Opened from a mode text such as
// "COM1:9600,n,8,1" or "/dev/ttyUSB0:9600,n,8,1"; a COM name is looked up in the port map.
// The port name ends at the last ':' before the first ',', so device paths that contain
// colons (/dev/serial/by-path/...) work. The device is held exclusively (TIOCEXCL and an
// flock), set to raw mode without flow control, asked for low latency where the driver offers
// it (ASYNC_LOW_LATENCY: a USB adapter then passes on received bytes at once instead of on its
// latency timer; a driver that refuses, as a pty does, is left as it is), and both directions are purged on open
// (input only on a pseudo-terminal, whose output queue is the far end's unread input).
// "1.5" stop bits is accepted and reported as 1 but sent as 2 stop bits (termios has no 1.5).
// open() takes the classic rates only (50..921600 of the B-constant table); once open, the line
// can be switched to any rate with setBaud/setLineSettings (rates outside the table go through
// termios2, e.g. 125000 for a 68HC11 SCI at E/16 with an 8 MHz crystal).
class SerialPort : public ByteChannel {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 0 success; 1 bad parity or stop-bit field; 2 missing separator; otherwise the errno of the
    // failed step (ENOENT unknown port name, EINVAL unsupported baud or data bits, ENOTTY not a
    // terminal, EBUSY device held elsewhere or this object already open, which stays open unchanged).
    int open(const std::string& modeText) override;
    // The errno of the failed step of the last open; 0 after a successful open or when the
    // mode text itself was refused (results 1 and 2, which are then not errno values; for a
    // well-formed text they are EPERM and ENOENT).
    int lastOpenError() const { return lastOpenError_; }
    // True after a fully successful open, until close.
    bool isOpen() const override;
    // True when open, no line error pending and at least one byte is queued; consumes nothing.
    bool hasInput() override;
    // True when open and the line reports a hang-up or an error (the device is gone).
    bool lineLost() override;
    // Bytes stored (at most count, at most 1024, never more than queued); waits at most one read wait.
    int read(uint8_t* buffer, int count) override;
    // True when input is queued, waiting for it at most the given time (which may be zero).
    bool inputWithin(std::chrono::microseconds wait) override;
    // 0 when every byte has left the host (drained; on a pseudo-terminal also paced to the wire
    // time at the line settings); 1 when closed, on a line error or when output stalls for seconds.
    int write(const uint8_t* buffer, int count) override;
    // Closes the port if open; always leaves the object closed.
    void close() override;

    // The settings of the last open or switch (after a failed open: those the mode text named).
    SerialLineSettings lineSettings() const override { return settings_; }
    // Switches the open port: a classic rate through cfsetspeed, any other through termios2.
    // The rate is read back; EINVAL when the device keeps another (more than 2 % off), and the
    // old settings are restored. See ByteChannel::setLineSettings; setBaud(uint32_t) changes
    // only the rate. Input already queued is kept. On a pseudo-terminal (paced) the switch first
    // waits two character times, at least 20 ms, so the far end reads the last bytes at the old
    // settings (a pseudo-terminal keeps no settings per byte).
    int setLineSettings(const SerialLineSettings& settings) override;
    // The tty descriptor while open, -1 otherwise.
    int readinessDescriptor() const override { return fd_; }
    // Through TIOCMBIS/TIOCMBIC; ENOTTY where the driver has no modem lines (a pty).
    int setModemLine(ModemLine line, bool asserted) override;
    // True when the driver took the request for low latency at the last open.
    bool lowLatency() const { return lowLatency_; }
    // On a pseudo-terminal: pace writes to the wire time and wait two character times on close,
    // as a real line would. A harness that plays the far end itself and never changes the line's
    // speed under a transfer may turn this off.
    bool paceOnPseudoTerminal = true;

    // Line settings parsed from the last mode text.
    int baudRate() const { return static_cast<int>(settings_.baud); }
    int dataBits() const { return settings_.dataBits; }
    int parity() const { return static_cast<int>(settings_.parity); }     // 0 none, 1 odd, 2 even
    int stopBits() const { return static_cast<int>(settings_.stopBits); } // 0 one, 1 one and a half, 2 two
    // The device path opened (or last tried).
    const std::string& deviceName() const { return device_; }
    // The OS descriptor while open, -1 otherwise (for readiness notifiers).
    int descriptor() const { return fd_; }
    // True when the open device is a Unix98 pseudo-terminal slave (writes are then paced unless
    // paceOnPseudoTerminal is off).
    bool isPseudoTerminal() const { return pty_; }

    // COM1..COM4 to /dev/ttyS0../dev/ttyS3.
    static std::map<std::string, std::string> defaultPortMap();
    // The device a port name stands for in the map (a COM name in any case), or the name itself
    // when it is an absolute path; empty otherwise.
    static std::string resolvePortName(const std::string& portName, const std::map<std::string, std::string>& map);
    // The port map this port looks COM names up in.
    std::map<std::string, std::string> ports = defaultPortMap();

private:
    // False on a line error (hang-up, device gone); otherwise stores the queued input count.
    bool lineStatus(int& queued);
    // Waits until input arrives or one read wait has passed.
    void waitForInput();
    // Start, data, parity and stop bits of one character at the current settings.
    int bitsPerCharacter() const { return settings_.bitsPerCharacter(); }

    // open() without the bookkeeping of lastOpenError.
    int openDevice(const std::string& modeText);
    // Applies the character format and rate to the open descriptor (raw mode when makeRaw) and
    // reads the rate back: 0, EINVAL when refused, or the errno of the failed step.
    int applySettings(int fd, const SerialLineSettings& settings, bool makeRaw);

    int fd_ = -1;
    bool pty_ = false;
    bool open_ = false;
    bool lowLatency_ = false;
    int lastOpenError_ = 0;
    std::string device_;
    SerialLineSettings settings_{0, 0, SerialLineSettings::Parity::None, SerialLineSettings::StopBits::One};
};
