#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The board's pins as the outside names and drives them: one set of rules for the stimulus file,
// the command line's "pin" command and a board panel.
//
// Names: PA0-PA7, PB0-PB7, PC0-PC7, PD0-PD5, PE0-PE7, STRA, IRQ, XIRQ (any case).
// Values:
// - a level: high, low, 1, 0, rise (high after low), fall (low after high);
// - pulse WIDTH: the other level for WIDTH (a time), then back;
// - on PE0-PE7 an analog input: VOLTSv (against VRL..VRH, "2.5v"), or an 8-bit value (128, $80,
//   0x80); high and low are VRH and VRL there, and a bare 0 or 1 is an 8-bit value.
// Times: a whole number of E cycles (1000), or microseconds, milliseconds, seconds with a unit
// (250us, 1.5ms, 2s) taken to the nearest E cycle at the 2 MHz E clock.
//
// Chosen where the chip leaves room:
// - Volts map to round(255 x (V - VRL) / (VRH - VRL)); below VRL reads $00 and above VRH $FF, as
//   the converter saturates. A voltage outside 0-5.5 V (beyond the chip's supply) is refused.
// - PA4-PA6 and port B are outputs only; driving them is refused. Other pins take the level
//   whatever their direction is now: it reaches the chip when the pin is (or becomes) an input.

enum class PinGroup : uint8_t { PortA, PortB, PortC, PortD, PortE, Stra, Irq, Xirq };

struct PinName {
    PinGroup group = PinGroup::PortA;
    uint8_t bit = 0; // 0-7 on a port; 0 for STRA, IRQ and XIRQ
    bool operator==(const PinName&) const = default;
};

// What one timed event does.
enum class PinDrive : uint8_t {
    Level,   // value 0 or 1 on `pin`
    Analog,  // value 0-255 on PE`pin.bit`
    SpiByte, // value is the next byte the attached SPI device returns (pin unused)
};

struct PinEvent {
    uint64_t at = 0; // E cycles (from the board's start in a file; from now for a command)
    PinDrive drive = PinDrive::Level;
    PinName pin{};
    uint8_t value = 0;
    bool operator==(const PinEvent&) const = default;
};

// How a level change was asked for: an edge must change the pin's level.
enum class LevelWord : uint8_t { Plain, Rise, Fall };

// The analog references volts are measured against.
struct AnalogReference {
    double vrl = 0.0;
    double vrh = 5.0;
};

// Number of pins on each port (port D has six).
int portPinCount(PinGroup group);
// The pin a name stands for; nothing for an unknown name.
std::optional<PinName> parsePinName(std::string_view text);
// The pin's name as the user types it ("PA2", "IRQ").
std::string pinNameText(PinName pin);
// True for pins the outside may drive (not PA4-PA6, not port B).
bool pinTakesInput(PinName pin);
// E cycles in a time text (see above); false with the reason in error.
bool parsePinTime(std::string_view text, uint64_t* cycles, std::string* error);
// An 8-bit value typed as decimal, $hex or 0xhex; false for anything else.
bool parsePinByte(std::string_view text, uint8_t* value);
// Volts as an 8-bit converter value against `ref`; false with the reason in error.
bool voltsToValue(double volts, const AnalogReference& ref, uint8_t* value, std::string* error);

// One parsed setting of a pin: the events it makes, timed from 0, and the kind of level word
// used (for the edge check of a file). A pulse makes two events, written as a high pulse; one on
// a pin that is high at its start is turned into a low pulse by whoever knows the level.
struct PinSetting {
    std::vector<PinEvent> events;
    LevelWord word = LevelWord::Plain;
    bool pulse = false;
};
// Turns a pulse's two events into a low pulse.
void invertPulse(PinSetting* setting);
// Parses the value words after a pin's name; false with the reason in error.
bool parsePinSetting(PinName pin, const std::vector<std::string_view>& words, const AnalogReference& ref,
                     PinSetting* setting, std::string* error);
// Splits a line into words at blanks.
std::vector<std::string_view> splitWords(std::string_view line);
// A target (a pin's name, or "spi" for bytes the attached SPI device returns, one a transfer)
// and its value words, as a stimulus line or a "pin" command gives them; false with the reason.
bool parseDrive(std::string_view target, const std::vector<std::string_view>& words, const AnalogReference& ref,
                PinSetting* setting, std::string* error);
