#include "link/Termios2Speed.h"

// Only the kernel's headers here: <termios.h> defines a different struct termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace {
int getTermios2(int fd, termios2& tio) {
    for (;;) {
        if (::ioctl(fd, TCGETS2, &tio) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}
} // namespace

int setTermios2Speed(int fd, uint32_t baud) {
    termios2 tio{};
    if (const int error = getTermios2(fd, tio))
        return error;
    // BOTHER in both the output and the input field: the rates are taken from c_ospeed/c_ispeed.
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    for (;;) {
        if (::ioctl(fd, TCSETS2, &tio) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

int readTermios2Speed(int fd, uint32_t* inputBaud, uint32_t* outputBaud) {
    termios2 tio{};
    if (const int error = getTermios2(fd, tio))
        return error;
    if (inputBaud)
        *inputBaud = tio.c_ispeed;
    if (outputBaud)
        *outputBaud = tio.c_ospeed;
    return 0;
}
