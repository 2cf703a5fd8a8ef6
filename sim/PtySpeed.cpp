#include "sim/PtySpeed.h"

// Only the kernel's headers here: <termios.h> defines a different struct termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

uint32_t terminalOutputBaud(int fd) {
    termios2 tio{};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return tio.c_ospeed;
}
