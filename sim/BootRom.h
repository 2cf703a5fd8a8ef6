#pragma once
#include "hc11/ChipVariant.h"
#include <array>
#include <cstdint>

// The chip's bootstrap ROM at $BF40-$BFFF: our own loader (BootLoader.s, assembled at build time)
// and the special-mode vectors at $BFD6-$BFFF, which lead to the RAM pseudo-vectors. The loader
// reads the variant's download rule from $BFD0-$BFD2 (as each chip's mask has its own):
// the end of the download (a 16-bit address) and whether an idle line ends it early.
class BootRom {
public:
    static constexpr uint16_t kStart = 0xBF40;
    static constexpr uint16_t kSize = 0xC0;
    static constexpr uint16_t kLimit = 0xBFD0, kIdleEnds = 0xBFD2;

    // The byte at an address in kStart..$FFFF's boot ROM window ($BF40-$BFFF).
    static uint8_t read(uint16_t address) { return image()[address - kStart]; }
    // The whole ROM, as assembled (the A-series rule).
    static const std::array<uint8_t, kSize>& image();
    // The ROM of one variant.
    static std::array<uint8_t, kSize> imageFor(const ChipVariant& chip);
};
