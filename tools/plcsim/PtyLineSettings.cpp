#include "PtyLineSettings.h"

// termios2 carries any baud rate as a number (a rate such as 187500 has no B constant); its
// header cannot share a translation unit with the C library's termios.h.
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool readLineSettings(int fd, LineSettings *settings)
{
    struct termios2 tio {};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    settings->baud = int(tio.c_ospeed);
    switch (tio.c_cflag & CSIZE) {
    case CS5: settings->dataBits = 5; break;
    case CS6: settings->dataBits = 6; break;
    case CS7: settings->dataBits = 7; break;
    default: settings->dataBits = 8; break;
    }
    settings->stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    settings->parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    return true;
}
