// Kept apart: <asm/termbits.h> clashes with the <termios.h> the rest of the port uses.
#include "serial/custom_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace korvan {

int SetCustomBaud(int fd, int baud) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) < 0) {
        return -1;
    }
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(baud);
    settings.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &settings);
}

}  // namespace korvan
