#include "sim/Ports.h"

void Ports::reset() {
    pioc_ = kPiocReset;
    portb_ = portc_ = portcl_ = ddrc_ = portd_ = ddrd_ = 0;
    dwom_ = false;
    stafSeen_ = false;
    dataReady_ = false;
    strbPulseEnd_ = 0;
}

bool Ports::strb(uint64_t now) const {
    bool active = now < strbPulseEnd_; // simple strobed and pulsed handshake
    if ((pioc_ & (kHnds | kPls)) == kHnds)
        active = (pioc_ & kOin) ? dataReady_ : !(pioc_ & kStaf);
    return (pioc_ & kInvb) ? active : !active;
}

uint8_t Ports::levels(uint8_t latch, uint8_t ddr, uint8_t in, uint8_t driven, bool openDrain) {
    const uint8_t outside = uint8_t(in | ~driven); // an open-drain high floats up unless pulled low
    uint8_t out = latch & ddr;
    if (openDrain)
        out = uint8_t(ddr & latch & outside);
    return uint8_t(out | (in & ~ddr));
}

uint8_t Ports::peek(uint8_t reg) const {
    Ports copy = *this;
    return copy.read(reg, 0);
}

uint8_t Ports::read(uint8_t reg, uint64_t at) {
    switch (reg) {
    case kPioc:
        stafSeen_ = pioc_ & kStaf;
        return pioc_;
    case kPortc: return uint8_t((portC() & ~portCDrives()) | (portc_ & portCDrives()));
    case kPortb: return portb_;
    case kPortcl:
        if (stafSeen_ && !outputHandshake()) {
            pioc_ = uint8_t(pioc_ & ~kStaf);
            if ((pioc_ & (kHnds | kPls)) == (kHnds | kPls))
                strbPulseEnd_ = at + kStrbPulseCycles; // ready for the next
        }
        stafSeen_ = false;
        return portcl_;
    case kDdrc: return ddrc_;
    case kPortd: return uint8_t(((portD() & ~ddrd_) | (portd_ & ddrd_)) & 0x3F);
    case kDdrd: return uint8_t(ddrd_ & 0x3F);
    default: return 0;
    }
}

void Ports::write(uint8_t reg, uint8_t value, uint64_t at) {
    switch (reg) {
    case kPioc: pioc_ = uint8_t((pioc_ & kStaf) | (value & 0x7F)); break; // STAF is read-only
    case kPortc: portc_ = value; break;
    case kPortb:
        portb_ = value;
        if (!(pioc_ & kHnds))
            strbPulseEnd_ = at + kStrbPulseCycles; // simple strobed mode
        break;
    case kDdrc: ddrc_ = value; break;
    case kPortd: portd_ = uint8_t(value & 0x3F); break;
    case kDdrd: ddrd_ = uint8_t(value & 0x3F); break;
    case kPortcl:
        // Goes to port C's latch as a PORTC write does; in output handshake STRB then says the
        // data is there, and the write ends STAF's clearing sequence.
        portc_ = value;
        portcl_ = value;
        if (outputHandshake()) {
            if (stafSeen_)
                pioc_ = uint8_t(pioc_ & ~kStaf);
            dataReady_ = true;
            if (pioc_ & kPls)
                strbPulseEnd_ = at + kStrbPulseCycles; // data ready
        }
        stafSeen_ = false;
        break;
    default: break;
    }
}

void Ports::setPortC(int bit, bool level) {
    const uint8_t m = uint8_t(1u << (bit & 7));
    drivenC_ |= m;
    inC_ = uint8_t(level ? inC_ | m : inC_ & ~m);
}

void Ports::setPortD(int bit, bool level) {
    const uint8_t m = uint8_t(1u << (bit & 7));
    drivenD_ |= m;
    inD_ = uint8_t(level ? inD_ | m : inD_ & ~m);
}

void Ports::setStra(bool high) {
    const bool rising = !stra_ && high, falling = stra_ && !high;
    stra_ = high;
    if ((pioc_ & kEga) ? rising : falling) {
        if (!outputHandshake())
            portcl_ = portC(); // input: the levels of the edge
        dataReady_ = false;   // output: acknowledged
        pioc_ |= kStaf;
    }
}
