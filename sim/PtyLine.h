#pragma once
#include "sim/LineSettings.h"
#include <cstddef>
#include <cstdint>
#include <string>

// The board's end of the serial line: the master side of a pseudo-terminal. The host opens the
// slave device (or the symbolic link made to it) as its serial port; its line settings are read
// back from the pseudo-terminal (the pair shares one termios). The board holds the slave open
// itself, so the host can close and reopen its port without the master seeing a hang-up.
class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Creates the pseudo-terminal (raw, 9600 8N1) and, when linkPath is not empty, a symbolic link
    // to its slave there (an existing symbolic link is replaced, any other file is an error).
    bool open(const std::string& linkPath, std::string* error);
    // Closes both ends and removes the link.
    void close();
    // The master descriptor (non-blocking), for poll; -1 when closed.
    int fd() const { return master_; }
    // The slave device, e.g. /dev/pts/3.
    const std::string& slavePath() const { return slavePath_; }
    // The path a host opens: the link when one was made, else the slave device.
    std::string devicePath() const { return linkPath_.empty() ? slavePath_ : linkPath_; }

    // The host's current line settings. A Linux pseudo-terminal keeps only the rate (it forces
    // 8 data bits without parity), so on it the rate is the setting that can differ.
    LineSettings hostSettings() const;
    // Reads whatever the host has sent, up to capacity bytes; 0 when nothing is queued.
    size_t read(uint8_t* buffer, size_t capacity);
    // Sends one byte to the host; false when the host's input queue is full (the byte is lost).
    bool write(uint8_t byte);

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};
