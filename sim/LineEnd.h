#pragma once
#include "sim/LineSettings.h"
#include <cstddef>
#include <cstdint>

// The board's end of its serial line to the host, whatever carries it (a pseudo-terminal, or
// queues in memory when the host lives in the same process).
class LineEnd {
public:
    virtual ~LineEnd() = default;
    // A descriptor that polls readable when the host has sent something; -1 when closed.
    virtual int fd() const = 0;
    // The host's current line settings.
    virtual LineSettings hostSettings() const = 0;
    // Reads whatever the host has sent, up to capacity bytes; 0 when nothing is queued. When
    // sentWith is given it receives the host's settings the bytes were sent with (all the bytes
    // returned by one call were sent with the same settings).
    virtual size_t read(uint8_t* buffer, size_t capacity, LineSettings* sentWith = nullptr) = 0;
    // Sends one byte to the host; false when the host's input queue is full (the byte is lost).
    virtual bool write(uint8_t byte) = 0;
};
