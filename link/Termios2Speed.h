#pragma once
#include <cstdint>

// Line rates outside the classic B-constant table ("custom" rates such as 125000) through the
// Linux termios2 interface (TCGETS2/TCSETS2 with BOTHER). Kept apart from <termios.h>, whose
// struct termios clashes with the kernel's: these functions take only a descriptor and numbers.

// Sets input and output rate of the terminal fd to exactly baud bits per second, leaving every
// other setting as it is; 0 or the errno of the failed ioctl.
int setTermios2Speed(int fd, uint32_t baud);
// Reads the rate the driver keeps for fd (the one it actually uses, which a real UART may round);
// 0 or the errno of the failed ioctl. For a classic rate set through cfsetspeed the driver's
// figure is also filled in on current kernels, but only a custom rate is guaranteed here.
int readTermios2Speed(int fd, uint32_t* inputBaud, uint32_t* outputBaud);
