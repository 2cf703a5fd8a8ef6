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
static_assert(kImage[BootRom::kLimit - BootRom::kStart] == 0x01 && kImage[BootRom::kLimit + 1 - BootRom::kStart] == 0x00 &&
                  kImage[BootRom::kIdleEnds - BootRom::kStart] == 0x00,
              "the loader's download rule must sit at $BFD0-$BFD2");
} // namespace

const std::array<uint8_t, BootRom::kSize>& BootRom::image() { return kImage; }

std::array<uint8_t, BootRom::kSize> BootRom::imageFor(const ChipVariant& chip) {
    std::array<uint8_t, kSize> rom = kImage;
    const uint16_t limit = bootLoadLimit(chip);
    rom[kLimit - kStart] = uint8_t(limit >> 8);
    rom[kLimit + 1 - kStart] = uint8_t(limit);
    rom[kIdleEnds - kStart] = chip.bootRule == BootRule::UpToRam ? 1 : 0;
    return rom;
}
