// The line settings a serial device is running with, as the driver set them on the other end of
// a pseudo-terminal: lets a test see what the driver really asked for.
#ifndef PTYLINESETTINGS_H
#define PTYLINESETTINGS_H

struct LineSettings {
    int baud = 0;
    int dataBits = 0;
    int stopBits = 0;
    char parity = '?';      // 'N', 'E' or 'O'
};

// Reads the settings of the terminal `fd`; false when it is none.
bool readLineSettings(int fd, LineSettings *settings);

#endif // PTYLINESETTINGS_H
