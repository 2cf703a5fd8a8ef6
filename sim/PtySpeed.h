#pragma once
#include <cstdint>

// The output rate a terminal's driver keeps for fd, read through termios2 (TCGETS2), so rates
// outside the classic B-constant table (such as 125000) are seen exactly; 0 when it cannot be
// read. On a pseudo-terminal master this is the rate its slave (the host's port) was set to.
// Kept apart from <termios.h>, whose struct termios clashes with the kernel's.
uint32_t terminalOutputBaud(int fd);
