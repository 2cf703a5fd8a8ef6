#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal whose slave the code under test opens by path while the fuzz entry plays
// the far end on the master. The pair keeps its own slave descriptor open, so the port can be
// closed and reopened without the master seeing a hang-up.
class FuzzPty {
public:
    // Opens the pair; valid() tells whether it worked.
    FuzzPty();
    ~FuzzPty();
    FuzzPty(const FuzzPty&) = delete;
    FuzzPty& operator=(const FuzzPty&) = delete;

    // True when both ends are open.
    bool valid() const { return master_ >= 0 && slave_ >= 0; }
    // The slave's device path.
    const std::string& slavePath() const { return slavePath_; }

    // Queues bytes for the host (at most a few kilobytes); false when not all were taken.
    bool send(const std::vector<uint8_t>& bytes);
    // Waits (up to timeoutMs) until the slave descriptor hostFd has at least count bytes queued.
    static bool awaitQueued(int hostFd, size_t count, int timeoutMs);
    // At most n bytes the host sent, each awaited up to timeoutMs; never more than n.
    std::vector<uint8_t> receive(size_t n, int timeoutMs);
    // Discards everything the host has sent so far.
    void discard();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
