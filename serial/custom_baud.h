#pragma once

namespace korvan {

// Sets a baud rate that has no B-constant (28800) through the kernel's termios2 interface.
// Returns 0, or -1 with errno set.
int SetCustomBaud(int fd, int baud);

}  // namespace korvan
