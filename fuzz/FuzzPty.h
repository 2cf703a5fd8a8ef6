#pragma once
#include "PtyPair.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The tests' pseudo-terminal pair under the names the fuzz entries use: the code under test
// opens the slave by path while the entry plays the far end on the master.
class FuzzPty : public PtyPair {
public:
    // Queues bytes for the host; false when not all were taken.
    bool send(const std::vector<uint8_t>& bytes) { return write(bytes); }
    // At most n bytes the host sent, each awaited up to timeoutMs; never more than n.
    std::vector<uint8_t> receive(size_t n, int timeoutMs) { return readBytes(n, timeoutMs); }
};
