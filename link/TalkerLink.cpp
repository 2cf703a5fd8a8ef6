#include "link/TalkerLink.h"

#include "link/ByteChannel.h"
#include "link/Deadline.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The sync byte and the image of an A-series download: the loader takes exactly 256 bytes.
constexpr int kTalkerFileSize = 257;
// How many character times at the boot rate a download shorter than RAM is followed by silence.
constexpr int kLoaderIdleCharacters = 8;
constexpr uint32_t kConfigRegister = 0x103F;
constexpr uint32_t kRomTalkerConfig = 0x1037;
constexpr uint8_t kBootJumpToEeprom = 0x00;
// A reply is taken as ended when no stray byte follows within this many character times.
constexpr int kSettleCharacters = 2;
// Most bytes one sweep takes off the line before the command goes out anyway.
constexpr int kMaxSweepBytes = 4096;

// The low 8 bits of a count as sent, and the number of bytes that count byte stands for.
uint8_t countByte(uint32_t count) { return static_cast<uint8_t>(count & 0xFF); }
int bytesFor(uint32_t count) { return (count & 0xFF) == 0 ? 256 : static_cast<int>(count & 0xFF); }

// Whether a talker file of this many bytes (the sync byte and the image) is a download the chip's
// boot loader takes whole: exactly 256 bytes, or up to its RAM for a loader that stops when the
// line idles (at least one byte: a lone $FF would start the RAM's old contents).
bool talkerFileSizeFits(const ChipVariant& chip, off_t size) {
    if (chip.bootRule == BootRule::Exactly256)
        return size == kTalkerFileSize;
    return size >= 2 && size <= 1 + off_t(bootLoadLimit(chip));
}

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

TalkerStatus TalkerLink::passGate() {
    if (!gate_ || inGate_)
        return kTalkerOk;
    inGate_ = true;
    const TalkerStatus status = gate_();
    inGate_ = false;
    return status;
}

bool TalkerLink::sendByte(uint8_t byte) { return port_.write(&byte, 1) == 0; }

bool TalkerLink::receiveByte(uint8_t& byte) { return port_.read(&byte, 1) == 1; }

void TalkerLink::forgetLineState() {
    swiPending_ = false;
    strayBeforeCommand_ = false;
}

bool TalkerLink::sweepQueuedInput() {
    std::array<uint8_t, 64> bytes{};
    int taken = 0;
    // Bounded, so that a line that never stops babbling cannot hold the host here.
    while (taken < kMaxSweepBytes && port_.hasInput()) {
        const int got = port_.read(bytes.data(), static_cast<int>(bytes.size()));
        if (got <= 0)
            break;
        taken += got;
        if (std::find(bytes.begin(), bytes.begin() + got, TalkerCmd::kSwiReport) != bytes.begin() + got)
            swiPending_ = true;
    }
    return taken > 0;
}

TalkerStatus TalkerLink::command(uint8_t cmd, TalkerStatus wrongEcho, bool& stray) {
    if (checked_)
        return checkedCommand(cmd, wrongEcho, stray);
    if (sweepQueuedInput())
        stray = true;
    if (!sendByte(cmd))
        return kTalkerCommError;
    const auto echo = static_cast<uint8_t>(~cmd);
    bool hitSeen = false;
    bool straySeen = false;
    uint8_t strayByte = 0;
    for (;;) {
        uint8_t byte = 0;
        if (!receiveByte(byte)) {
            // No echo, or a damaged one: the talker may be inside a command, waiting for the rest
            // of it, and would take the next command's bytes as that rest.
            finishUnwantedCommand(straySeen ? strayByte : echo, cmd);
            if (!straySeen && !hitSeen && answersAtRestartRate(cmd, wrongEcho, stray))
                return kTalkerOk;
            return straySeen ? wrongEcho : kTalkerNoResponse;
        }
        if (byte == echo)
            return kTalkerOk;
        // No command's echo is "J": the complement of "J" ($B5) has no echo.
        if (byte == TalkerCmd::kSwiReport && !hitSeen) {
            hitSeen = true;
            swiPending_ = true;
        } else if (!straySeen) {
            straySeen = true;
            strayByte = byte;
        } else {
            finishUnwantedCommand(strayByte, cmd);
            return wrongEcho;
        }
        stray = true;
    }
}

bool TalkerLink::answersAtRestartRate(uint8_t cmd, TalkerStatus wrongEcho, bool& stray) {
    const uint32_t fast = port_.lineSettings().baud;
    if (restartBaud == 0 || fast == restartBaud || resetting_ || port_.setBaud(restartBaud) != 0)
        return false;
    bool again = false;
    if (command(cmd, wrongEcho, again) == kTalkerOk) {
        stray = stray || again;
        return true;
    }
    (void)port_.setBaud(fast);
    return false;
}

void TalkerLink::finishUnwantedCommand(uint8_t echoSeen, uint8_t sent) {
    if (resetting_)
        return;
    // The command the talker is in: the one whose echo came (a damaged byte turned ours into
    // another), else ours (its echo was damaged or lost on the way back). It is finished with
    // bytes that change nothing, and that a talker waiting for a command drops as unknown: no
    // byte below has the low six bits 000001 of a command.
    const auto other = static_cast<uint8_t>(~echoSeen);
    const bool known = other == TalkerCmd::kReadMemory || other == TalkerCmd::kWriteMemory ||
                       other == TalkerCmd::kReadRegisters || other == TalkerCmd::kWriteRegisters;
    const uint8_t inside = known ? other : sent;
    if (inside == TalkerCmd::kReadMemory) {
        static constexpr uint8_t readTwo[] = {0x02, 0x00, 0x02}; // two bytes of the talker's own RAM
        (void)port_.write(readTwo, sizeof readTwo);
    } else if (inside == TalkerCmd::kWriteMemory) {
        // Two zeros into COPRST (ignored unless $55 then $AA) and PPROG (no programming under way
        // between commands).
        static constexpr uint8_t writeTwo[] = {0x02, 0x10, 0x3A, 0x00, 0x00};
        (void)port_.write(writeTwo, sizeof writeTwo);
    } else if (inside != TalkerCmd::kReadRegisters) {
        return; // a register write cannot be finished without a frame: left as it is
    }
    // Whatever the finished command answers, and anything else on its way, is dropped.
    while (port_.inputWithin(port_.characterTime(kSettleCharacters))) {
        uint8_t byte = 0;
        if (port_.read(&byte, 1) != 1)
            break;
        if (byte == TalkerCmd::kSwiReport)
            swiPending_ = true;
    }
}

bool TalkerLink::replyEndsClean(ReplyEnd end) {
    if (end == ReplyEnd::Settled)
        return !port_.inputWithin(port_.characterTime(kSettleCharacters));
    return !port_.hasInput();
}

TalkerStatus TalkerLink::sendCountAndAddress(uint32_t count, uint32_t address) {
    if (!sendByte(countByte(count)) || !sendByte(static_cast<uint8_t>(address >> 8)) ||
        !sendByte(static_cast<uint8_t>(address)))
        return kTalkerCommError;
    return kTalkerOk;
}

TalkerStatus TalkerLink::openPort(const std::string& modeText) {
    forgetLineState();
    if (port_.open(modeText) != 0)
        return kTalkerPortOpenFailed;
    // The driver asserted DTR and RTS with the open: a reset line goes back to idle at once.
    (void)holdResetIdle(port_, resetPulse);
    return kTalkerOk;
}

void TalkerLink::closePort() {
    forgetLineState();
    port_.close();
}

TalkerStatus TalkerLink::readOnce(uint32_t address, uint32_t count, uint8_t* buffer, ReplyEnd end,
                                  bool& stray, bool& overran) {
    overran = false;
    if (TalkerStatus status = command(TalkerCmd::kReadMemory, kTalkerBadEcho, stray))
        return status;
    if (checked_) {
        const uint8_t args[3] = {countByte(count), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        if (!checkedArguments(args, 3, false)) {
            overran = true; // read again
            return kTalkerOk;
        }
    } else if (TalkerStatus status = sendCountAndAddress(count, address)) {
        return status;
    }
    const int wanted = bytesFor(count);
    int have = 0;
    while (have < wanted) {
        const int got = port_.read(buffer + have, wanted - have);
        if (got <= 0)
            return kTalkerCommError;
        have += got;
    }
    overran = !replyEndsClean(end);
    return kTalkerOk;
}

TalkerStatus TalkerLink::readChecked(uint32_t address, uint32_t count, uint8_t* buffer, ReplyEnd end,
                                     bool& stray) {
    bool overran = false;
    if (TalkerStatus status = readOnce(address, count, buffer, end, stray, overran); status || !overran)
        return status;
    // The sweep before the repeat takes the stray bytes off the line.
    bool repeatStray = false;
    if (TalkerStatus status = readOnce(address, count, buffer, end, repeatStray, overran))
        return status;
    return overran ? kTalkerBadEcho : kTalkerOk;
}

TalkerStatus TalkerLink::readMemory(uint32_t address, uint32_t count, uint8_t* buffer, ReplyEnd end) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = passGate())
        return status;
    bool stray = false;
    const TalkerStatus status = readChecked(address, count, buffer, end, stray);
    strayBeforeCommand_ = stray;
    return status;
}

TalkerStatus TalkerLink::writeMemory(uint32_t address, uint32_t count, const uint8_t* data) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = passGate())
        return status;
    const int n = bytesFor(count);
    // In checked mode a read-back that differs after the talker was found out of step (the
    // write's data seemed complete to the host, but the talker took the read's command as its
    // last byte, say) means the write itself went wrong: it is done again.
    for (int attempt = 0;; ++attempt) {
        bool stray = false;
        if (checked_) {
            const TalkerStatus status = writeMemoryChecked(address, count, data, stray);
            strayBeforeCommand_ = stray;
            if (status)
                return status;
            // A write that resets the chip is not read back (see resetTarget).
            if (resetting_)
                return kTalkerNoResponse;
        } else {
            const TalkerStatus status = command(TalkerCmd::kWriteMemory, kTalkerBadEcho, stray);
            strayBeforeCommand_ = stray;
            if (status)
                return status;
            if (TalkerStatus sent = sendCountAndAddress(count, address))
                return sent;
            if (port_.write(data, n) != 0)
                return kTalkerCommError;
        }
        // A stray byte before the read-back belongs to this write's own echo: the read-back decides.
        std::array<uint8_t, 256> readBack{};
        bool readBackStray = false;
        if (TalkerStatus read = readChecked(address, count, readBack.data(), ReplyEnd::Queued, readBackStray))
            return read;
        if (std::equal(data, data + n, readBack.begin()))
            return kTalkerOk;
        if (!checked_ || !readBackStray || attempt == 2)
            return kTalkerBadEcho;
    }
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

TalkerStatus TalkerLink::readRegistersOnce(Registers& r, bool& stray, bool& overran) {
    overran = false;
    if (TalkerStatus status = command(TalkerCmd::kReadRegisters, kTalkerBadEcho, stray))
        return status;
    if (!receiveWord(r.SP) || !receiveField(r.CCR) || !receiveField(r.B) || !receiveField(r.A) ||
        !receiveWord(r.X) || !receiveWord(r.Y) || !receiveWord(r.PC))
        return kTalkerNoResponse;
    overran = !replyEndsClean(ReplyEnd::Settled);
    return kTalkerOk;
}

TalkerStatus TalkerLink::readRegisters(Registers& registers) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = passGate())
        return status;
    bool stray = false;
    bool overran = false;
    TalkerStatus status = readRegistersOnce(registers, stray, overran);
    strayBeforeCommand_ = stray;
    if (status || !overran)
        return status;
    bool repeatStray = false;
    if ((status = readRegistersOnce(registers, repeatStray, overran)))
        return status;
    return overran ? kTalkerBadEcho : kTalkerOk;
}

TalkerStatus TalkerLink::writeRegisters(const Registers& r) {
    if (!port_.isOpen())
        return kTalkerPortNotOpen;
    if (TalkerStatus status = passGate())
        return status;
    bool stray = false;
    if (checked_) {
        const TalkerStatus status = writeRegistersChecked(r, stray);
        strayBeforeCommand_ = stray;
        return status;
    }
    const TalkerStatus status = command(TalkerCmd::kWriteRegisters, kTalkerRegisterWriteFailed, stray);
    strayBeforeCommand_ = stray;
    if (status)
        return status;
    for (uint8_t byte : frameBytes(r)) {
        if (!sendByte(byte))
            return kTalkerCommError;
    }
    return kTalkerOk;
}

std::array<uint8_t, 11> TalkerLink::frameBytes(const Registers& r) {
    return {static_cast<uint8_t>(r.SP >> 8), static_cast<uint8_t>(r.SP), r.CCR, r.B, r.A,
            static_cast<uint8_t>(r.X >> 8),  static_cast<uint8_t>(r.X),  static_cast<uint8_t>(r.Y >> 8),
            static_cast<uint8_t>(r.Y),       static_cast<uint8_t>(r.PC >> 8), static_cast<uint8_t>(r.PC)};
}

bool TalkerLink::finishRegisterWrite(const Registers& r, TalkerStatus failure) {
    // A checked register write has finished or refused its frame itself.
    if (checked_ || (failure != kTalkerNoResponse && failure != kTalkerRegisterWriteFailed))
        return false;
    const std::array<uint8_t, 11> bytes = frameBytes(r);
    // The echo that went missing or came damaged was most likely the talker's answer to our
    // command, and the talker then waits for these bytes. Had the command itself been lost on its
    // way, an idle talker would read them as commands: a read or a register read only answers
    // (the next command sweeps that away), but a memory or register write would store the bytes
    // after it. Those frames are not sent; nor one that ends inside a read's arguments.
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t b = bytes[i];
        if (b == TalkerCmd::kWriteMemory || b == TalkerCmd::kWriteRegisters)
            return false;
        if (b == TalkerCmd::kReadMemory) {
            if (i + 3 >= bytes.size())
                return false;
            i += 3;
        }
    }
    return port_.write(bytes.data(), static_cast<int>(bytes.size())) == 0;
}

bool TalkerLink::pollSwi() {
    if (swiPending_) {
        swiPending_ = false;
        return true;
    }
    if (!port_.hasInput())
        return false;
    uint8_t byte = 0;
    return port_.read(&byte, 1) == 1 && byte == TalkerCmd::kSwiReport;
}

TalkerStatus TalkerLink::confirmSwiOnce(Registers& r, bool& stray, bool& overran) {
    overran = false;
    // Only what was queued before $B5 is swept: the reply, whose first byte may well be $4A,
    // is read as it comes and never taken for a "J".
    if (checked_) {
        if (TalkerStatus status = checkedCommand(TalkerCmd::kSwiConfirm, kTalkerBadEcho, stray))
            return status;
    } else {
        if (sweepQueuedInput())
            stray = true;
        if (!sendByte(TalkerCmd::kSwiConfirm))
            return kTalkerCommError;
    }
    uint8_t ignored = 0;
    if (!receiveField(ignored))
        return kTalkerNoResponse;
    if (!receiveWord(r.PC))
        return kTalkerNoResponse;
    // The talker reports the address after the SWI; the caller wants the SWI itself.
    r.PC = (r.PC - 1) & 0xFFFF;
    if (!receiveWord(r.SP) || !receiveField(r.CCR) || !receiveField(r.B) || !receiveField(r.A) ||
        !receiveWord(r.X) || !receiveWord(r.Y) || !receiveField(ignored) || !receiveField(ignored))
        return kTalkerNoResponse;
    overran = !replyEndsClean(ReplyEnd::Settled);
    return kTalkerOk;
}

TalkerStatus TalkerLink::confirmSwi(Registers& registers) {
    if (TalkerStatus status = passGate())
        return status;
    bool stray = false;
    bool overran = false;
    TalkerStatus status = confirmSwiOnce(registers, stray, overran);
    strayBeforeCommand_ = stray;
    if (status == kTalkerOk && overran) {
        bool repeatStray = false;
        status = confirmSwiOnce(registers, repeatStray, overran);
        if (status == kTalkerOk && overran)
            status = kTalkerBadEcho;
    }
    // Whatever the outcome, the stop being confirmed is the one any pending hit stood for.
    swiPending_ = false;
    return status;
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
    // The reset cuts the talker off before it can answer the read-back: a failure is success,
    // and the chip restarting is in no command to finish.
    resetting_ = true;
    const TalkerStatus status = writeMemory(0x103E, 1, &forceClockFailure);
    resetting_ = false;
    if (status == kTalkerOk)
        return kTalkerResetFailed;
    // The talker starts again at its own rate, whatever rate the line had been switched to.
    if (port_.lineSettings().baud != rates.talker && port_.setBaud(rates.talker) != 0)
        return kTalkerCommError;
    return kTalkerOk;
}

TalkerStatus TalkerLink::reopenAndReadConfig(const std::string& portName, uint32_t configAddress) {
    if (resetPulse.line != ResetLine::None && port_.isOpen()) {
        forgetLineState();
        if (port_.setBaud(rates.talker) != 0)
            return kTalkerPortOpenFailed;
    } else {
        closePort();
        if (TalkerStatus status = openPort(portName + ":9600,n,8,1"))
            return status;
        // A mode text names only classic rates; any other is set on the open port.
        if (rates.talker != 9600 && port_.setBaud(rates.talker) != 0)
            return kTalkerPortOpenFailed;
    }
    uint8_t config = 0;
    if (TalkerStatus status = readConfigTellingMode(configAddress, config))
        return status;
    configByte = config;
    eepromEnabled = config & 0x01;
    return kTalkerOk;
}

TalkerStatus TalkerLink::readConfigTellingMode(uint32_t configAddress, uint8_t& config) {
    // The first command tells the mode: a talker in checked mode answers $01 with $01, then $FE;
    // a plain one answers $FE, and meets exactly the plain read.
    sweepQueuedInput();
    if (!sendByte(TalkerCmd::kReadMemory))
        return kTalkerCommError;
    uint8_t first = 0, second = 0;
    if (receiveByte(first) && first == TalkerCmd::kReadMemory && receiveByte(second) &&
        second == static_cast<uint8_t>(~TalkerCmd::kReadMemory)) {
        checked_ = true;
        const uint8_t args[3] = {1, static_cast<uint8_t>(configAddress >> 8), static_cast<uint8_t>(configAddress)};
        if (checkedArguments(args, 3, false) && receiveByte(config) && replyEndsClean(ReplyEnd::Settled))
            return kTalkerOk;
        return readMemory(configAddress, 1, &config, ReplyEnd::Settled);
    }
    const bool wasChecked = checked_;
    checked_ = false;
    if (first == static_cast<uint8_t>(~TalkerCmd::kReadMemory)) {
        if (TalkerStatus status = sendCountAndAddress(1, configAddress))
            return status;
        if (receiveByte(config) && replyEndsClean(ReplyEnd::Queued))
            return kTalkerOk;
    } else if (wasChecked) {
        // No answer that tells: whatever the talker is in is finished the checked way (it was
        // booted in checked mode), then the read is done again.
        checked_ = true;
        (void)resyncChecked();
    } else {
        finishUnwantedCommand(first, TalkerCmd::kReadMemory);
    }
    return readMemory(configAddress, 1, &config);
}

TalkerStatus TalkerLink::openForBootLoader(const std::string& portName) {
    // Closed first: reopening a port this object holds would be refused.
    if (port_.isOpen())
        closePort();
    resetError_ = 0;
    if (TalkerStatus status = openPort(portName + ":1200,n,8,1"))
        return status;
    if (rates.boot != 1200 && port_.setBaud(rates.boot) != 0)
        return kTalkerPortOpenFailed;
    if ((resetError_ = pulseReset(port_, resetPulse)) != 0)
        return kTalkerCommError;
    return kTalkerOk;
}

TalkerStatus TalkerLink::bootRamTalker(const std::string& portName, const std::string& fileName,
                                       const std::vector<ImagePatch>& patches) {
    download_ = DownloadReport{};
    if (TalkerStatus status = openForBootLoader(portName))
        return status;

    const int fd = openRegularFile(fileName);
    if (fd < 0)
        return kTalkerFileOpenFailed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !talkerFileSizeFits(chipVariant(chip), st.st_size)) {
        ::close(fd);
        return kTalkerFileInvalid;
    }
    std::vector<uint8_t> image(static_cast<size_t>(st.st_size));
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
    for (const ImagePatch& p : patches)
        if (1 + size_t(p.address) < image.size())
            image[1 + size_t(p.address)] = p.value; // after the sync byte

    // A loader that stops when the line idles must get the image without a pause: only a loader
    // that takes a fixed length lets the last bytes go one at a time to measure the line.
    const ChipVariant& variant = chipVariant(chip);
    const bool fixedLength = variant.bootRule == BootRule::Exactly256;
    if (TalkerStatus status = downloadImage(image.data(), static_cast<int>(image.size()), fixedLength))
        return status;
    // A loader that stops when the line idles takes whatever comes before its idle time as more
    // image: nothing goes out until it has surely started the talker (its wait is four character
    // times; twice that is given).
    if (!fixedLength && image.size() - 1 < bootLoadLimit(variant))
        Deadline(port_.characterTime(kLoaderIdleCharacters)).sleepUntil();
    port_.setReadWait(readWaitFor(download_.roundTrip, port_.readWaitMs));
    return reopenAndReadConfig(portName, kConfigRegister);
}

TalkerStatus TalkerLink::bootRomTalker(const std::string& portName, const std::string& fileName) {
    download_ = DownloadReport{};
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
