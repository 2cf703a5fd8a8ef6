#include "LineClient.h"
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
speed_t speedCode(int baud) {
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    default: return B0;
    }
}
} // namespace

bool LineClient::open(const std::string& path, int baud, int dataBits, bool parity) {
    close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    if (!setSettings(baud, dataBits, parity)) {
        close();
        return false;
    }
    ::tcflush(fd_, TCIFLUSH);
    return true;
}

bool LineClient::setSettings(int baud, int dataBits, bool parity) {
    termios tio{};
    if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= CLOCAL | CREAD | (dataBits == 7 ? CS7 : CS8) | (parity ? PARENB : 0);
    ::cfsetispeed(&tio, speedCode(baud));
    ::cfsetospeed(&tio, speedCode(baud));
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
}

void LineClient::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool LineClient::write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> LineClient::read(size_t n, int timeoutMs) {
    std::vector<uint8_t> out;
    while (out.size() < n) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        uint8_t buffer[512];
        const ssize_t got = ::read(fd_, buffer, std::min(sizeof buffer, n - out.size()));
        if (got <= 0)
            break;
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

void LineClient::drain(int settleMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    ::tcflush(fd_, TCIFLUSH);
}

bool BoardProcess::start(const std::string& linkPath, const std::vector<std::string>& extraArgs) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return false;
    std::vector<std::string> args{BOARD_PROGRAM, "--link", linkPath};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid_ < 0) {
        ::close(pipeFds[0]);
        return false;
    }
    std::string line;
    char c;
    pollfd p{pipeFds[0], POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(pipeFds[0]);
    if (line.rfind("ready ", 0) != 0)
        return false;
    device_ = line.substr(6);
    return true;
}

void BoardProcess::signal(int sig) {
    if (pid_ > 0)
        ::kill(pid_, sig);
}

int BoardProcess::stop() {
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
}
