#include "line_speed.h"

// The kernel's termios2 (with its own rate fields) cannot share a file with
// <termios.h>, which is why this lives apart from the transport.
#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

namespace sim {

int terminalBaudRate(int fd)
{
#if defined(__linux__) && defined(TCGETS2)
    struct termios2 tio
    {
    };
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    // The kernel keeps c_ospeed in step with the B-constant set the old way too.
    return int(tio.c_ospeed);
#else
    (void)fd;
    return 0;
#endif
}

} // namespace sim
