#pragma once
#include <cstdint>

// One software-interrupt site: a target address and the byte that the SWI ($3F) displaces.
struct BreakpointRecord {
    uint32_t address = 0;    // target address; 0 marks a free breakpoint record
    uint8_t savedOpcode = 0; // the target's own byte at address
    bool planted = false;    // an SWI may be in target memory at address and must be written back
};
