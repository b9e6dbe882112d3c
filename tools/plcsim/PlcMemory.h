// The memory of a simulated PLC: inputs, outputs, flags and data blocks of 65536 bytes each
// (V memory is data block 1); special memory, analog inputs and outputs; timers and counters as
// one 16-bit word per element, kept apart per family's codes (0x1D S5TIME and 0x1C BCD words of
// an S7-300/400, 0x1F tick counts and 0x1E signed counts of an S7-200); the periphery as an
// input image (area 0x80, what reads return) and an output image (PeripheralOutputs, what
// writes to 0x80 change). A few timers and counters hold known values from the start (Seeds). Shared by the S7 server and the PPI station; safe to use from
// several threads, so a test can look at what a driver wrote.
#ifndef PLCMEMORY_H
#define PLCMEMORY_H

#include <QByteArray>
#include <QHash>
#include <QMutex>

class PlcMemory
{
public:
    static constexpr int AreaSize = 65536;
    // Where writes to area 0x80 land: no S7 area code, so that it never meets one on the wire.
    static constexpr int PeripheralOutputs = 0x180;

    // The values a new memory holds, as the PLC keeps them.
    struct Seed { int area; int number; quint16 word; };
    static constexpr Seed Seeds[] = {
        {0x1D, 5, 0x2005},      // T5 = S5T#5S (1 s x 5)
        {0x1D, 6, 0x1123},      // T6 = 12.3 s (100 ms x 123)
        {0x1C, 5, 0x0042},      // C5 = 42
        {0x1F, 37, 150},        // T37: 150 ticks of 100 ms = 15 s
        {0x1F, 32, 250},        // T32: 250 ticks of 1 ms
        {0x1E, 5, 0xFFFD},      // C5 = -3 (an up/down counter below 0)
    };
    // Text and time values in data block 7 and V memory, as a PLC keeps them, for reads of the
    // text forms (docs/commissioning.md lists them). DB7.STRING92 is a fault: its current length
    // (9) exceeds its max (4), which a read must refuse.
    struct ByteSeed { int db; int byte; const char *hex; };
    static constexpr ByteSeed TextSeeds[] = {
        {7, 0, "0a085265636970652041"},             // DB7.STRING0[10] = "Recipe A"
        {7, 12, "0a04c4e3bac3"},                    // DB7.STRING12[10] = GBK "你好"
        {7, 24, "0a074772f6df652080"},              // DB7.STRING24[10]: windows-1252 "Größe €"
        {7, 36, "000a00024e2d6587"},                // DB7.WSTRING36[10] = "中文"
        {7, 60, "2612092304051234"},                // DB7.DT60 = 2026-12-09T23:04:05.123
        {7, 68, "07ea0c0904170405075bcd15"},        // DB7.DTL68 = 2026-12-09T23:04:05.123456789
        {7, 80, "34b3"},                            // DB7.DATE80 = 2026-12-09
        {7, 82, "04f32b03"},                        // DB7.TOD82 = 23:04:05.123
        {7, 86, "0038cefc"},                        // DB7.TIME86 = T#1h2m3s4ms
        {7, 90, "1125"},                            // DB7.S5TIME90 = S5T#12s500ms
        {7, 92, "0409414243444546474849"},          // DB7.STRING92: length 9 above max 4
        {7, 104, "4f4b2020"},                       // DB7.CHAR104[4] = "OK"
        {1, 4000, "0548656c6c6f"},                  // VSTRING4000[20] = "Hello"
        {1, 4032, "2612092304051234"},              // VDT4032 = 2026-12-09T23:04:05.123
    };
    PlcMemory();

    // area: the S7 area code (0x81 inputs, 0x82 outputs, 0x83 flags, 0x84 data blocks, 0x05,
    // 0x06, 0x07, 0x1C to 0x1F, 0x80) or PeripheralOutputs; a timer or counter's number n is
    // its word at byte 2n.
    // False when the area is unknown or the range leaves the area; nothing is read or written then.
    bool read(int area, int dbNumber, int byteAddress, int length, QByteArray *out);
    bool write(int area, int dbNumber, int byteAddress, const QByteArray &data);
    bool readBit(int area, int dbNumber, int bitAddress, bool *bit);
    bool writeBit(int area, int dbNumber, int bitAddress, bool bit);

    // Every block touched so far, keyed (area << 16) | data-block number, for tests that check
    // that nothing but the place they named has changed.
    QHash<quint32, QByteArray> contents();

private:
    QByteArray *block(int area, int dbNumber);

    QMutex mutex;
    QHash<quint32, QByteArray> blocks;
};

#endif // PLCMEMORY_H
