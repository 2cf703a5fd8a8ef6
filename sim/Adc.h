#pragma once
#include <cstdint>

// The A/D converter: ADCTL and ADR1-ADR4 at $1030-$1034, inputs PE0-PE7 as 8-bit values
// (0 = VRL, 255 = VRH). A write to ADCTL starts a sequence of four conversions of 32 E cycles
// each; CCF is set when the fourth is done (128 E cycles after the write). With MULT clear the
// four conversions all take the channel CD:CA, with MULT set the four channels of CD:CC's group;
// with SCAN set the sequence repeats, each conversion refreshing its result register.
//
// Behaviour chosen where the chip leaves room:
// - A conversion takes the input's value as it is when the conversion ends.
// - With ADPU (OPTION) clear the converter has no charge pump: conversions give $00.
// - ADCTL reads back CCF, SCAN, MULT and CD:CA (bit 6 reads 0); results read $00 out of reset.
class Adc {
public:
    static constexpr uint8_t kAdctl = 0x30, kAdr1 = 0x31, kAdr4 = 0x34;
    static constexpr uint8_t kCcf = 0x80, kScan = 0x20, kMult = 0x10;
    static constexpr uint64_t kConversionCycles = 32;

    void reset(uint64_t now);
    static bool owns(uint8_t reg) { return reg >= kAdctl && reg <= kAdr4; }
    uint8_t read(uint8_t reg, uint64_t now, bool powered);
    void write(uint8_t reg, uint8_t value, uint64_t now, bool powered);
    // Sets the value of analog input PE`channel` from `now` on.
    void setInput(int channel, uint8_t value, uint64_t now, bool powered);
    uint8_t input(int channel) const { return inputs_[channel & 7]; }

private:
    void catchUp(uint64_t now, bool powered);
    int channelOf(int conversion) const;

    uint8_t adctl_ = 0;
    uint8_t adr_[4] = {};
    uint8_t inputs_[8] = {};
    bool running_ = false;
    uint64_t start_ = 0;
    uint64_t done_ = 0; // conversions finished and stored so far, counted from start_
};
