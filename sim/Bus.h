#pragma once
#include <cstdint>

// What the CPU core sees of the board: memory, peripherals' clock and vectors.
// The core knows nothing of the memory map beyond this interface.
class Bus {
public:
    virtual ~Bus() = default;

    // Byte access for anything that is not on a fast page.
    virtual uint8_t read(uint16_t address) = 0;
    virtual void write(uint16_t address, uint8_t value) = 0;
    // Advances every peripheral by the given number of E cycles.
    virtual void tick(uint32_t cycles) = 0;
    // The 16-bit vector for the given normal-mode vector address ($FFC0..$FFFE);
    // a board in a special mode fetches it from $BFC0..$BFFE instead.
    virtual uint16_t readVector(uint16_t normalVectorAddress) = 0;

    // E cycles the core may run on before it must pass them to tick(): the time to the next event
    // a peripheral has scheduled. The core passes its cycles at once before any read or write that
    // is not on a fast page, so a peripheral always sees the time its access takes place.
    uint32_t tickSlack = 0;

    // Fast path for plain memory: a non-null entry points at the 256 bytes of that page.
    // Pages with registers, EEPROM, ROM or unmapped holes stay null (or null for writes only).
    uint8_t* readPage[256] = {};
    uint8_t* writePage[256] = {};
};
