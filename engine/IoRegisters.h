#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The 68HC11A-series register block at $1000-$103F: names, bits, and which reads disturb the chip.
namespace IoRegisters {

inline constexpr uint32_t kBase = 0x1000;
inline constexpr uint32_t kCount = 0x40;

// One register of the block.
struct Info {
    const char* name;                 // empty for an unused address (second bytes of 16-bit registers are named too)
    std::array<const char*, 8> bits;  // bit 7 first; "-" for a bit with no function
    bool readDisturbs;                // a read changes the chip's state (clears a flag, takes a received byte)
};

// The register at $1000 + offset (offset below kCount).
const Info& info(uint32_t offset);

// True when reading the register at $1000 + offset changes the chip's state: the SCI status and
// data (SCSR then SCDR clears RDRF and takes the talker's received byte) and the SPI's (SPSR then
// SPDR clears SPIF). Such registers are read only when asked for.
bool readDisturbs(uint32_t offset);

// One line of the decoded block: "$102d SCCR2   $2c %00101100  RIE TE RE" (the names of the set
// bits); a register that was not read shows "(not read)".
std::string line(uint32_t offset, uint8_t value, bool read);

} // namespace IoRegisters
