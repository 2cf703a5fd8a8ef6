#include "sim/Board.h"
#include "sim/BootRom.h"
#include <algorithm>
#include <limits>

namespace {
constexpr uint8_t kHprioBootstrap = 0xC5; // RBOOT, SMOD, PSEL = 0101
constexpr uint8_t kOptionReset = 0x10;    // DLY

// The I-maskable sources in the chip's fixed priority order, highest first, with their PSEL codes.
struct InterruptSource {
    uint16_t vector;
    uint8_t psel;
};
constexpr InterruptSource kInterruptSources[] = {
    {Vec::kIrq, 6},   {Vec::kRti, 7},   {Vec::kTic1, 8}, {Vec::kTic2, 9},  {Vec::kTic3, 10},
    {Vec::kToc1, 11}, {Vec::kToc2, 12}, {Vec::kToc3, 13}, {Vec::kToc4, 14}, {Vec::kToc5, 15},
    {Vec::kTof, 0},   {Vec::kPaov, 1},  {Vec::kPaie, 2}, {Vec::kSpi, 3},   {Vec::kSci, 4},
};
static_assert(kInterruptSources[1].vector == Vec::kRti && kInterruptSources[14].vector == Vec::kSci);
} // namespace

Board::Board(ChipKind chip) : chip_(chipVariant(chip)), bootRom_(BootRom::imageFor(chip_)) { powerOn(); }

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
    copCleared_ = now_;
    copArmed_ = false;
    stoppedAt_ = Timer::kNever;
    irqLatched_ = false;
    rxWire_.discardBefore(double(now_));
    sci_.reset(now_);
    timer_.reset(now_, false);
    adc_.reset(now_);
    spi_.reset();
    ports_.reset();
    updateSs(now_);
    eeprom_.reset();
    mapPages();
    cpu_.setXirq(!xirqHigh_);
    cpu_.setTestOpcodeEnabled(mode() == BoardMode::SpecialTest);
    updateInterrupts();
    nextEvent_ = nextPeripheralEvent();
    refreshSlack();
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
    for (unsigned page = 0; page < chip_.ramSize / 256u; ++page)
        readPage[page] = writePage[page] = ram_.data() + page * 256;
    if (hprio_ & kMda) {
        for (unsigned page = kExternalRamStart >> 8; page < 256; ++page) {
            if (eeprom_.contains(uint16_t(page << 8)) && eeprom_.enabled())
                continue;
            if (page == (BootRom::kStart >> 8) && (hprio_ & kRboot))
                continue;
            uint8_t* p = externalRam_.data() + ((page << 8) - kExternalRamStart);
            readPage[page] = writePage[page] = p;
        }
    }
}

void Board::runUntil(uint64_t until) {
    if (anyPosted_.load(std::memory_order_acquire))
        takePostedSettings();
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
            cpu_.runBatch(until - now_);
        }
        // STOP halts the clocks from the end of the STOP instruction until the core wakes; a clock
        // monitor that is on sees them fail once they have been absent for its detection time.
        if (cpu_.state() != CpuState::Stopped) {
            stoppedAt_ = Timer::kNever;
        } else if (stoppedAt_ == Timer::kNever) {
            stoppedAt_ = now_;
            afterPeripheralAccess(); // the monitor's deadline is the next event
        }
        if (now_ >= clockMonitorDeadline())
            pendingReset_ = Vec::kClockMonitor;
        if (pendingReset_)
            reset(pendingReset_);
    }
    publishPins();
}

void Board::sync() {
    applyDueStimulus();
    sci_.advance(now_);
    timer_.advance(now_);
    spi_.advance(now_);
    afterPeripheralAccess();
}

void Board::setPortAInput(int bit, bool level) {
    timer_.setInput(bit, level, now_);
    afterPeripheralAccess();
}

void Board::tick(uint32_t cycles) {
    now_ += cycles;
    if (now_ >= nextEvent_)
        sync();
    else
        refreshSlack();
}

uint64_t Board::nextPeripheralEvent() const {
    const uint64_t stimulus = scheduled_ < schedule_.size() ? schedule_[scheduled_].at : Timer::kNever;
    return std::min({sci_.nextEventTime(), timer_.nextEventTime(), spi_.nextEventTime(), copDeadline(),
                     clockMonitorDeadline(), stimulus});
}

void Board::afterPeripheralAccess() {
    copCheck();
    nextEvent_ = nextPeripheralEvent();
    updateInterrupts();
    refreshSlack();
}

uint64_t Board::copDeadline() const {
    if (!copRunning() || pendingReset_)
        return Timer::kNever;
    return copCleared_ + (kCopBaseCycles << (2 * (option_ & 3)));
}

uint64_t Board::clockMonitorDeadline() const {
    if (stoppedAt_ == Timer::kNever || !(option_ & kCme) || (test1_ & kDisr) || pendingReset_)
        return Timer::kNever;
    return stoppedAt_ + kClockMonitorDetectCycles;
}

void Board::copCheck() {
    if (now_ >= copDeadline())
        pendingReset_ = Vec::kCop;
}

void Board::setIrqPin(bool high) { applyPinEvent({0, PinDrive::Level, {PinGroup::Irq, 0}, high}, now_); }

PinState Board::pinState() {
    timer_.advance(now_);
    PinState p;
    p.portA = timer_.pins();
    p.portAOutputs = timer_.outputMask();
    for (int i = 0; i < 8; ++i)
        p.analog[i] = adc_.input(i);
    p.irqHigh = irqHigh_;
    p.xirqHigh = xirqHigh_;
    p.portsAreBus = hprio_ & kMda;
    p.portB = ports_.portB();
    p.portC = ports_.portC();
    p.portCOutputs = ports_.portCDrives();
    p.portD = ports_.portD();
    p.portDOutputs = ports_.ddrd();
    p.portE = readRegister(kPorte);
    p.straHigh = ports_.stra();
    p.strbHigh = ports_.strb(now_);
    return p;
}

void Board::setAnalogInput(int channel, uint8_t value) {
    adc_.setInput(channel, value, now_, option_ & kAdpu);
}

void Board::setXirqPin(bool high) { applyPinEvent({0, PinDrive::Level, {PinGroup::Xirq, 0}, high}, now_); }

void Board::refreshSlack() {
    // A reset due after this instruction ends the core's run of instructions at once.
    const uint64_t slack = pendingReset_ || nextEvent_ <= now_ ? 0 : nextEvent_ - now_;
    tickSlack = uint32_t(std::min<uint64_t>(slack, std::numeric_limits<uint32_t>::max()));
}

void Board::updateInterrupts() {
    const uint8_t t1 = timer_.requests1(), t2 = timer_.requests2();
    const bool sci = sci_.interruptRequested(), spi = spi_.interruptRequested();
    const bool strobe = ports_.interruptRequested();
    if (!(t1 | t2) && !sci && !spi && !strobe && irqHigh_ && !irqLatched_) {
        cpu_.setInterruptRequest(0);
        return;
    }
    // One bit per source, in the order of kInterruptSources.
    const bool irq = ((option_ & kIrqe) ? irqLatched_ : !irqHigh_) || strobe;
    const bool pending[] = {irq,           bool(t2 & Timer::kRtif), bool(t1 & Timer::kIc1f),
                            bool(t1 & 0x02), bool(t1 & 0x01),         bool(t1 & 0x80),
                            bool(t1 & 0x40), bool(t1 & 0x20),         bool(t1 & 0x10),
                            bool(t1 & 0x08), bool(t2 & Timer::kTof),  bool(t2 & Timer::kPaovf),
                            bool(t2 & Timer::kPaif), spi,             sci};
    uint8_t promoted = hprio_ & 0x0F;
    if (promoted == 5)
        promoted = 6; // reserved code: IRQ
    uint16_t vector = 0;
    for (size_t i = 0; i < std::size(kInterruptSources); ++i) {
        if (!pending[i])
            continue;
        if (kInterruptSources[i].psel == promoted) {
            vector = kInterruptSources[i].vector;
            break;
        }
        if (!vector)
            vector = kInterruptSources[i].vector;
    }
    cpu_.setInterruptRequest(vector);
}

uint16_t Board::readVector(uint16_t normalVectorAddress) {
    if (normalVectorAddress == Vec::kIrq && irqLatched_) { // the edge request is taken
        irqLatched_ = false;
        updateInterrupts();
    }
    const uint16_t a = special() ? uint16_t(normalVectorAddress - 0x4000) : normalVectorAddress;
    return uint16_t(peek(a) << 8 | peek(uint16_t(a + 1)));
}

uint8_t Board::peek(uint16_t address) {
    if (address < chip_.ramSize)
        return ram_[address];
    if (address >= kRegisters && address < kRegisters + 0x40) {
        switch (address & 0x3F) {
        case Sci::kScsr: return sci_.status();
        case Sci::kScdr: return 0;
        case Ports::kPioc:
        case Ports::kPortcl: return Ports::busRegister(address & 0x3F) && (hprio_ & kMda) ? 0 : ports_.peek(address & 0x3F);
        default: return readRegister(uint8_t(address & 0x3F));
        }
    }
    return read(address);
}

uint8_t Board::read(uint16_t address) {
    if (address < chip_.ramSize)
        return ram_[address];
    if (address >= kRegisters && address < kRegisters + 0x40)
        return readRegister(uint8_t(address & 0x3F));
    if (eeprom_.contains(address) && eeprom_.enabled())
        return eeprom_.readArray(address);
    if (address >= BootRom::kStart && address < BootRom::kStart + BootRom::kSize && (hprio_ & kRboot))
        return bootRom_[address - BootRom::kStart];
    if (address >= kExternalRamStart && (hprio_ & kMda))
        return externalRam_[address - kExternalRamStart];
    return kUnmappedValue;
}

void Board::write(uint16_t address, uint8_t value) {
    if (address < chip_.ramSize) {
        ram_[address] = value;
    } else if (address >= kRegisters && address < kRegisters + 0x40) {
        writeRegister(uint8_t(address & 0x3F), value);
    } else if (eeprom_.contains(address) && eeprom_.enabled()) {
        eeprom_.writeArray(address, value);
    } else if (address >= BootRom::kStart && address < BootRom::kStart + BootRom::kSize && (hprio_ & kRboot)) {
        // ROM
    } else if (address >= kExternalRamStart && (hprio_ & kMda)) {
        externalRam_[address - kExternalRamStart] = value;
    }
}

uint8_t Board::readRegister(uint8_t reg) {
    if (Spi::owns(reg)) {
        const uint8_t v = spi_.read(reg, now_);
        afterPeripheralAccess();
        return v;
    }
    if (Adc::owns(reg))
        return adc_.read(reg, now_, option_ & kAdpu);
    if (Ports::owns(reg)) {
        if (Ports::busRegister(reg) && (hprio_ & kMda))
            return 0x00;
        const uint8_t v = ports_.read(reg, now_);
        if (reg == Ports::kPortcl)
            updateInterrupts(); // the read that clears STAF
        return v;
    }
    if (reg == kPorte) {
        uint8_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = uint8_t(v | (adc_.input(i) >= 0x80 ? 1 << i : 0));
        return v;
    }
    if (Timer::owns(reg)) {
        const uint8_t v = timer_.read(reg, now_);
        afterPeripheralAccess();
        return v;
    }
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
    if (Ports::owns(reg)) {
        if (!(Ports::busRegister(reg) && (hprio_ & kMda)))
            ports_.write(reg, value, now_);
        if (reg == Ports::kDdrd || reg == Ports::kPortd)
            updateSs(now_);
        afterPeripheralAccess(); // STAI or a mode fault may have changed the requests
        return;
    }
    if (Spi::owns(reg)) {
        if (reg == Spi::kSpcr)
            ports_.setDwom(value & 0x20);
        spi_.write(reg, value, now_);
        if (reg == Spi::kSpcr)
            updateSs(now_); // a master enabled with SS low faults at once
        afterPeripheralAccess();
        return;
    }
    if (Adc::owns(reg)) {
        adc_.write(reg, value, now_, option_ & kAdpu);
        return;
    }
    if (Timer::owns(reg)) {
        timer_.write(reg, value, now_, special() || inProtectWindow());
        afterPeripheralAccess();
        return;
    }
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
        adc_.read(Adc::kAdctl, now_, option_ & kAdpu); // conversions so far ran with the old ADPU
        option_ = value;
        checkForcedResets();
        afterPeripheralAccess(); // the COP's rate and the IRQ's sense may have changed
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
        updateInterrupts();
        cpu_.setTestOpcodeEnabled(mode() == BoardMode::SpecialTest);
        mapPages();
        break;
    }
    case kTest1:
        if (special()) {
            if ((test1_ & kDisr) && !(value & kDisr))
                copCleared_ = now_; // the COP starts counting when it is let run
            test1_ = uint8_t(value & 0xBF);
            checkForcedResets();
            afterPeripheralAccess();
        }
        break;
    case kCoprst:
        if (value == 0x55) {
            copArmed_ = true;
        } else if (value == 0xAA && copArmed_) {
            copArmed_ = false;
            copCleared_ = now_;
            afterPeripheralAccess();
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
    refreshSlack();
}

// ---- Pins driven from outside ---------------------------------------------------------------

void Board::setStimulus(std::vector<PinEvent> events) {
    for (PinEvent& e : events)
        e.at += now_;
    schedule_ = std::move(events);
    scheduled_ = 0;
    applyDueStimulus(); // those at the present cycle take effect at once
    afterPeripheralAccess();
}

void Board::applyDueStimulus() {
    while (scheduled_ < schedule_.size() && schedule_[scheduled_].at <= now_) {
        const PinEvent e = schedule_[scheduled_++];
        applyPinEvent(e, e.at);
    }
    if (scheduled_ == schedule_.size() && scheduled_ > 0) {
        schedule_.clear();
        scheduled_ = 0;
    }
}

void Board::updateSs(uint64_t at) {
    spi_.setSs(ports_.portD() & 0x20, !(ports_.ddrd() & 0x20), at);
}

void Board::applyPinEvent(const PinEvent& e, uint64_t at) {
    switch (e.drive) {
    case PinDrive::SpiByte:
        spi_.deviceByte(e.value, at);
        afterPeripheralAccess();
        return;
    case PinDrive::Analog:
        adc_.setInput(e.pin.bit, e.value, at, option_ & kAdpu);
        return;
    case PinDrive::Level: break;
    }
    const bool high = e.value != 0;
    switch (e.pin.group) {
    case PinGroup::PortA: timer_.setInput(e.pin.bit, high, at); break;
    case PinGroup::PortE: adc_.setInput(e.pin.bit, high ? 0xFF : 0x00, at, option_ & kAdpu); break;
    case PinGroup::Irq:
        if (irqHigh_ && !high && (option_ & kIrqe))
            irqLatched_ = true;
        irqHigh_ = high;
        break;
    case PinGroup::Xirq:
        xirqHigh_ = high;
        cpu_.setXirq(!high);
        break;
    case PinGroup::PortC: ports_.setPortC(e.pin.bit, high); break;
    case PinGroup::PortD:
        ports_.setPortD(e.pin.bit, high);
        updateSs(at);
        break;
    case PinGroup::Stra: ports_.setStra(high); break;
    case PinGroup::PortB: break; // outputs only
    }
    afterPeripheralAccess();
}

void Board::drivePin(const PinSetting& setting) {
    PinSetting s = setting;
    if (s.pulse && !s.events.empty() && s.events[0].drive != PinDrive::SpiByte) {
        const uint8_t v = pinValue(s.events[0].pin);
        if (s.events[0].drive == PinDrive::Analog ? v >= 0x80 : v != 0)
            invertPulse(&s);
    }
    std::vector<PinEvent> later;
    for (const PinEvent& e : s.events) {
        if (e.at == 0)
            applyPinEvent(e, now_);
        else
            later.push_back({now_ + e.at, e.drive, e.pin, e.value});
    }
    if (later.empty())
        return;
    // Merged into what is left of the schedule, in time order.
    std::vector<PinEvent> merged(schedule_.begin() + std::ptrdiff_t(scheduled_), schedule_.end());
    for (const PinEvent& e : later)
        merged.insert(std::upper_bound(merged.begin(), merged.end(), e,
                                       [](const PinEvent& a, const PinEvent& b) { return a.at < b.at; }),
                      e);
    schedule_ = std::move(merged);
    scheduled_ = 0;
    afterPeripheralAccess();
}

uint8_t Board::pinValue(PinName pin) {
    switch (pin.group) {
    case PinGroup::PortA: timer_.advance(now_); return uint8_t((timer_.pins() >> pin.bit) & 1);
    case PinGroup::PortE: return adc_.input(pin.bit);
    case PinGroup::Irq: return irqHigh_;
    case PinGroup::Xirq: return xirqHigh_;
    case PinGroup::PortB: return uint8_t((ports_.portB() >> pin.bit) & 1);
    case PinGroup::PortC: return uint8_t((ports_.portC() >> pin.bit) & 1);
    case PinGroup::PortD: return uint8_t((ports_.portD() >> pin.bit) & 1);
    case PinGroup::Stra: return ports_.stra();
    }
    return 0;
}

uint64_t Board::postPinSetting(PinSetting setting) {
    std::lock_guard lock(postMutex_);
    posted_.push_back(std::move(setting));
    anyPosted_.store(true, std::memory_order_release);
    return ++postedTicket_;
}

void Board::takePostedSettings() {
    std::vector<PinSetting> settings;
    {
        std::lock_guard lock(postMutex_);
        settings.swap(posted_);
        takenTicket_ = postedTicket_;
        anyPosted_.store(false, std::memory_order_release);
    }
    for (const PinSetting& s : settings)
        drivePin(s);
}

void Board::publishPins() {
    const PinState p = pinState();
    std::lock_guard lock(postMutex_);
    published_ = p;
    publishedTicket_.store(takenTicket_, std::memory_order_release);
}

PinState Board::publishedPinState() const {
    std::lock_guard lock(postMutex_);
    return published_;
}
