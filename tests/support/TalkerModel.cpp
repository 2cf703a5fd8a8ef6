#include "TalkerModel.h"

#include <algorithm>

namespace {

constexpr uint16_t kBprot = 0x1035;
constexpr uint16_t kOption = 0x1039;
constexpr uint16_t kPprog = 0x103B;
constexpr uint16_t kTest1 = 0x103E;
constexpr uint16_t kConfig = 0x103F;
constexpr uint8_t kEepgm = 0x01;
constexpr uint8_t kEelat = 0x02;
constexpr uint8_t kErase = 0x04;
constexpr uint8_t kRow = 0x08;
constexpr uint8_t kByte = 0x10;
constexpr int kArgumentWaitMs = 1000;
constexpr int kBootByteWaitMs = 5000;

} // namespace

TalkerModel::TalkerModel(PtyPair& pty) : pty_(pty) {
    eeprom_.fill(0xFF);
    ram_[kBprot] = 0x1F;
    thread_ = std::thread([this] { run(); });
}

TalkerModel::~TalkerModel() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void TalkerModel::setBootMode(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    bootPending_ = on;
}

void TalkerModel::setConfig(uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    configLatch_ = configEeprom_ = value;
}

void TalkerModel::setSilent(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = on;
}

void TalkerModel::setResetWorks(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    resetWorks_ = on;
}

void TalkerModel::failNextEcho(uint8_t wrongEcho) {
    std::lock_guard<std::mutex> lock(mutex_);
    wrongEcho_ = wrongEcho;
}

void TalkerModel::garbleReads(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    garbledReadsLeft_ = count;
    garbledReadsDone_ = 0;
}

void TalkerModel::setEepromRange(uint16_t first, uint16_t last) {
    std::lock_guard<std::mutex> lock(mutex_);
    eepromFirst_ = std::max(first, kEepromStart);
    eepromLast_ = std::min(last, kEepromEnd);
}

void TalkerModel::setReadBack(uint16_t address, uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    readBack_[address] = value;
}

void TalkerModel::setRom(uint16_t first, uint16_t last) {
    std::lock_guard<std::mutex> lock(mutex_);
    rom_.emplace_back(first, last);
}

void TalkerModel::raiseSwi(uint16_t swiAddress) {
    std::lock_guard<std::mutex> lock(mutex_);
    regs_.PC = static_cast<uint16_t>(swiAddress + 1);
    pty_.write({0x4A});
}

void TalkerModel::sendRaw(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    pty_.write(bytes);
}

void TalkerModel::doubleReplyByte(size_t index, int times) {
    std::lock_guard<std::mutex> lock(mutex_);
    doubleIndex_ = index;
    doubleTimes_ = times;
}

void TalkerModel::trailReplies(const std::vector<uint8_t>& extra, int times) {
    std::lock_guard<std::mutex> lock(mutex_);
    trail_ = extra;
    trailTimes_ = times;
}

void TalkerModel::swiBeforeNextEcho(uint16_t swiAddress) {
    std::lock_guard<std::mutex> lock(mutex_);
    swiBeforeEcho_ = swiAddress;
}

void TalkerModel::replyLocked(const std::vector<uint8_t>& bytes, size_t& sent, bool faulty, bool last) {
    std::vector<uint8_t> out;
    for (uint8_t byte : bytes) {
        out.push_back(byte);
        if (faulty && sent == doubleIndex_)
            out.push_back(byte);
        ++sent;
    }
    if (last && trailTimes_ > 0) {
        --trailTimes_;
        out.insert(out.end(), trail_.begin(), trail_.end());
    }
    // One write, so that the host finds a stray byte queued the moment the reply is complete.
    pty_.write(out);
}

uint8_t TalkerModel::peek(uint16_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (address == kConfig)
        return configLatch_;
    if (inArrayLocked(address))
        return eeprom_[address - kEepromStart];
    return ram_[address];
}

void TalkerModel::poke(uint16_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint8_t byte : bytes) {
        if (inArrayLocked(address))
            eeprom_[address - kEepromStart] = byte;
        else
            ram_[address] = byte;
        ++address;
    }
}

TalkerModel::Registers TalkerModel::registers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return regs_;
}

void TalkerModel::setRegisters(const Registers& regs) {
    std::lock_guard<std::mutex> lock(mutex_);
    regs_ = regs;
}

uint8_t TalkerModel::configLatch() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return configLatch_;
}

uint8_t TalkerModel::configEeprom() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return configEeprom_;
}

std::vector<TalkerModel::Command> TalkerModel::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<TalkerModel::EepromEvent> TalkerModel::eepromEvents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

void TalkerModel::clearLogs() {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.clear();
    events_.clear();
}

int TalkerModel::resets() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return resets_;
}

std::vector<uint8_t> TalkerModel::bootBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bootBytes_;
}

int TalkerModel::bootBaud() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bootBaud_;
}

int TalkerModel::nextByte(int timeoutMs) {
    // Short slices so that a stop request is seen quickly.
    for (int waited = 0; !stop_;) {
        const int slice = std::min(20, timeoutMs - waited);
        const int byte = pty_.readByte(slice);
        if (byte >= 0)
            return byte;
        waited += slice;
        if (waited >= timeoutMs)
            return -1;
    }
    return -1;
}

void TalkerModel::run() {
    while (!stop_) {
        const int byte = nextByte(100);
        if (byte < 0)
            continue;
        const auto cmd = static_cast<uint8_t>(byte);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!bootPending_) {
                if (silent_ || swallowNext_) {
                    swallowNext_ = false;
                    Command ignored;
                    ignored.kind = cmd;
                    ignored.answered = false;
                    commands_.push_back(ignored);
                    continue;
                }
                if (wrongEcho_ >= 0) {
                    pty_.write({static_cast<uint8_t>(wrongEcho_)});
                    wrongEcho_ = -1;
                    Command refused;
                    refused.kind = cmd;
                    refused.answered = false;
                    commands_.push_back(refused);
                    continue;
                }
            }
        }
        bool booting = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            booting = bootPending_;
        }
        if (booting)
            boot(cmd);
        else
            serve(cmd);
    }
}

void TalkerModel::boot(uint8_t first) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bootBaud_ = pty_.slaveBaud();
        bootBytes_.assign(1, first);
        if (first == 0x00) { // start the resident talker; nothing is echoed
            bootPending_ = false;
            return;
        }
        // The synchronisation character is not echoed; each image byte is, as it is stored.
    }
    for (uint16_t address = 0; address < 256; ++address) {
        const int byte = nextByte(kBootByteWaitMs);
        if (byte < 0)
            break;
        std::lock_guard<std::mutex> lock(mutex_);
        bootBytes_.push_back(static_cast<uint8_t>(byte));
        ram_[address] = static_cast<uint8_t>(byte);
        pty_.write({static_cast<uint8_t>(byte)});
    }
    std::lock_guard<std::mutex> lock(mutex_);
    bootPending_ = false;
}

void TalkerModel::serve(uint8_t cmd) {
    Command entry;
    entry.kind = cmd;
    size_t sent = 0;    // bytes of this command's reply so far
    bool faulty = false; // whether a doubled byte is due in this reply
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool known = cmd == 0x01 || cmd == 0x41 || cmd == 0x81 || cmd == 0xC1 || cmd == 0xB5;
        if (known && doubleTimes_ > 0) {
            --doubleTimes_;
            faulty = true;
        }
        if (known && cmd != 0xB5 && swiBeforeEcho_ >= 0) {
            regs_.PC = static_cast<uint16_t>(swiBeforeEcho_ + 1);
            swiBeforeEcho_ = -1;
            pty_.write({0x4A});
        }
    }
    auto echo = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        replyLocked({static_cast<uint8_t>(~cmd)}, sent, faulty, false);
    };
    // The data part of a reply, and the trailing bytes due after it.
    auto finish = [&](const std::vector<uint8_t>& bytes) { replyLocked(bytes, sent, faulty, true); };
    auto log = [&](bool answered) {
        entry.answered = answered;
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(entry);
    };
    // Reads n argument bytes; false (and the command logged as unanswered) when they stop coming.
    auto arguments = [&](size_t n, std::vector<uint8_t>& out) {
        out.clear();
        while (out.size() < n) {
            const int byte = nextByte(kArgumentWaitMs);
            if (byte < 0) {
                log(false);
                return false;
            }
            out.push_back(static_cast<uint8_t>(byte));
        }
        return true;
    };
    std::vector<uint8_t> args;
    switch (cmd) {
    case 0x01:
    case 0x41: {
        echo();
        if (!arguments(3, args))
            return;
        entry.count = args[0] == 0 ? 256 : args[0];
        entry.address = static_cast<uint16_t>(args[1] << 8 | args[2]);
        if (cmd == 0x41) {
            if (!arguments(static_cast<size_t>(entry.count), entry.data))
                return;
            std::lock_guard<std::mutex> lock(mutex_);
            for (int i = 0; i < entry.count; ++i)
                writeLocked(static_cast<uint16_t>(entry.address + i), entry.data[static_cast<size_t>(i)]);
            commands_.push_back(entry);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<uint8_t> reply;
        for (int i = 0; i < entry.count; ++i)
            reply.push_back(readLocked(static_cast<uint16_t>(entry.address + i)));
        if (garbledReadsLeft_ > 0) {
            --garbledReadsLeft_;
            const auto mask = static_cast<uint8_t>(++garbledReadsDone_);
            for (auto& b : reply)
                b ^= mask;
        }
        commands_.push_back(entry);
        finish(reply);
        return;
    }
    case 0x81: {
        echo();
        entry.count = 11;
        std::lock_guard<std::mutex> lock(mutex_);
        const Registers& r = regs_;
        finish({static_cast<uint8_t>(r.SP >> 8), static_cast<uint8_t>(r.SP), r.CCR, r.B, r.A,
                static_cast<uint8_t>(r.X >> 8), static_cast<uint8_t>(r.X),
                static_cast<uint8_t>(r.Y >> 8), static_cast<uint8_t>(r.Y),
                static_cast<uint8_t>(r.PC >> 8), static_cast<uint8_t>(r.PC)});
        commands_.push_back(entry);
        return;
    }
    case 0xC1: {
        echo();
        entry.count = 11;
        if (!arguments(11, entry.data))
            return;
        const auto& d = entry.data;
        std::lock_guard<std::mutex> lock(mutex_);
        regs_.SP = static_cast<uint16_t>(d[0] << 8 | d[1]);
        regs_.CCR = d[2];
        regs_.B = d[3];
        regs_.A = d[4];
        regs_.X = static_cast<uint16_t>(d[5] << 8 | d[6]);
        regs_.Y = static_cast<uint16_t>(d[7] << 8 | d[8]);
        regs_.PC = static_cast<uint16_t>(d[9] << 8 | d[10]);
        commands_.push_back(entry);
        return;
    }
    case 0xB5: {
        entry.count = 14;
        std::lock_guard<std::mutex> lock(mutex_);
        const Registers& r = regs_;
        finish({0x4A, static_cast<uint8_t>(r.PC >> 8), static_cast<uint8_t>(r.PC),
                static_cast<uint8_t>(r.SP >> 8), static_cast<uint8_t>(r.SP), r.CCR, r.B, r.A,
                static_cast<uint8_t>(r.X >> 8), static_cast<uint8_t>(r.X),
                static_cast<uint8_t>(r.Y >> 8), static_cast<uint8_t>(r.Y), 0x00, 0x00});
        commands_.push_back(entry);
        return;
    }
    default:
        log(false);
        return;
    }
}

bool TalkerModel::inArrayLocked(uint16_t address) const {
    return (configLatch_ & 0x01) != 0 && address >= eepromFirst_ && address <= eepromLast_;
}

uint8_t TalkerModel::readLocked(uint16_t address) const {
    if (auto it = readBack_.find(address); it != readBack_.end())
        return it->second;
    const bool latching = (ram_[kPprog] & kEelat) != 0;
    if (address == kConfig)
        return latching ? static_cast<uint8_t>(~configLatch_) : configLatch_;
    if (inArrayLocked(address)) {
        const uint8_t stored = eeprom_[address - kEepromStart];
        return latching ? static_cast<uint8_t>(~stored) : stored;
    }
    return ram_[address];
}

void TalkerModel::writeLocked(uint16_t address, uint8_t value) {
    for (const auto& [first, last] : rom_) {
        if (address >= first && address <= last)
            return;
    }
    if (address == kPprog) {
        pprogLocked(value);
        return;
    }
    if (address == kConfig || inArrayLocked(address)) {
        // The array only takes bytes through the programming latch.
        if (ram_[kPprog] & kEelat) {
            latched_ = true;
            latchAddress_ = address;
            latchData_ = value;
        }
        return;
    }
    ram_[address] = value;
    if (address == kTest1 && (value & 0x04) && (ram_[kOption] & 0x08) && resetWorks_) {
        resetLocked();
        swallowNext_ = true;
    }
}

bool TalkerModel::protectedLocked(uint16_t address) const {
    const uint8_t bprot = ram_[kBprot];
    if (address == kConfig)
        return (bprot & 0x10) != 0;
    const int offset = address - kEepromStart;
    if (offset < 0x20)
        return (bprot & 0x01) != 0;
    if (offset < 0x60)
        return (bprot & 0x02) != 0;
    if (offset < 0xE0)
        return (bprot & 0x04) != 0;
    return (bprot & 0x08) != 0;
}

void TalkerModel::pprogLocked(uint8_t value) {
    ram_[kPprog] = static_cast<uint8_t>(value & ~0x20);
    if (!(value & kEelat)) {
        latched_ = false;
        return;
    }
    if (!(value & kEepgm) || !latched_)
        return;
    EepromEvent event{EepromOp::Program, latchAddress_, latchData_, false};
    const bool config = latchAddress_ == kConfig;
    if (value & kErase) {
        if (value & kByte) {
            event.op = EepromOp::ByteErase;
            event.blocked = protectedLocked(latchAddress_);
            if (!event.blocked)
                eraseLocked(latchAddress_);
        } else if ((value & kRow) && !config) {
            event.op = EepromOp::RowErase;
            event.blocked = protectedLocked(latchAddress_);
            const uint16_t row = static_cast<uint16_t>(latchAddress_ & ~0x0F);
            if (!event.blocked) {
                for (uint16_t a = row; a < row + 16; ++a)
                    eraseLocked(a);
            }
        } else if (value & kRow) { // row erase aimed at CONFIG erases CONFIG
            event.op = EepromOp::RowErase;
            event.blocked = protectedLocked(latchAddress_);
            if (!event.blocked)
                eraseLocked(latchAddress_);
        } else {
            event.op = EepromOp::BulkErase;
            event.blocked = config ? protectedLocked(kConfig) : (ram_[kBprot] & 0x0F) != 0;
            if (!event.blocked) {
                if (config)
                    configEeprom_ = 0xFF;
                else
                    for (uint32_t a = eepromFirst_; a <= eepromLast_; ++a)
                        eeprom_[a - kEepromStart] = 0xFF;
            }
        }
    } else {
        event.blocked = protectedLocked(latchAddress_);
        if (!event.blocked) {
            if (config)
                configEeprom_ &= latchData_;
            else
                eeprom_[latchAddress_ - kEepromStart] &= latchData_;
        }
    }
    events_.push_back(event);
}

void TalkerModel::eraseLocked(uint16_t address) {
    if (address == kConfig)
        configEeprom_ = 0xFF;
    else if (address >= eepromFirst_ && address <= eepromLast_)
        eeprom_[address - kEepromStart] = 0xFF;
}

void TalkerModel::resetLocked() {
    ++resets_;
    ram_[kPprog] = 0x00;
    ram_[kBprot] = 0x1F;
    ram_[kOption] = 0x00;
    ram_[kTest1] = 0x00;
    latched_ = false;
    configLatch_ = configEeprom_;
}
