#pragma once
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// The host end of a board's serial line in the tests: the device opened raw with termios.
class LineClient {
public:
    ~LineClient() { close(); }
    // Opens the device at the given rate (8N1 unless told otherwise); false on failure.
    bool open(const std::string& path, int baud, int dataBits = 8, bool parity = false);
    // Changes the line settings of the open device.
    bool setSettings(int baud, int dataBits = 8, bool parity = false);
    void close();
    bool write(const std::vector<uint8_t>& bytes);
    // Up to n bytes, waiting at most timeoutMs for each.
    std::vector<uint8_t> read(size_t n, int timeoutMs = 3000);
    // Discards whatever has arrived, after letting the line settle for settleMs.
    void drain(int settleMs = 50);

private:
    int fd_ = -1;
};

// tarvik11-board run as a child process with its line linked at a path of our own.
class BoardProcess {
public:
    ~BoardProcess() { stop(); }
    // Starts the program with the given extra arguments; false unless it reports "ready".
    bool start(const std::string& linkPath, const std::vector<std::string>& extraArgs);
    // Sends a signal to the program.
    void signal(int sig);
    // Stops it with SIGTERM and returns its exit status (-1 when it was not running).
    int stop();
    // The "ready" line's device.
    const std::string& device() const { return device_; }

private:
    pid_t pid_ = -1;
    std::string device_;
};
