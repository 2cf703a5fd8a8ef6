#include "link/SerialPort.h"

#include "link/Deadline.h"
#include "link/Termios2Speed.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct BaudEntry {
    int baud;
    speed_t speed;
};

constexpr std::array<BaudEntry, 22> kBaudTable{{
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600},
}};

constexpr int kMaxReadChunk = 1024;
constexpr int kMaxWriteChunk = 512;
// Least time a pseudo-terminal's far end is given to take the bytes written before a switch of
// the line settings.
constexpr int64_t kPtySwitchSettleUs = 20000;
// How long output may make no progress at all before the write gives up.
constexpr int kWriteStallMs = 3000;
// Unix98 pseudo-terminal slaves live on these major device numbers.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

bool speedFor(int baud, speed_t& speed) {
    for (const auto& entry : kBaudTable) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

int closeWith(int fd, int error) {
    ::close(fd);
    return error;
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { close(); }

std::map<std::string, std::string> SerialPort::defaultPortMap() {
    return {{"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"}, {"COM3", "/dev/ttyS2"}, {"COM4", "/dev/ttyS3"}};
}

std::string SerialPort::resolvePortName(const std::string& portName,
                                        const std::map<std::string, std::string>& map) {
    if (portName.empty() || portName.find('\0') != std::string::npos)
        return {};
    if (auto it = map.find(portName); it != map.end())
        return it->second;
    std::string upper = portName;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (auto it = map.find(upper); it != map.end())
        return it->second;
    if (portName.front() == '/')
        return portName;
    return {};
}

std::string portOpenHint(int error, const std::string& device) {
    if (error != EACCES && error != EPERM)
        return {};
    return "Permission denied on " + device +
           ": add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again";
}

std::string portOpenCause(int error, const std::string& device) {
    switch (error) {
    case 0:
        return {};
    case EBUSY:
        return device + " is in use by another program";
    case EACCES:
    case EPERM:
        return "permission denied on " + device;
    case ENOENT:
        return device.empty() || device.front() != '/' ? "no device is set for port " + device
                                                       : device + " does not exist";
    case ENOTTY:
        return device + " is not a serial port";
    case EINVAL:
        return device + " does not take the line settings";
    case ENXIO:
    case ENODEV:
        return device + " has no device behind it (unplugged?)";
    default:
        return device + ": " + std::strerror(error);
    }
}

int SerialPort::open(const std::string& modeText) {
    const int result = openDevice(modeText);
    // Results 1 and 2 of a malformed text are the text's own, not errno values; a well-formed
    // text's result is always the errno (EPERM and ENOENT are 1 and 2 as well).
    ModeText parsed;
    lastOpenError_ = parseModeText(modeText, parsed) == 0 ? result : 0;
    return result;
}

int SerialPort::openDevice(const std::string& modeText) {
    ModeText parsed;
    const int parseResult = parseModeText(modeText, parsed);
    const std::string resolved = resolvePortName(parsed.portName, ports);
    // An open object keeps its device and settings whatever the new text says.
    if (!open_)
        device_ = resolved.empty() ? parsed.portName : resolved;
    if (parseResult != 0)
        return parseResult;
    if (open_)
        return EBUSY;
    settings_ = parsed.settings;
    if (resolved.empty())
        return ENOENT;

    const int fd = ::open(resolved.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    if (!::isatty(fd))
        return closeWith(fd, ENOTTY);
    // TIOCEXCL does not stop a privileged process; the lock covers every opener.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return closeWith(fd, errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return closeWith(fd, errno);
    // A mode text names one of the classic rates; others are reached by switching the open port.
    speed_t speed = B0;
    if (!speedFor(static_cast<int>(settings_.baud), speed) || !validSettings(settings_))
        return closeWith(fd, EINVAL);
    if (const int error = applySettings(fd, settings_, true))
        return closeWith(fd, error);

    struct stat st {};
    pty_ = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= kPtySlaveMajorFirst &&
           major(st.st_rdev) <= kPtySlaveMajorLast;
    // Asked for, never required: a driver that refuses keeps its own latency.
    lowLatency_ = false;
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        lowLatency_ = ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
    fd_ = fd;
    open_ = true;
    // Purge what is pending. On a pseudo-terminal the output side is the far end's unread input,
    // i.e. bytes already "on the wire" after a drained write, so only input is purged there.
    ::tcflush(fd_, pty_ ? TCIFLUSH : TCIOFLUSH);
    return 0;
}

int SerialPort::applySettings(int fd, const SerialLineSettings& settings, bool makeRaw) {
    if (!validSettings(settings))
        return EINVAL;
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return errno;
    if (makeRaw) {
        ::cfmakeraw(&tio);
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    static constexpr tcflag_t kSizes[4] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[settings.dataBits - 5];
    if (settings.parity != SerialLineSettings::Parity::None) {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
        if (settings.parity == SerialLineSettings::Parity::Odd)
            tio.c_cflag |= PARODD;
    }
    if (settings.stopBits != SerialLineSettings::StopBits::One)
        tio.c_cflag |= CSTOPB;
    speed_t speed = B0;
    const bool classic = speedFor(static_cast<int>(settings.baud), speed);
    // A custom rate keeps the speed fields as they are here; termios2 sets it just after.
    if (classic && (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0))
        return errno;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;
    if (classic) {
        termios back{};
        if (::tcgetattr(fd, &back) != 0)
            return errno;
        if (::cfgetospeed(&back) == speed)
            return 0;
        // The driver replaced the code with the rate it could make: judged below like a custom one.
    } else if (const int error = setTermios2Speed(fd, settings.baud)) {
        return error == ENOTTY ? EINVAL : error;
    }
    // A UART driver sets the nearest rate its divisor allows and reports that one back.
    uint32_t inputBaud = 0, outputBaud = 0;
    if (const int error = readTermios2Speed(fd, &inputBaud, &outputBaud))
        return error;
    const double wanted = settings.baud;
    const auto near = [wanted](uint32_t got) { return std::fabs(double(got) - wanted) <= 0.02 * wanted; };
    return near(outputBaud) && (inputBaud == 0 || near(inputBaud)) ? 0 : EINVAL;
}

int SerialPort::setLineSettings(const SerialLineSettings& settings) {
    if (!open_)
        return EBADF;
    if (!validSettings(settings))
        return EINVAL;
    // A pseudo-terminal's far end takes the bytes it reads at the settings in force then, and on
    // a busy machine its thread may read them late: give it the last written characters at the
    // old settings first (two character times, and never less than a scheduler's time slice).
    if (pty_ && paceOnPseudoTerminal && settings_.baud > 0)
        Deadline(std::max(characterTime(2), std::chrono::microseconds(kPtySwitchSettleUs))).sleepUntil();
    const int error = applySettings(fd_, settings, false);
    if (error == 0) {
        settings_ = settings;
        return 0;
    }
    // Put back what was in force, so the port keeps working at the rate the target still uses.
    [[maybe_unused]] const int restored = applySettings(fd_, settings_, false);
    return error;
}

int SerialPort::setModemLine(ModemLine line, bool asserted) {
    if (!open_)
        return EBADF;
    int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    while (::ioctl(fd_, asserted ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

bool SerialPort::isOpen() const { return open_; }

bool SerialPort::lineStatus(int& queued) {
    queued = 0;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0 && errno != EINTR)
        return false;
    if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))
        return false;
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) != 0)
        return false;
    queued = count;
    return true;
}

void SerialPort::waitForInput() {
    const Deadline deadline = Deadline::afterMs(readWaitMs);
    for (;;) {
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, deadline.remainingMs());
        if (ready < 0 && errno == EINTR && !deadline.expired())
            continue;
        return;
    }
}

bool SerialPort::inputWithin(std::chrono::microseconds wait) {
    if (!open_)
        return false;
    const Deadline deadline(wait);
    for (;;) {
        int queued = 0;
        if (!lineStatus(queued))
            return false;
        if (queued > 0)
            return true;
        if (deadline.expired())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.remaining());
        const timespec slice{static_cast<time_t>(left.count() / 1000000000),
                             static_cast<long>(left.count() % 1000000000)};
        pollfd pfd{fd_, POLLIN, 0};
        if (::ppoll(&pfd, 1, &slice, nullptr) < 0 && errno != EINTR)
            return false;
    }
}

bool SerialPort::hasInput() {
    if (!open_)
        return false;
    int queued = 0;
    return lineStatus(queued) && queued > 0;
}

bool SerialPort::lineLost() {
    int queued = 0;
    return open_ && !lineStatus(queued);
}

int SerialPort::read(uint8_t* buffer, int count) {
    if (!open_ || buffer == nullptr || count <= 0)
        return 0;
    const int wanted = std::min(count, kMaxReadChunk);
    int queued = 0;
    if (!lineStatus(queued))
        return 0;
    if (queued == 0) {
        waitForInput();
        if (!lineStatus(queued) || queued == 0)
            return 0;
    }
    const int take = std::min(wanted, queued);
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(take));
        if (got < 0 && errno == EINTR)
            continue;
        return got > 0 ? static_cast<int>(got) : 0;
    }
}

int SerialPort::write(const uint8_t* buffer, int count) {
    if (!open_)
        return 1;
    if (count == 0)
        return 0;
    if (count < 0 || buffer == nullptr)
        return 1;
    const Deadline lineFree(pty_ && paceOnPseudoTerminal ? characterTime(count)
                                 : std::chrono::microseconds(0));
    int done = 0;
    while (done < count) {
        int queued = 0;
        if (!lineStatus(queued))
            return 1;
        const int chunk = std::min(count - done, kMaxWriteChunk);
        const ssize_t put = ::write(fd_, buffer + done, static_cast<size_t>(chunk));
        if (put > 0) {
            done += static_cast<int>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN) {
            // Output queue full: wait for room, but never forever.
            const Deadline stall = Deadline::afterMs(kWriteStallMs);
            int ready = 0;
            do {
                pollfd pfd{fd_, POLLOUT, 0};
                ready = ::poll(&pfd, 1, stall.remainingMs());
                if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
                    return 1;
            } while (ready < 0 && errno == EINTR && !stall.expired());
            if (ready <= 0)
                return 1;
            continue;
        }
        return 1;
    }
    while (::tcdrain(fd_) != 0) {
        if (errno != EINTR)
            return 1;
    }
    lineFree.sleepUntil();
    return 0;
}

void SerialPort::close() {
    if (fd_ >= 0) {
        // A pseudo-terminal's far end takes our last characters some time after their wire time
        // has passed; give it two more character times before the line may change its settings
        // (a download at 1200 baud is followed at once by a reopen at 9600).
        if (pty_ && paceOnPseudoTerminal && open_ && settings_.baud > 0)
            Deadline(characterTime(2)).sleepUntil();
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
    open_ = false;
    pty_ = false;
    lowLatency_ = false;
}
