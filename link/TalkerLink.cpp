#include "TalkerLink.h"

#include "SerialPort.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kTalkerFileSize = 257;
constexpr uint32_t kConfigRegister = 0x103F;
constexpr uint32_t kRomTalkerConfig = 0x1037;
constexpr uint8_t kBootJumpToEeprom = 0x00;

// The low 8 bits of a count as sent, and the number of bytes that count byte stands for.
uint8_t countByte(uint32_t count) { return static_cast<uint8_t>(count & 0xFF); }
int bytesFor(uint32_t count) { return (count & 0xFF) == 0 ? 256 : static_cast<int>(count & 0xFF); }

// Opens a file for reading only if it is a regular file; -1 otherwise.
int openRegularFile(const std::string& fileName) {
    if (fileName.empty() || fileName.find('\0') != std::string::npos)
        return -1;
    // Non-blocking, so that a FIFO does not hold the open until a writer comes.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool TalkerLink::sendByte(uint8_t byte) { return port_.write(&byte, 1) == 0; }

bool TalkerLink::receiveByte(uint8_t& byte) { return port_.read(&byte, 1) == 1; }

TalkerStatus TalkerLink::command(uint8_t cmd, TalkerStatus wrongEcho) {
    if (!sendByte(cmd))
        return kTalkerCommError;
    uint8_t echo = 0;
    if (!receiveByte(echo))
        return kTalkerNoResponse;
    if (echo != static_cast<uint8_t>(~cmd))
        return wrongEcho;
    return kTalkerOk;
}

TalkerStatus TalkerLink::sendCountAndAddress(uint32_t count, uint32_t address) {
    if (!sendByte(countByte(count)) || !sendByte(static_cast<uint8_t>(address >> 8)) ||
        !sendByte(static_cast<uint8_t>(address)))
        return kTalkerCommError;
    return kTalkerOk;
}

TalkerStatus TalkerLink::openPort(const std::string& modeText) {
    return port_.open(modeText) == 0 ? kTalkerOk : kTalkerPortOpenFailed;
}

void TalkerLink::closePort() { port_.close(); }

TalkerStatus TalkerLink::readMemory(uint32_t address, uint32_t count, uint8_t* buffer) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = command(TalkerCmd::kReadMemory, kTalkerBadEcho))
        return status;
    if (TalkerStatus status = sendCountAndAddress(count, address))
        return status;
    const int wanted = bytesFor(count);
    int have = 0;
    while (have < wanted) {
        const int got = port_.read(buffer + have, wanted - have);
        if (got <= 0)
            return kTalkerCommError;
        have += got;
    }
    return kTalkerOk;
}

TalkerStatus TalkerLink::writeMemory(uint32_t address, uint32_t count, const uint8_t* data) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = command(TalkerCmd::kWriteMemory, kTalkerBadEcho))
        return status;
    if (TalkerStatus status = sendCountAndAddress(count, address))
        return status;
    const int n = bytesFor(count);
    if (port_.write(data, n) != 0)
        return kTalkerCommError;
    std::array<uint8_t, 256> readBack{};
    if (TalkerStatus status = readMemory(address, count, readBack.data()))
        return status;
    for (int i = 0; i < n; ++i) {
        if (readBack[static_cast<size_t>(i)] != data[i])
            return kTalkerBadEcho;
    }
    return kTalkerOk;
}

bool TalkerLink::receiveWord(uint32_t& field) {
    // A 16-bit field holds its high byte x 256 until the low byte arrives.
    uint8_t byte = 0;
    if (!receiveByte(byte))
        return false;
    field = static_cast<uint32_t>(byte) << 8;
    if (!receiveByte(byte))
        return false;
    field |= byte;
    return true;
}

bool TalkerLink::receiveField(uint8_t& field) {
    uint8_t byte = 0;
    if (!receiveByte(byte))
        return false;
    field = byte;
    return true;
}

TalkerStatus TalkerLink::readRegisters(uint32_t& SP, uint8_t& CCR, uint8_t& B, uint8_t& A,
                                       uint32_t& X, uint32_t& Y, uint32_t& PC) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = command(TalkerCmd::kReadRegisters, kTalkerBadEcho))
        return status;
    if (!receiveWord(SP) || !receiveField(CCR) || !receiveField(B) || !receiveField(A) ||
        !receiveWord(X) || !receiveWord(Y) || !receiveWord(PC))
        return kTalkerNoResponse;
    return kTalkerOk;
}

TalkerStatus TalkerLink::writeRegisters(uint32_t SP, uint8_t CCR, uint8_t B, uint8_t A, uint32_t X,
                                        uint32_t Y, uint32_t PC) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = command(TalkerCmd::kWriteRegisters, kTalkerRegisterWriteFailed))
        return status;
    const std::array<uint8_t, 11> frame{
        static_cast<uint8_t>(SP >> 8), static_cast<uint8_t>(SP), CCR, B, A,
        static_cast<uint8_t>(X >> 8),  static_cast<uint8_t>(X),  static_cast<uint8_t>(Y >> 8),
        static_cast<uint8_t>(Y),       static_cast<uint8_t>(PC >> 8), static_cast<uint8_t>(PC)};
    for (uint8_t byte : frame) {
        if (!sendByte(byte))
            return kTalkerCommError;
    }
    return kTalkerOk;
}

bool TalkerLink::pollSwi() {
    if (!port_.hasInput())
        return false;
    uint8_t byte = 0;
    return port_.read(&byte, 1) == 1 && byte == TalkerCmd::kSwiReport;
}

TalkerStatus TalkerLink::confirmSwi(uint32_t& PC, uint32_t& SP, uint8_t& CCR, uint8_t& B,
                                    uint8_t& A, uint32_t& X, uint32_t& Y) {
    if (!sendByte(TalkerCmd::kSwiConfirm))
        return kTalkerCommError;
    uint8_t ignored = 0;
    if (!receiveField(ignored))
        return kTalkerNoResponse;
    if (!receiveWord(PC))
        return kTalkerNoResponse;
    // The talker reports the address after the SWI; the caller wants the SWI itself.
    PC = (PC - 1) & 0xFFFF;
    if (!receiveWord(SP) || !receiveField(CCR) || !receiveField(B) || !receiveField(A) ||
        !receiveWord(X) || !receiveWord(Y) || !receiveField(ignored) || !receiveField(ignored))
        return kTalkerNoResponse;
    return kTalkerOk;
}

TalkerStatus TalkerLink::resetTarget() {
    struct ResetStep {
        uint32_t address;
        uint8_t value;
    };
    // JMP $0000 at the RAM pseudo-vector, then clock monitor on and forced to fail.
    static constexpr std::array<ResetStep, 4> kPrepare{{
        {0x00FD, 0x7E}, {0x00FE, 0x00}, {0x00FF, 0x00}, {0x1039, 0x08}}};
    for (const auto& step : kPrepare) {
        if (TalkerStatus status = writeMemory(step.address, 1, &step.value))
            return status;
    }
    const uint8_t forceClockFailure = 0x04;
    // The reset cuts the talker off before it can answer the read-back: a failure is success.
    return writeMemory(0x103E, 1, &forceClockFailure) != kTalkerOk ? kTalkerOk : kTalkerResetFailed;
}

TalkerStatus TalkerLink::reopenAndReadConfig(const std::string& portName, uint32_t configAddress) {
    closePort();
    if (TalkerStatus status = openPort(portName + ":9600,n,8,1"))
        return status;
    uint8_t config = 0;
    if (TalkerStatus status = readMemory(configAddress, 1, &config))
        return status;
    eepromEnabled = config & 0x01;
    return kTalkerOk;
}

TalkerStatus TalkerLink::openForBootLoader(const std::string& portName) {
    // Closed first: reopening a port this object holds would be refused.
    if (port_.isOpen())
        closePort();
    return openPort(portName + ":1200,n,8,1");
}

TalkerStatus TalkerLink::bootRamTalker(const std::string& portName, const std::string& fileName) {
    if (TalkerStatus status = openForBootLoader(portName))
        return status;

    const int fd = openRegularFile(fileName);
    if (fd < 0)
        return kTalkerFileOpenFailed;
    std::array<uint8_t, kTalkerFileSize> image{};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size != kTalkerFileSize) {
        ::close(fd);
        return kTalkerFileInvalid;
    }
    size_t have = 0;
    while (have < image.size()) {
        const ssize_t got = ::read(fd, image.data() + have, image.size() - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        have += static_cast<size_t>(got);
    }
    ::close(fd);
    if (have != image.size())
        return kTalkerFileReadFailed;

    if (port_.write(image.data(), kTalkerFileSize) != 0)
        return kTalkerCommError;
    return reopenAndReadConfig(portName, kConfigRegister);
}

TalkerStatus TalkerLink::bootRomTalker(const std::string& portName, const std::string& fileName) {
    if (TalkerStatus status = openForBootLoader(portName))
        return status;
    const int fd = openRegularFile(fileName);
    if (fd < 0)
        return kTalkerMapFileFailed;
    ::close(fd);
    if (!sendByte(kBootJumpToEeprom))
        return kTalkerCommError;
    return reopenAndReadConfig(portName, kRomTalkerConfig);
}
