// The simulated PPI station's framing: judging the frames that come off its line and building
// its replies. Pure functions of bytes. The station judges frames with code of its own rather
// than with the driver's framer, so that the two check each other; the frame kinds and the check
// sum are the ones of PpiFrames.
#ifndef PPISTATIONFRAMES_H
#define PPISTATIONFRAMES_H

#include <QByteArray>

namespace PpiStationFrames {

// Length of the frame at the front of `rx`: > 0 complete, 0 incomplete, -1 not a frame start
// (or a candidate whose check sum has come and is wrong: a receiver gives up right then).
int frameLength(const QByteArray &rx);

// Whether a frame that frameLength found whole has its check sum and end delimiter right.
bool checksumOk(const QByteArray &frame);

// A fixed-length frame (SD1) without data.
QByteArray fixed(int da, int sa, int fc);
// A variable-length frame (SD2) around `pdu`.
QByteArray variable(int da, int sa, int fc, const QByteArray &pdu);
// A fixed-length frame with eight data bytes (SD3).
QByteArray fixedData(int da, int sa, int fc, const QByteArray &eightBytes);

// The answer PDU with its data (whatever follows the item header) inverted: a value that must
// never reach a caller.
QByteArray withOtherData(QByteArray pdu);

} // namespace PpiStationFrames

#endif // PPISTATIONFRAMES_H
