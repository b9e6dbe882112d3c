// The S7 transport's stream framing and every judge of an S7 answer. The input is a byte stream
// that arrives in pieces (sizes drawn from the input), as TCP may deliver it.
// Invariants: the framer never reports a length it cannot stand behind, never takes a frame
// apart at other boundaries than its own length field, and once the front of the stream is
// broken, no more bytes mend it; a judge that accepts an answer has seen, at the offsets of the
// protocol, exactly what a good answer holds, and hands on exactly the bytes at the data offsets.
// Only an S7 acknowledgement with the job's reference answers a job; a resynchronisation lands
// on a plausible TPKT header.
// The same stream is also taken apart as TSDUs (data units joined up to the one that ends them):
// a joined PDU is exactly the units' bytes in order, never more than the granted PDU, and a PDU
// cut into TPDUs of any size is joined back to itself.
#include <QByteArray>

#include "ByteOrder.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "IsoTcpFrames.h"

namespace {

using ByteOrder::u8;
using ByteOrder::be16;

void judgeFrame(const QByteArray &frame, int byteCount, quint16 reference)
{
    // Read answer: TPKT 4, COTP 3, ack header 12, parameter 2, item header 4, then the data.
    QByteArray data("kept");
    if (IsoTcp::judgeReadAnswer(frame, byteCount, &data)) {
        FUZZ_CHECK(frame.size() == 25 + byteCount, "a read answer of the wrong length accepted");
        FUZZ_CHECK(u8(frame, 5) == 0xF0 && u8(frame, 7) == 0x32 && u8(frame, 8) == 0x03,
                   "a read answer that is no S7 acknowledgement accepted");
        FUZZ_CHECK(u8(frame, 17) == 0 && u8(frame, 18) == 0, "a read answer with a header error accepted");
        FUZZ_CHECK(u8(frame, 19) == 0x04, "an answer to another function accepted as a read answer");
        FUZZ_CHECK(u8(frame, 21) == 0xFF, "a read answer with an error item accepted");
        FUZZ_CHECK(data == QByteArray("kept") + frame.mid(25, byteCount), "read data not taken from offset 25");
    } else {
        FUZZ_CHECK(data == "kept", "a refused read answer changed the output");
    }
    if (IsoTcp::judgeWriteAnswer(frame)) {
        FUZZ_CHECK(frame.size() == 22, "a write answer of the wrong length accepted");
        FUZZ_CHECK(u8(frame, 5) == 0xF0 && u8(frame, 7) == 0x32 && u8(frame, 8) == 0x03,
                   "a write answer that is no S7 acknowledgement accepted");
        FUZZ_CHECK(u8(frame, 17) == 0 && u8(frame, 18) == 0, "a write answer with a header error accepted");
        FUZZ_CHECK(u8(frame, 19) == 0x05, "an answer to another function accepted as a write answer");
        FUZZ_CHECK(u8(frame, 21) == 0xFF, "a write answer with an error item accepted");
    }
    if (IsoTcp::isConnectionConfirm(frame))
        FUZZ_CHECK(frame.size() >= 7 && u8(frame, 5) == 0xD0, "a connection confirm without its code accepted");
    if (IsoTcp::isSetupAnswer(frame)) {
        FUZZ_CHECK(frame.size() >= 20 && u8(frame, 5) == 0xF0 && u8(frame, 7) == 0x32 && u8(frame, 8) == 0x03,
                   "a set-up answer that is no acknowledgement accepted");
        FUZZ_CHECK(u8(frame, 17) == 0 && u8(frame, 18) == 0 && u8(frame, 19) == 0xF0,
                   "a set-up answer with an error or another function accepted");
    }
    // An S7 answer with another reference never passes for the answer to this request.
    const QByteArray request = IsoTcp::readRequest(reference, 0x84, 1, 0, qMax(byteCount, 1));
    if (frame.size() >= 7 + 10 && u8(frame, 5) == 0xF0 && u8(frame, 7) == 0x32
        && be16(frame, 11) != reference)
        FUZZ_CHECK(!IsoTcp::answersRequest(request, frame), "an answer with another reference taken");
    // Only an S7 acknowledgement carrying the job's reference answers it.
    if (IsoTcp::answersRequest(request, frame))
        FUZZ_CHECK(frame.size() >= 19 && u8(frame, 5) == 0xF0 && u8(frame, 7) == 0x32
                       && (u8(frame, 8) == 0x02 || u8(frame, 8) == 0x03) && be16(frame, 11) == reference,
                   "a frame that is no acknowledgement of the job taken for its answer");
}

// The S7 PDU the units of stream[0, span) carry, read unit by unit by their own lengths.
QByteArray unitsPayload(const QByteArray &stream, int span)
{
    QByteArray pdu;
    for (int at = 0; at + 7 <= span;) {
        const int length = be16(stream, at + 2);
        if (length < 7 || at + length > span)
            break;
        pdu += stream.mid(at + 7, length - 7);
        at += length;
    }
    return pdu;
}

void takeTsdus(QByteArray stream, int maxPdu, int byteCount, quint16 reference)
{
    for (;;) {
        const IsoTcp::Tsdu next = IsoTcp::nextTsdu(stream, maxPdu);
        if (next.length == IsoTcp::NeedMore || next.length == IsoTcp::Broken)
            return;
        FUZZ_CHECK(next.length >= 7 && next.length <= stream.size(), "a TSDU spanning bytes that are not there");
        if (!next.frame.isEmpty() && u8(stream, 5) == 0xF0) {
            const QByteArray pdu = unitsPayload(stream, next.length);
            FUZZ_CHECK(next.frame == IsoTcp::wrapPdu(pdu), "a joined PDU other than its units' bytes");
            FUZZ_CHECK(pdu.size() <= maxPdu, "a joined PDU past the granted length");
            if (next.length == be16(stream, 2))
                FUZZ_CHECK((u8(stream, 6) & 0x80) != 0, "a unit without its end bit taken as a whole PDU");
            judgeFrame(next.frame, byteCount, reference);
        } else if (next.frame.isEmpty()) {
            FUZZ_CHECK(next.length == 7 && u8(stream, 5) == 0xF0, "bytes other than an empty data unit passed over");
        }
        stream.remove(0, next.length);
    }
}

void splitAndJoin(const QByteArray &pdu, int tpdu)
{
    const QByteArray wire = IsoTcp::splitForTpdu(IsoTcp::wrapPdu(pdu), tpdu);
    for (int at = 0; at + 4 <= wire.size(); at += be16(wire, at + 2)) {
        FUZZ_CHECK(be16(wire, at + 2) - 4 <= tpdu, "a unit larger than the TPDU size");
        if (be16(wire, at + 2) < 7)
            break;
    }
    const IsoTcp::Tsdu joined = IsoTcp::nextTsdu(wire, qMax(pdu.size(), 1));
    FUZZ_CHECK(pdu.isEmpty() || (joined.length == wire.size() && joined.frame == IsoTcp::wrapPdu(pdu)),
               "a split PDU not joined back to itself");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzInput in(input, size);
    const int byteCount = in.range(-2, 300);
    const quint16 reference = in.u16();
    const int maxLength = in.flag() ? IsoTcp::MaxFrameLength : IsoTcp::MaxTpktLength;
    QByteArray buffer;
    bool broken = false;
    while (!in.empty()) {
        buffer.append(in.bytes(1 + in.byte() % 64));
        for (;;) {
            const int length = IsoTcp::frameLength(buffer, maxLength);
            if (broken) {
                FUZZ_CHECK(length == IsoTcp::Broken, "more bytes mended a broken stream");
                break;
            }
            if (length == IsoTcp::Broken) {
                FUZZ_CHECK(!buffer.isEmpty(), "an empty stream reported broken");
                const bool notTpkt = u8(buffer, 0) != 0x03 || (buffer.size() > 1 && u8(buffer, 1) != 0);
                const bool badLength = buffer.size() >= 4
                                       && (be16(buffer, 2) < 7 || be16(buffer, 2) > maxLength);
                FUZZ_CHECK(notTpkt || badLength, "a good TPKT header reported broken");
                broken = true;
                break;
            }
            if (length == IsoTcp::NeedMore) {
                FUZZ_CHECK(buffer.size() < 4, "the length was readable but not reported");
                break;
            }
            FUZZ_CHECK(buffer.size() >= 4 && length == be16(buffer, 2), "a length other than the header's");
            FUZZ_CHECK(length >= 7 && length <= maxLength, "a length outside the frame limits");
            if (buffer.size() < length)
                break;
            const QByteArray frame = buffer.left(length);
            buffer.remove(0, length);
            judgeFrame(frame, byteCount, reference);
        }
    }
    const QByteArray whole(reinterpret_cast<const char *>(input), int(size));
    // A resynchronisation lands where a TPKT header plausibly begins, or where too few bytes are left to tell.
    const int start = IsoTcp::nextFrameStart(whole, 1);
    FUZZ_CHECK(start <= whole.size(), "a frame start past the stream's end");
    if (start + 6 <= whole.size())
        FUZZ_CHECK(u8(whole, start) == 0x03 && u8(whole, start + 1) == 0 && be16(whole, start + 2) >= 7
                       && be16(whole, start + 2) <= IsoTcp::MaxFrameLength,
                   "a resynchronisation at no TPKT header");
    takeTsdus(whole, 1 + (size % 960), byteCount, reference);
    splitAndJoin(whole.left(960), 8 + int(size % 1017));
    return 0;
}
