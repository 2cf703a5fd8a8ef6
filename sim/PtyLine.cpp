#include "sim/PtyLine.h"
#include "sim/PtySpeed.h"
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
struct SpeedEntry {
    speed_t code;
    uint32_t baud;
};
constexpr SpeedEntry kSpeeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
    {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
};

uint32_t baudOf(speed_t code) {
    for (const SpeedEntry& e : kSpeeds)
        if (e.code == code)
            return e.baud;
    return 0;
}

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }
} // namespace

PtyLine::~PtyLine() { close(); }

bool PtyLine::open(const std::string& linkPath, std::string* error) {
    close();
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = errnoText("cannot create a pseudo-terminal");
        return false;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    master_ = master;
    slave_ = slave;
    slavePath_ = name;
    if (!linkPath.empty()) {
        struct stat st{};
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                if (error)
                    *error = linkPath + ": exists and is not a symbolic link";
                close();
                return false;
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
            if (error)
                *error = errnoText(linkPath);
            close();
            return false;
        }
        linkPath_ = linkPath;
    }
    return true;
}

void PtyLine::close() {
    if (!linkPath_.empty()) {
        // Remove the link only while it still points at our device.
        char target[256] = {};
        const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0 && slavePath_ == std::string(target, size_t(n)))
            ::unlink(linkPath_.c_str());
        linkPath_.clear();
    }
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
    slavePath_.clear();
}

LineSettings PtyLine::hostSettings() const {
    LineSettings s;
    termios tio{};
    if (master_ < 0 || ::tcgetattr(master_, &tio) != 0)
        return s;
    s.baud = baudOf(::cfgetospeed(&tio));
    if (s.baud == 0) // a rate outside the classic table (BOTHER): the driver keeps the number itself
        s.baud = terminalOutputBaud(master_);
    switch (tio.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
    }
    s.parity = !(tio.c_cflag & PARENB) ? LineSettings::Parity::None
               : (tio.c_cflag & PARODD) ? LineSettings::Parity::Odd
                                         : LineSettings::Parity::Even;
    s.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    return s;
}

size_t PtyLine::read(uint8_t* buffer, size_t capacity, LineSettings* sentWith) {
    if (master_ < 0)
        return 0;
    const ssize_t n = ::read(master_, buffer, capacity);
    if (n > 0 && sentWith)
        *sentWith = hostSettings();
    return n > 0 ? size_t(n) : 0;
}

bool PtyLine::write(uint8_t byte) {
    if (master_ < 0)
        return false;
    for (;;) {
        const ssize_t n = ::write(master_, &byte, 1);
        if (n == 1)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}
