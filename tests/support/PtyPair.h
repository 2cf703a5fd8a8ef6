#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal pair for tests and fuzz entries: the code under test opens the slave by its
// path, the test plays the far end on the master. The slave descriptor is held open for the pair's life so the
// port can be closed and reopened without the master seeing a hang-up; the slave starts raw.
class PtyPair {
public:
    // Opens the pair; valid() tells whether it worked.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // True when both ends are open.
    bool valid() const { return master_ >= 0 && slave_ >= 0; }
    // The master descriptor (non-blocking), -1 once closed.
    int master() const { return master_; }
    // The slave descriptor held by the pair, -1 once closed.
    int slave() const { return slave_; }
    // The slave's device path, e.g. /dev/pts/5.
    const std::string& slavePath() const { return slavePath_; }
    // A mode text for the slave: path + ":" + baud + ",n,8,1".
    std::string modeText(int baud = 9600) const;

    // Closes the master: the far end disappears, the slave sees a hang-up.
    void closeMaster();
    // Closes the pair's own slave descriptor.
    void closeSlave();

    // One byte from the master within timeoutMs; -1 on time-out or a closed end.
    int readByte(int timeoutMs);
    // Up to n bytes from the master, each awaited at most timeoutMs.
    std::vector<uint8_t> readBytes(size_t n, int timeoutMs);
    // Everything queued on the master now, waiting up to firstByteMs for the first byte.
    std::vector<uint8_t> readAvailable(int firstByteMs = 0);
    // Writes all bytes to the master (waiting up to a second at a time for room); false on failure.
    bool write(const std::vector<uint8_t>& bytes);
    // Discards everything queued on the master now (what the code under test has sent).
    void discard();
    // Waits (up to timeoutMs) until the descriptor fd, e.g. the port's, has at least count bytes queued.
    static bool awaitQueued(int fd, size_t count, int timeoutMs);

    // The slave's current output baud rate as an integer, custom rates included (0 when unknown).
    int slaveBaud() const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
