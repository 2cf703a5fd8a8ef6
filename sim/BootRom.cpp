#include "sim/BootRom.h"

namespace {
// Generated from BootLoader.s at build time.
constexpr std::array<uint8_t, BootRom::kSize> kImage = {
#include "BootRomImage.inc"
};
static_assert(kImage[0xBFFE - BootRom::kStart] == 0xBF && kImage[0xBFFF - BootRom::kStart] == 0x40,
              "the reset vector must lead to the loader at $BF40");
static_assert(kImage[0xBFFC - BootRom::kStart] == 0x00 && kImage[0xBFFD - BootRom::kStart] == 0xFD,
              "the clock-monitor vector must lead to the pseudo-vector at $00FD");
} // namespace

const std::array<uint8_t, BootRom::kSize>& BootRom::image() { return kImage; }
