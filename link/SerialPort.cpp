#include "link/SerialPort.h"

#include "link/Deadline.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
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
// How long output may make no progress at all before the write gives up.
constexpr int kWriteStallMs = 3000;
// Unix98 pseudo-terminal slaves live on these major device numbers.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

// Leading decimal digits of a field (after optional blanks), like atoi but without overflow.
int decimalField(const std::string& field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t'))
        ++i;
    long value = 0;
    for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > 100000000)
            return -1;
    }
    return static_cast<int>(value);
}

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

int SerialPort::open(const std::string& modeText) {
    const int result = openDevice(modeText);
    // Results 1 and 2 are the mode text's own; EPERM is 1 too, so they must not look like errno.
    lastOpenError_ = result == 1 || result == 2 ? 0 : result;
    return result;
}

int SerialPort::openDevice(const std::string& modeText) {
    const size_t firstComma = modeText.find(',');
    const size_t colon = modeText.rfind(':', firstComma);
    const std::string portName = colon == std::string::npos ? modeText : modeText.substr(0, colon);
    const std::string resolved = resolvePortName(portName, ports);
    // An open object keeps its device and settings whatever the new text says.
    if (!open_)
        device_ = resolved.empty() ? portName : resolved;
    if (colon == std::string::npos)
        return 2;

    const size_t baudEnd = modeText.find(',', colon + 1);
    if (baudEnd == std::string::npos)
        return 2;
    const int baud = decimalField(modeText.substr(colon + 1, baudEnd - colon - 1));

    const size_t parityEnd = modeText.find(',', baudEnd + 1);
    if (parityEnd == std::string::npos)
        return 2;
    int parity = 0;
    switch (modeText[baudEnd + 1]) { // the ',' itself when the field is empty
    case 'N': case 'n': parity = 0; break;
    case 'O': case 'o': parity = 1; break;
    case 'E': case 'e': parity = 2; break;
    default: return 1;
    }

    const size_t dataEnd = modeText.find(',', parityEnd + 1);
    if (dataEnd == std::string::npos)
        return 2;
    const int dataBits = decimalField(modeText.substr(parityEnd + 1, dataEnd - parityEnd - 1));

    const std::string stopField = modeText.substr(dataEnd + 1);
    int stopBits = 0;
    if (stopField == "1")
        stopBits = 0;
    else if (stopField == "1.5")
        stopBits = 1;
    else if (stopField == "2")
        stopBits = 2;
    else
        return 1;

    if (open_)
        return EBUSY;
    baud_ = baud;
    dataBits_ = dataBits;
    parity_ = parity;
    stopBits_ = stopBits;
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

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return closeWith(fd, errno);
    speed_t speed = B0;
    if (!speedFor(baud, speed) || dataBits < 5 || dataBits > 8)
        return closeWith(fd, EINVAL);
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[4] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dataBits - 5];
    if (parity != 0) {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
        if (parity == 1)
            tio.c_cflag |= PARODD;
    }
    if (stopBits != 0)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        return closeWith(fd, errno);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return closeWith(fd, errno);

    struct stat st {};
    pty_ = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= kPtySlaveMajorFirst &&
           major(st.st_rdev) <= kPtySlaveMajorLast;
    fd_ = fd;
    open_ = true;
    // Purge what is pending. On a pseudo-terminal the output side is the far end's unread input,
    // i.e. bytes already "on the wire" after a drained write, so only input is purged there.
    ::tcflush(fd_, pty_ ? TCIFLUSH : TCIOFLUSH);
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

int SerialPort::bitsPerCharacter() const {
    return 1 + dataBits_ + (parity_ != 0 ? 1 : 0) + (stopBits_ == 0 ? 1 : 2);
}

std::chrono::microseconds SerialPort::characterTime(int count) const {
    return baud_ > 0 ? Deadline::wireTime(count, bitsPerCharacter(), baud_) : std::chrono::microseconds(0);
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
    const Deadline lineFree(pty_ && paceOnPseudoTerminal ? Deadline::wireTime(count, bitsPerCharacter(), baud_)
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
        if (pty_ && paceOnPseudoTerminal && open_ && baud_ > 0)
            Deadline(Deadline::wireTime(2, bitsPerCharacter(), baud_)).sleepUntil();
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
    open_ = false;
    pty_ = false;
}
