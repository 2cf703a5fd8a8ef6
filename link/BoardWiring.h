#pragma once
#include "hc11/ChipVariant.h"
#include <cstdint>
#include <optional>
#include <string>

class ByteChannel;

// What the host needs to know about how a board is wired to its serial line: the rates the
// board's crystal gives the chip's SCI, and a modem line that can reset the chip.

// The rates the host sets for the three phases of a start: the boot loader's download, the
// talker's commands and our talker's fast line.
struct LineRates {
    uint32_t boot = 1200;
    uint32_t talker = 9600;
    uint32_t fast = 125000;
    bool operator==(const LineRates&) const = default;
};

// The host's rates for a crystal. Each is the rate the chip's SCI makes, except where a classic
// rate (1200, 9600, ...) lies within 0.5 % of it: every driver and adapter makes a classic rate
// exactly, and 0.5 % is far inside what an SCI receiver takes (with 8 MHz the chip makes 1202 and
// 9615; the host sets 1200 and 9600). Any other rate is set as it is (termios2 BOTHER).
LineRates hostRatesFor(uint32_t crystalHz);

// The crystals boards are commonly built with, the usual one first.
inline constexpr uint32_t kCommonCrystalsHz[] = {8'000'000, 4'915'200, 7'372'800, 9'830'400, 12'000'000};
// The crystals the host accepts: the chip's oscillator runs from these (and its boot loader's
// rate, a 6656th of the crystal, stays above 150 baud).
inline constexpr uint32_t kMinCrystalHz = 1'000'000;
inline constexpr uint32_t kMaxCrystalHz = 20'000'000;
// A crystal typed in MHz ("8", "4.9152", "12.0"); nothing when it is no number or out of range.
std::optional<uint32_t> crystalFromMhzText(const std::string& text);
// The crystal in MHz as a user types it: "8", "4.9152", "7.3728".
std::string crystalMhzText(uint32_t crystalHz);

// Which modem line, if any, resets the board.
enum class ResetLine : uint8_t { None, Dtr, Rts };

// A reset of the chip from the host through DTR or RTS, for boards wired for it. The driver
// asserts both lines whenever the port opens, so after every open the line is put to its idle
// level at once; the pulse then takes it to the resetting level and back.
struct ResetPulse {
    ResetLine line = ResetLine::None;
    // True: asserting the line holds the chip in reset (an adapter's DTR#/RTS# pin goes low when
    // asserted, as RESET wants); false: the board inverts it, and negating the line resets.
    bool assertResets = true;
    bool operator==(const ResetPulse&) const = default;
};
// How long the line holds the chip in reset, and how long the host then waits before the
// download: the reset itself (4064 E cycles), the boot loader's set-up and its break.
inline constexpr int kResetPulseMs = 50;
inline constexpr int kAfterResetPulseMs = 100;

// The reset choice as typed: "none", "dtr", "rts", "dtr-inverted", "rts-inverted" (any case).
std::optional<ResetPulse> resetPulseFromText(const std::string& text);
// The text resetPulseFromText takes for this choice.
std::string resetPulseText(const ResetPulse& pulse);
// "DTR" or "RTS" (empty for none).
std::string resetLineName(ResetLine line);

// Puts the reset line to its idle level; 0 (also when no line is chosen) or the errno of the
// failed step (ENOTTY: the device has no modem lines).
int holdResetIdle(ByteChannel& channel, const ResetPulse& pulse);
// Resets the chip: the idle level, the resetting level for kResetPulseMs, the idle level again,
// then waits kAfterResetPulseMs and drops what the chip sent meanwhile (its break). 0 or the
// errno of the failed step; nothing is done when no line is chosen.
int pulseReset(ByteChannel& channel, const ResetPulse& pulse);
