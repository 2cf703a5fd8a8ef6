#include "sim/Board.h"
#include "sim/BootRom.h"
#include <algorithm>
#include <limits>

namespace {
constexpr uint8_t kHprioBootstrap = 0xC5; // RBOOT, SMOD, PSEL = 0101
constexpr uint8_t kOptionReset = 0x10;    // DLY
} // namespace

Board::Board() { powerOn(); }

void Board::powerOn() {
    ram_.fill(0);
    externalRam_.fill(0);
    resets_ = 0;
    reset(Vec::kReset);
}

void Board::pressReset() { reset(Vec::kReset); }

void Board::reset(uint16_t vector) {
    pendingReset_ = 0;
    ++resets_;
    resetTime_ = now_;
    hprio_ = kHprioBootstrap;
    option_ = kOptionReset;
    test1_ = special() ? kDisr : 0;
    rxWire_.discardBefore(double(now_));
    sci_.reset(now_);
    eeprom_.reset();
    mapPages();
    cpu_.setXirq(false);
    cpu_.setTestOpcodeEnabled(mode() == BoardMode::SpecialTest);
    updateInterrupts();
    nextEvent_ = sci_.nextEventTime();
    cpu_.reset(vector);
}

BoardMode Board::mode() const {
    const bool expanded = hprio_ & kMda;
    if (special())
        return expanded ? BoardMode::SpecialTest : BoardMode::SpecialBootstrap;
    return expanded ? BoardMode::Expanded : BoardMode::SingleChip;
}

void Board::mapPages() {
    std::fill(std::begin(readPage), std::end(readPage), nullptr);
    std::fill(std::begin(writePage), std::end(writePage), nullptr);
    readPage[0] = writePage[0] = ram_.data();
    if (hprio_ & kMda) {
        for (unsigned page = kExternalRamStart >> 8; page < 256; ++page) {
            if ((page == 0xB6 || page == 0xB7) && eeprom_.enabled())
                continue;
            if (page == (BootRom::kStart >> 8) && (hprio_ & kRboot))
                continue;
            uint8_t* p = externalRam_.data() + ((page << 8) - kExternalRamStart);
            readPage[page] = writePage[page] = p;
        }
    }
}

void Board::runUntil(uint64_t until) {
    while (now_ < until) {
        if (cpu_.idle()) {
            // An event may have come due (a byte queued from the host) while the core slept:
            // serve it first, and always let at least one cycle pass so time never stands still.
            if (nextEvent_ <= now_) {
                sync();
                if (!cpu_.idle())
                    continue;
            }
            const uint64_t to = std::min(until, std::max(nextEvent_, now_ + 1));
            const uint64_t span = std::min<uint64_t>(to - now_, std::numeric_limits<uint32_t>::max());
            cpu_.idleFor(uint32_t(span));
        } else {
            cpu_.step();
        }
        if (pendingReset_)
            reset(pendingReset_);
    }
}

void Board::sync() {
    sci_.advance(now_);
    afterPeripheralAccess();
}

void Board::tick(uint32_t cycles) {
    now_ += cycles;
    if (now_ >= nextEvent_) {
        sci_.advance(now_);
        afterPeripheralAccess();
    }
}

void Board::afterPeripheralAccess() {
    nextEvent_ = sci_.nextEventTime();
    updateInterrupts();
}

void Board::updateInterrupts() { cpu_.setInterruptRequest(sci_.interruptRequested() ? Vec::kSci : 0); }

uint16_t Board::readVector(uint16_t normalVectorAddress) {
    const uint16_t a = special() ? uint16_t(normalVectorAddress - 0x4000) : normalVectorAddress;
    return uint16_t(peek(a) << 8 | peek(uint16_t(a + 1)));
}

uint8_t Board::peek(uint16_t address) {
    if (address < kRamSize)
        return ram_[address];
    if (address >= kRegisters && address < kRegisters + 0x40) {
        switch (address & 0x3F) {
        case Sci::kScsr: return sci_.status();
        case Sci::kScdr: return 0;
        default: return readRegister(uint8_t(address & 0x3F));
        }
    }
    return read(address);
}

uint8_t Board::read(uint16_t address) {
    if (address < kRamSize)
        return ram_[address];
    if (address >= kRegisters && address < kRegisters + 0x40)
        return readRegister(uint8_t(address & 0x3F));
    if (address >= Eeprom::kStart && address <= Eeprom::kEnd && eeprom_.enabled())
        return eeprom_.readArray(address);
    if (address >= BootRom::kStart && address < BootRom::kStart + BootRom::kSize && (hprio_ & kRboot))
        return BootRom::read(address);
    if (address >= kExternalRamStart && (hprio_ & kMda))
        return externalRam_[address - kExternalRamStart];
    return kUnmappedValue;
}

void Board::write(uint16_t address, uint8_t value) {
    if (address < kRamSize) {
        ram_[address] = value;
    } else if (address >= kRegisters && address < kRegisters + 0x40) {
        writeRegister(uint8_t(address & 0x3F), value);
    } else if (address >= Eeprom::kStart && address <= Eeprom::kEnd && eeprom_.enabled()) {
        eeprom_.writeArray(address, value);
    } else if (address >= BootRom::kStart && address < BootRom::kStart + BootRom::kSize && (hprio_ & kRboot)) {
        // ROM
    } else if (address >= kExternalRamStart && (hprio_ & kMda)) {
        externalRam_[address - kExternalRamStart] = value;
    }
}

uint8_t Board::readRegister(uint8_t reg) {
    switch (reg) {
    case Sci::kBaud:
    case Sci::kSccr1:
    case Sci::kSccr2:
    case Sci::kScsr:
    case Sci::kScdr: {
        const uint8_t v = sci_.read(reg, now_);
        afterPeripheralAccess();
        return v;
    }
    case kBprot: return eeprom_.readBprot();
    case kOption: return option_;
    case kPprog: return eeprom_.readPprog();
    case kHprio: return hprio_;
    case kInit: return 0x01;
    case kTest1: return test1_;
    case kConfig: return eeprom_.readConfig();
    default: return 0x00;
    }
}

void Board::writeRegister(uint8_t reg, uint8_t value) {
    switch (reg) {
    case Sci::kBaud:
    case Sci::kSccr1:
    case Sci::kSccr2:
    case Sci::kScsr:
    case Sci::kScdr:
        sci_.write(reg, value, now_);
        afterPeripheralAccess();
        break;
    case kBprot: eeprom_.writeBprot(value, special() || inProtectWindow()); break;
    case kOption: {
        constexpr uint8_t kProtected = 0x37; // IRQE, DLY, CR1, CR0 (and the unused bits)
        value &= 0xFB;
        if (!special() && !inProtectWindow())
            value = uint8_t((value & ~kProtected) | (option_ & kProtected));
        option_ = value;
        checkForcedResets();
        break;
    }
    case kPprog: eeprom_.writePprog(value, now_); break;
    case kHprio: {
        uint8_t v = uint8_t((hprio_ & 0xF0) | (value & 0x0F)); // PSEL
        if (special()) {
            v = uint8_t((v & ~(kRboot | kMda | kIrv)) | (value & (kRboot | kMda | kIrv)));
            if (!(value & kSmod))
                v = uint8_t(v & ~kSmod);
        }
        if (!(v & kSmod))
            v = uint8_t(v & ~(kRboot | kIrv)); // normal modes: no boot ROM, no visibility
        hprio_ = v;
        cpu_.setTestOpcodeEnabled(mode() == BoardMode::SpecialTest);
        mapPages();
        break;
    }
    case kTest1:
        if (special()) {
            test1_ = uint8_t(value & 0xBF);
            checkForcedResets();
        }
        break;
    case kConfig: eeprom_.writeConfig(value); break;
    default: break; // not modelled (COPRST, INIT, ports, timer ...)
    }
}

void Board::checkForcedResets() {
    if (test1_ & kDisr)
        return;
    if ((option_ & kCme) && (test1_ & kFcm))
        pendingReset_ = Vec::kClockMonitor;
    else if ((test1_ & kFcop) && !(eeprom_.readConfig() & Eeprom::kNocop))
        pendingReset_ = Vec::kCop;
}
