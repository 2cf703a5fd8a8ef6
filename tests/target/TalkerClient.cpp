#include "TalkerClient.h"
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kDeadlineMs = 5000; // far beyond any reply of a working board
}

TalkerClient::~TalkerClient() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TalkerClient::open(const std::string& device) {
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return fd_ >= 0 && setBaud(1200);
}

bool TalkerClient::setBaud(unsigned baud) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return false;
    ::cfmakeraw(&t);
    t.c_cflag = (t.c_cflag | CLOCAL | CREAD) & ~(CSTOPB | PARENB);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = baud == 1200 ? B1200 : B9600;
    return ::cfsetispeed(&t, speed) == 0 && ::cfsetospeed(&t, speed) == 0 && ::tcsetattr(fd_, TCSANOW, &t) == 0;
}

bool TalkerClient::send(const Bytes& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        pollfd p{fd_, POLLOUT, 0};
        if (n > 0)
            done += size_t(n);
        else if (::poll(&p, 1, kDeadlineMs) <= 0)
            return false;
    }
    return true;
}

Bytes TalkerClient::receive(size_t n) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (out.size() < n) {
        uint8_t buffer[512];
        ssize_t got = ::read(fd_, buffer, std::min(sizeof buffer, n - out.size()));
        if (got > 0) {
            out.insert(out.end(), buffer, buffer + got);
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, int(left.count()));
    }
    return out;
}

bool TalkerClient::boot(const Bytes& talkerFile) {
    // Reading every echo also makes sure the board took the download before the rate changes.
    const Bytes image(talkerFile.begin() + 1, talkerFile.end());
    EXPECT_EQ(talkerFile.size(), 257u);
    return send(talkerFile) && receive(image.size()) == image && setBaud(9600);
}

bool TalkerClient::command(uint8_t cmd) {
    const bool ok = send({cmd}) && receive(1) == Bytes{uint8_t(~cmd)};
    EXPECT_TRUE(ok) << "no echo or a wrong one to $" << std::hex << int(cmd);
    return ok;
}

bool TalkerClient::readMemory(uint16_t address, uint8_t count, Bytes* out) {
    if (!command(0x01) || !send({count, uint8_t(address >> 8), uint8_t(address)}))
        return false;
    *out = receive(count ? count : 256);
    return out->size() == (count ? count : 256u);
}

bool TalkerClient::writeMemory(uint16_t address, const Bytes& data) {
    return command(0x41) && send({uint8_t(data.size()), uint8_t(address >> 8), uint8_t(address)}) && send(data);
}

bool TalkerClient::readRegisters(WireFrame* f) {
    Bytes r;
    if (!command(0x81) || (r = receive(11)).size() != 11)
        return false;
    *f = {uint16_t(r[0] << 8 | r[1]), r[2], r[3], r[4], uint16_t(r[5] << 8 | r[6]), uint16_t(r[7] << 8 | r[8]),
          uint16_t(r[9] << 8 | r[10])};
    return true;
}

bool TalkerClient::writeRegisters(const WireFrame& f) {
    return command(0xC1) && send({uint8_t(f.sp >> 8), uint8_t(f.sp), f.ccr, f.b, f.a, uint8_t(f.x >> 8),
                                  uint8_t(f.x), uint8_t(f.y >> 8), uint8_t(f.y), uint8_t(f.pc >> 8), uint8_t(f.pc)});
}

bool TalkerClient::awaitStop(Bytes* reply) {
    const bool j = receive(1) == Bytes{0x4A};
    EXPECT_TRUE(j) << "no \"J\" from the talker";
    return j && send({0xB5}) && (*reply = receive(14)).size() == 14;
}

Bytes readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, uint16_t> readSymbolMap(const std::string& path) {
    std::map<std::string, uint16_t> symbols;
    std::ifstream in(path);
    std::string value, type, name;
    while (in >> value >> type >> name)
        symbols[name] = uint16_t(std::stoul(value, nullptr, 16));
    return symbols;
}

std::vector<std::pair<uint16_t, Bytes>> readS1Records(const std::string& path) {
    std::vector<std::pair<uint16_t, Bytes>> records;
    std::ifstream in(path);
    std::string line;
    auto hex = [&line](size_t at) { return uint8_t(std::stoul(line.substr(at, 2), nullptr, 16)); };
    while (std::getline(in, line)) {
        if (line.rfind("S1", 0) != 0)
            continue;
        Bytes data;
        for (size_t i = 0; i + 3 < hex(2); ++i)
            data.push_back(hex(8 + 2 * i));
        records.emplace_back(uint16_t(hex(4) << 8 | hex(6)), data);
    }
    return records;
}
