#pragma once
#include <cstdint>

// The target's registers as the talker transfers them, fields in the order of the $81/$C1 frame.
// SP is the address of the stacked CCR; the interrupted program's own stack pointer is SP + 8.
struct Registers {
    uint32_t SP = 0;
    uint8_t CCR = 0;
    uint8_t B = 0;
    uint8_t A = 0;
    uint32_t X = 0;
    uint32_t Y = 0;
    uint32_t PC = 0;

    bool operator==(const Registers&) const = default;
};
