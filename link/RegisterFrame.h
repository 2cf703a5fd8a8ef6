#pragma once
#include "TalkerStatus.h"
#include <cstdint>

class TalkerLink;

// The target's registers as the talker transfers them. SP is the address of the stacked
// CCR; the interrupted program's own stack pointer is SP + 8.
class RegisterFrame {
public:
    explicit RegisterFrame(TalkerLink& link) : link_(link) {}

    // Fills the fields from the talker (command $81).
    TalkerStatus read();
    // Sends the fields to the talker (command $C1).
    TalkerStatus write();

    uint32_t SP = 0;
    uint8_t CCR = 0;
    uint8_t B = 0;
    uint8_t A = 0;
    uint32_t X = 0;
    uint32_t Y = 0;
    uint32_t PC = 0;

private:
    TalkerLink& link_;
};
