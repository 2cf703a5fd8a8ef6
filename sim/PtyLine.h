#pragma once
#include "sim/LineEnd.h"
#include "sim/LineSettings.h"
#include <cstddef>
#include <cstdint>
#include <string>

// The board's end of the serial line: the master side of a pseudo-terminal. The host opens the
// slave device (or the symbolic link made to it) as its serial port; its line settings are read
// back from the pseudo-terminal (the pair shares one termios). The board holds the slave open
// itself, so the host can close and reopen its port without the master seeing a hang-up.
class PtyLine : public LineEnd {
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
    int fd() const override { return master_; }
    // The slave device, e.g. /dev/pts/3.
    const std::string& slavePath() const { return slavePath_; }
    // The path a host opens: the link when one was made, else the slave device.
    std::string devicePath() const { return linkPath_.empty() ? slavePath_ : linkPath_; }

    // The host's current line settings. A Linux pseudo-terminal keeps only the rate (it forces
    // 8 data bits without parity), so on it the rate is the setting that can differ. Any rate is
    // seen, the classic ones and those set through termios2 (e.g. 125000).
    LineSettings hostSettings() const override;
    // Reads whatever the host has sent, up to capacity bytes; 0 when nothing is queued. The
    // settings reported are those in force when the bytes are taken (a pseudo-terminal keeps no
    // record of the settings each byte was sent with; the host's writes wait for the wire).
    size_t read(uint8_t* buffer, size_t capacity, LineSettings* sentWith = nullptr) override;
    // Sends one byte to the host; false when the host's input queue is full (the byte is lost).
    bool write(uint8_t byte) override;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};
