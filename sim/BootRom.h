#pragma once
#include <array>
#include <cstdint>

// The chip's bootstrap ROM at $BF40-$BFFF: our own loader (BootLoader.s, assembled at build time)
// and the special-mode vectors at $BFD6-$BFFF, which lead to the RAM pseudo-vectors.
class BootRom {
public:
    static constexpr uint16_t kStart = 0xBF40;
    static constexpr uint16_t kSize = 0xC0;

    // The byte at an address in kStart..$FFFF's boot ROM window ($BF40-$BFFF).
    static uint8_t read(uint16_t address) { return image()[address - kStart]; }
    // The whole ROM.
    static const std::array<uint8_t, kSize>& image();
};
