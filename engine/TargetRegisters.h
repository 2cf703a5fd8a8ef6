#pragma once
#include <cstdint>

// A copy of the target's register frame as the talker transfers it (SP is the address of the
// stacked CCR; the interrupted program's own stack pointer is SP + 8).
struct TargetRegisters {
    uint32_t SP = 0;
    uint8_t CCR = 0;
    uint8_t B = 0;
    uint8_t A = 0;
    uint32_t X = 0;
    uint32_t Y = 0;
    uint32_t PC = 0;
};
