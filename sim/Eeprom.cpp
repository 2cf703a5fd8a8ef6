#include "sim/Eeprom.h"
#include <cerrno>
#include <cstdio>
#include <cstring>

Eeprom::Eeprom(ChipKind chip) : chip_(chipVariant(chip)) {
    static_assert(kMaxSize >= kChipVariants[size_t(ChipKind::E2)].eepromSize);
    array_.fill(0xFF);
    configCell_ = configLatch_ = chip_.eepromMovable ? kFactoryConfigMovable : kFactoryConfig;
}

void Eeprom::reset() {
    pprog_ = 0;
    bprot_ = 0x1F;
    target_ = Target::None;
    configLatch_ = uint8_t(configCell_ & latchMask());
}

uint8_t Eeprom::readArray(uint16_t address) const {
    if (pprog_ & kEelat)
        return 0xFF; // array switched to programming
    return array_[uint16_t(address - start())];
}

void Eeprom::writeArray(uint16_t address, uint8_t value) {
    if ((pprog_ & kEelat) && !(pprog_ & kEepgm)) {
        target_ = Target::Array;
        latchAddress_ = address;
        latchData_ = value;
    }
}

void Eeprom::writeConfig(uint8_t value) {
    if ((pprog_ & kEelat) && !(pprog_ & kEepgm)) {
        target_ = Target::Config;
        latchData_ = value;
    }
}

void Eeprom::writePprog(uint8_t value, uint64_t now) {
    value &= kByte | kRow | kErase | kEelat | kEepgm;
    const bool pumpWasOn = pprog_ & kEepgm;
    if (pumpWasOn) {
        if ((value & kEepgm) && (value & kEelat))
            return; // still pumping; the mode bits are frozen
        if (now - pumpOn_ >= kProgramCycles)
            complete();
        if (!(value & kEelat))
            target_ = Target::None;
        pprog_ = value;
        return;
    }
    if ((value & kEepgm) && !((pprog_ & kEelat) && (value & kEelat)))
        value = uint8_t(value & ~kEepgm); // EEPGM needs EELAT set beforehand
    if (value & kEepgm)
        pumpOn_ = now;
    if (!(value & kEelat))
        target_ = Target::None;
    pprog_ = value;
}

void Eeprom::writeBprot(uint8_t value, bool clearAllowed) {
    value &= 0x1F;
    bprot_ = clearAllowed ? value : uint8_t(bprot_ | value);
}

bool Eeprom::protectedAddress(uint16_t address) const {
    const uint16_t offset = uint16_t(address - start());
    const int block = offset < 0x20 ? 0 : offset < 0x60 ? 1 : offset < 0xE0 ? 2 : 3;
    return bprot_ & (1u << block);
}

void Eeprom::complete() {
    if (target_ == Target::None)
        return;
    const bool erase = pprog_ & kErase;
    if (target_ == Target::Config) {
        if (bprot_ & kPtcon)
            return;
        configCell_ = erase ? 0xFF : uint8_t(configCell_ & latchData_);
        changed_ = true;
        return;
    }
    if (!erase) {
        if (!protectedAddress(latchAddress_)) {
            array_[uint16_t(latchAddress_ - start())] &= latchData_;
            changed_ = true;
        }
        return;
    }
    uint16_t first = start(), last = uint16_t(start() + size() - 1);
    if (pprog_ & kByte) {
        first = last = latchAddress_;
    } else if (pprog_ & kRow) {
        first = uint16_t(latchAddress_ & ~0xF);
        last = uint16_t(first + 15);
    }
    for (uint32_t a = first; a <= last; ++a) {
        if (!protectedAddress(uint16_t(a))) {
            array_[uint16_t(a - start())] = 0xFF;
            changed_ = true;
        }
    }
}

bool Eeprom::takeChanged() {
    const bool c = changed_;
    changed_ = false;
    return c;
}

bool Eeprom::loadFile(const std::string& path, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT)
            return true;
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    const size_t imageSize = size_t(size()) + 1;
    uint8_t image[kMaxSize + 2];
    const size_t n = std::fread(image, 1, imageSize + 1, f);
    std::fclose(f);
    if (n != imageSize) {
        if (error)
            *error = path + ": not an EEPROM image of the " + std::string(chip_.title) + " (" +
                     std::to_string(imageSize) + " bytes expected, " + std::to_string(n) +
                     (n > imageSize ? " or more" : "") + " found)";
        return false;
    }
    std::memcpy(array_.data(), image, size());
    configCell_ = image[size()];
    configLatch_ = uint8_t(configCell_ & latchMask());
    return true;
}

bool Eeprom::saveFile(const std::string& path, std::string* error) const {
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    bool ok = f != nullptr;
    if (ok) {
        ok = std::fwrite(array_.data(), 1, size(), f) == size() && std::fputc(configCell_, f) != EOF;
        ok = (std::fclose(f) == 0) && ok;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
    }
    return ok;
}
