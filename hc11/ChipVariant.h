#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The members of the 68HC11 family that boards are built with, as the debugger and the virtual
// board both need them: where RAM and EEPROM are, how the boot loader takes a download, which
// CONFIG bits exist. One table; the host's "Chip" choice and the board's --chip read the same row.
//
// Chosen where the data sheets were not at hand (kept here so the host and the board agree):
// - The E-series boot ROM is taken as $BF00-$BFFF, the A-series' as $BF40-$BFFF.
// - The 811E2's EEPROM sits at ((CONFIG >> 4) << 12) | $0800, 2 KB long; out of reset CONFIG's upper
//   nibble is $F, so $F800-$FFFF. Its boot loader follows the E-series rule with 256 bytes of RAM.
// - Only the E-series and the 811E2 have BPROT's block protection (the A-series reads it as reserved).

enum class ChipKind : uint8_t { A1, A8, E1, E9, E2 };

// How the chip's boot loader decides that the download is complete.
enum class BootRule : uint8_t {
    Exactly256, // takes exactly 256 bytes to $0000-$00FF, then jumps to $0000
    UpToRam,    // takes bytes until RAM is full or the line idles four character times
};

struct ChipVariant {
    ChipKind kind;
    std::string_view name;  // as typed: "a1", "a8", "e1", "e9", "811e2"
    std::string_view title; // as shown: "MC68HC11A1", ...
    uint16_t ramSize;       // RAM from $0000
    uint16_t eepromSize;    // EEPROM bytes
    uint16_t eepromStart;   // out of reset (the 811E2's place moves with CONFIG)
    bool eepromMovable;     // CONFIG's upper nibble places the EEPROM
    uint16_t romStart;      // mask ROM when CONFIG.ROMON is set; 0 when the chip has none
    uint16_t romSize;
    uint16_t bootRomStart;
    BootRule bootRule;
    bool blockProtect; // BPROT protects EEPROM blocks and CONFIG
};

inline constexpr std::array<ChipVariant, 5> kChipVariants{{
    {ChipKind::A1, "a1", "MC68HC11A1", 256, 512, 0xB600, false, 0, 0, 0xBF40, BootRule::Exactly256, false},
    {ChipKind::A8, "a8", "MC68HC11A8", 256, 512, 0xB600, false, 0xE000, 0x2000, 0xBF40, BootRule::Exactly256,
     false},
    {ChipKind::E1, "e1", "MC68HC11E1", 512, 512, 0xB600, false, 0, 0, 0xBF00, BootRule::UpToRam, true},
    {ChipKind::E9, "e9", "MC68HC11E9", 512, 512, 0xB600, false, 0xD000, 0x3000, 0xBF00, BootRule::UpToRam, true},
    {ChipKind::E2, "811e2", "MC68HC811E2", 256, 2048, 0xF800, true, 0, 0, 0xBF00, BootRule::UpToRam, true},
}};
static_assert(kChipVariants[0].kind == ChipKind::A1 && kChipVariants[4].kind == ChipKind::E2);

inline constexpr ChipKind kDefaultChip = ChipKind::A1;

// The row of one chip.
constexpr const ChipVariant& chipVariant(ChipKind kind) { return kChipVariants[static_cast<size_t>(kind)]; }

// The chip named as typed (case-insensitive: "A1", "e9", "811E2"); nothing for an unknown name.
constexpr std::optional<ChipKind> findChip(std::string_view name) {
    for (const auto& chip : kChipVariants) {
        if (chip.name.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) {
            char c = name[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            same = c == chip.name[i];
        }
        if (same)
            return chip.kind;
    }
    return std::nullopt;
}

// Where the EEPROM starts with this CONFIG value (only the 811E2's moves).
constexpr uint16_t eepromStartFor(const ChipVariant& chip, uint8_t config) {
    if (!chip.eepromMovable)
        return chip.eepromStart;
    return static_cast<uint16_t>(((config >> 4) << 12) | 0x0800);
}

// The longest download the boot loader takes.
constexpr uint16_t bootLoadLimit(const ChipVariant& chip) {
    return chip.bootRule == BootRule::Exactly256 ? 256 : chip.ramSize;
}

// ---- crystal ---------------------------------------------------------------------------------
// The E clock is a quarter of the crystal; every SCI rate is E divided by 16, a prescaler and a
// power of two, so rates scale with the crystal. With the usual 8 MHz crystal the boot loader runs
// at 1202 baud, the talker at 9615 and the fast line at 125000.
inline constexpr uint32_t kDefaultCrystalHz = 8'000'000;

// The rate the SCI makes from E / (16 * prescale * 2^divider), rounded to the nearest baud.
constexpr uint32_t sciRate(uint32_t crystalHz, uint32_t prescale, uint32_t divider) {
    const uint64_t denom = 4ull * 16ull * prescale * (1ull << divider);
    return static_cast<uint32_t>((crystalHz + denom / 2) / denom);
}
// The boot loader's download rate (prescale 13, SCR 3: BAUD = $33).
constexpr uint32_t bootRate(uint32_t crystalHz) { return sciRate(crystalHz, 13, 3); }
// The talker's command rate (prescale 13, SCR 0: BAUD = $30).
constexpr uint32_t talkerRate(uint32_t crystalHz) { return sciRate(crystalHz, 13, 0); }
// Our talker's fast line (prescale 1, SCR 0: BAUD = $00).
constexpr uint32_t fastRate(uint32_t crystalHz) { return sciRate(crystalHz, 1, 0); }
static_assert(bootRate(kDefaultCrystalHz) == 1202 && talkerRate(kDefaultCrystalHz) == 9615 &&
              fastRate(kDefaultCrystalHz) == 125000);
