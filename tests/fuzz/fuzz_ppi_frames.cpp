// The PPI framer, frame parser and answer judges, and the frame builders. The first byte
// chooses between judging reply bytes from the input and building frames from its numbers.
// Invariants, against the frame layout read here on its own: a frame the parser accepts has its
// delimiters, repeated length and check sum right, and the framer asks for exactly the bytes
// such a frame still lacks at every shorter prefix, never for more (the transport would wait past
// the frame) and never "complete" early (it would judge half a frame). A judge that accepts an
// answer has a frame from that station to this master carrying a good acknowledgement, and hands
// on exactly its data; an answer classified as this exchange's carries its reference. A built
// frame parses back to what it was built from. The scanner skips only bytes where no whole, valid
// frame of any kind starts, stops at the first that does (or at a candidate that still fits its
// kind), and finds the same frames however the stream is cut into deliveries.
#include <QByteArray>
#include <QList>

#include "AddressGrammar.h"
#include "ByteOrder.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "PpiFrames.h"
#include "S7Pdu.h"

namespace {

using ByteOrder::u8;

int sum(const QByteArray &b, int from, int to)
{
    int s = 0;
    for (int i = from; i < to; ++i)
        s += u8(b, i);
    return s & 0xFF;
}

// The frame at `at` read here on its own: its length when it is whole and valid, 0 when the bytes
// there still fit a frame that needs more, -1 when none can start there.
int frameAt(const QByteArray &b, int at)
{
    const int n = b.size() - at;
    auto fits = [&](int length, int sumFrom) {
        if (n < length) {
            // Whatever is there must not already contradict the kind.
            if (n > length - 2 && sum(b, at + sumFrom, at + length - 2) != u8(b, at + length - 2))
                return -1;
            return 0;
        }
        return sum(b, at + sumFrom, at + length - 2) == u8(b, at + length - 2) && u8(b, at + length - 1) == 0x16 ? length : -1;
    };
    switch (u8(b, at)) {
    case 0xE5:
        return 1;
    case 0x10:
        return fits(6, 1);
    case 0xA2:
        return fits(14, 1);
    case 0xDC:
        if ((n > 1 && u8(b, at + 1) > 127) || (n > 2 && u8(b, at + 2) > 127))
            return -1;
        return n >= 3 ? 3 : 0;
    case 0x68: {
        if (n < 2)
            return 0;
        const int le = u8(b, at + 1);
        if (le < 3 || (n > 2 && u8(b, at + 2) != le) || (n > 3 && u8(b, at + 3) != 0x68))
            return -1;
        return fits(le + 6, 4);
    }
    default:
        return -1;
    }
}

// The frames of `stream` as a receiver takes them, delivered in pieces cut at `cuts`.
QList<QByteArray> framesOf(const QByteArray &stream, const QList<int> &cuts, int *pending)
{
    QList<QByteArray> frames;
    QByteArray buffer;
    int from = 0;
    for (int cut : cuts + QList<int>{stream.size()}) {
        buffer.append(stream.mid(from, cut - from));
        from = qMax(from, cut);
        for (;;) {
            const PpiFrames::Scan s = PpiFrames::scan(buffer);
            FUZZ_CHECK(s.skip >= 0 && s.skip + s.length <= buffer.size(), "a scan beyond the bytes");
            for (int i = 0; i < s.skip; ++i)
                FUZZ_CHECK(frameAt(buffer, i) < 0, "a frame start skipped");
            if (s.skip < buffer.size()) {
                const int there = frameAt(buffer, s.skip);
                FUZZ_CHECK(there == s.length, "the scan stopped where the layout sees something else");
                FUZZ_CHECK((s.length == 0) == (s.missing > 0), "a candidate without missing bytes");
            }
            buffer.remove(0, s.skip);
            if (s.length == 0)
                break;
            frames << buffer.left(s.length);
            buffer.remove(0, s.length);
        }
    }
    *pending = buffer.size();
    return frames;
}

void scanStream(FuzzInput &in)
{
    // Two of the longest frames and junk around them; the checks below cost the square of it.
    const QByteArray stream = in.rest().left(640);
    int pendingWhole = 0;
    const QList<QByteArray> whole = framesOf(stream, {}, &pendingWhole);
    for (const QByteArray &f : whole)
        FUZZ_CHECK(PpiFrames::parse(f).kind != PpiFrames::Kind::Invalid, "a scanned frame that does not parse");
    // Cut into two and three deliveries at places drawn from the stream itself.
    const int size = stream.size();
    if (size < 2)
        return;
    const int a = u8(stream, 0) % size;
    const int b = qMax(a, u8(stream, size - 1) % size);
    int pendingCut = 0;
    FUZZ_CHECK(framesOf(stream, {a}, &pendingCut) == whole && pendingCut == pendingWhole, "a cut changed the frames");
    FUZZ_CHECK(framesOf(stream, {a, b}, &pendingCut) == whole && pendingCut == pendingWhole, "two cuts changed the frames");
}

void judge(FuzzInput &in)
{
    const int station = in.byte();
    const int own = in.byte();
    const int length = in.range(-1, 300);
    const QByteArray reply = in.rest();

    const int missing = PpiFrames::missingBytes(reply);
    const PpiFrames::Frame f = PpiFrames::parse(reply);
    if (f.kind != PpiFrames::Kind::Invalid) {
        FUZZ_CHECK(missing == 0, "a parsed frame was not complete for the framer");
        FUZZ_CHECK(f.length >= 1 && f.length <= reply.size(), "a frame longer than the bytes");
        const QByteArray frame = reply.left(f.length);
        switch (f.kind) {
        case PpiFrames::Kind::Ack:
            FUZZ_CHECK(f.length == 1 && u8(frame, 0) == 0xE5, "an acknowledgement that is not E5");
            break;
        case PpiFrames::Kind::Fixed:
            FUZZ_CHECK(f.length == 6 && u8(frame, 0) == 0x10 && u8(frame, 5) == 0x16, "a fixed frame without delimiters");
            FUZZ_CHECK(sum(frame, 1, 4) == u8(frame, 4), "a fixed frame with a bad check sum");
            FUZZ_CHECK(f.da == u8(frame, 1) && f.sa == u8(frame, 2) && f.fc == u8(frame, 3), "fixed frame fields misread");
            break;
        case PpiFrames::Kind::Variable: {
            const int le = u8(frame, 1);
            FUZZ_CHECK(u8(frame, 0) == 0x68 && u8(frame, 3) == 0x68 && u8(frame, 2) == le && le >= 3,
                       "a variable frame with a bad header");
            FUZZ_CHECK(f.length == le + 6 && u8(frame, le + 5) == 0x16, "a variable frame without its end");
            FUZZ_CHECK(sum(frame, 4, 4 + le) == u8(frame, 4 + le), "a variable frame with a bad check sum");
            FUZZ_CHECK(f.da == u8(frame, 4) && f.sa == u8(frame, 5) && f.fc == u8(frame, 6), "variable frame fields misread");
            FUZZ_CHECK(f.data == frame.mid(7, le - 3), "variable frame data misread");
            break;
        }
        case PpiFrames::Kind::FixedData:
            FUZZ_CHECK(f.length == 14 && u8(frame, 0) == 0xA2 && u8(frame, 13) == 0x16, "an SD3 frame without delimiters");
            FUZZ_CHECK(sum(frame, 1, 12) == u8(frame, 12), "an SD3 frame with a bad check sum");
            FUZZ_CHECK(f.data == frame.mid(4, 8), "SD3 data misread");
            break;
        case PpiFrames::Kind::Token:
            FUZZ_CHECK(f.length == 3 && u8(frame, 0) == 0xDC && f.da == u8(frame, 1) && f.sa == u8(frame, 2)
                           && f.da <= 127 && f.sa <= 127, "a token misread");
            break;
        default:
            break;
        }
        // Every shorter prefix needs more bytes, and never more than the frame still has.
        for (int n = 1; n < f.length; ++n) {
            const int more = PpiFrames::missingBytes(frame.left(n));
            FUZZ_CHECK(more > 0, "a prefix of a good frame judged complete or broken");
            FUZZ_CHECK(more <= f.length - n, "the framer asks for more bytes than the frame has");
        }
    }

    // The framer the transport reads with, and the skipping of bytes that cannot start a frame.
    const int whole = PpiFrames::frameLength(reply);
    FUZZ_CHECK(whole >= 0 && whole <= reply.size(), "a frame length beyond the bytes");
    if (f.kind != PpiFrames::Kind::Invalid) {
        FUZZ_CHECK(whole == f.length, "the framer and the parser disagree on a good frame");
        FUZZ_CHECK(PpiFrames::junkAtFront(reply) == 0, "a good frame skipped as junk");
    }
    const int junk = PpiFrames::junkAtFront(reply);
    FUZZ_CHECK(junk >= 0 && junk <= reply.size(), "more junk than bytes");
    if (PpiFrames::letsMasterPoll(reply))
        FUZZ_CHECK(u8(reply, 0) == 0xE5 || (reply.size() == 6 && u8(reply, 4) == 0x04), "a poll let by another reply");
    // An answer of this exchange: from the station to this master, with the job's reference.
    for (const quint16 reference : {quint16((station << 8) | own), S7Pdu::reference(f.data)}) {
        if (PpiFrames::classify(reply.left(whole > 0 ? whole : reply.size()), station, own, reference)
            == PpiFrames::Reply::Answer) {
            FUZZ_CHECK(f.kind == PpiFrames::Kind::Variable, "an answer that is no variable frame");
            FUZZ_CHECK(f.sa == (station & 0xFF) && f.da == (own & 0xFF), "another station's frame taken as the answer");
            FUZZ_CHECK(S7Pdu::reference(f.data) == reference, "an answer with another reference taken");
        }
    }

    QByteArray out("kept");
    if (PpiFrames::judgeReadAnswer(reply, station, own, length, &out) == 0) {
        FUZZ_CHECK(f.kind == PpiFrames::Kind::Variable, "a read answer that is no variable frame accepted");
        FUZZ_CHECK(f.sa == (station & 0xFF) && f.da == (own & 0xFF), "an answer of another station or master accepted");
        const QByteArray &pdu = f.data;
        FUZZ_CHECK(pdu.size() >= 18 + length && u8(pdu, 0) == 0x32 && u8(pdu, 1) == 0x03, "not an acknowledgement");
        FUZZ_CHECK(u8(pdu, 10) == 0 && u8(pdu, 11) == 0 && u8(pdu, 12) == 0x04 && u8(pdu, 14) == 0xFF,
                   "an error or another function accepted as a read answer");
        FUZZ_CHECK(out == QByteArray("kept") + pdu.mid(18, length), "read data not the item's bytes");
    } else {
        FUZZ_CHECK(out == "kept", "a refused answer changed the output");
    }
    if (PpiFrames::judgeWriteAnswer(reply, station, own) == 0) {
        FUZZ_CHECK(f.kind == PpiFrames::Kind::Variable, "a write answer that is no variable frame accepted");
        FUZZ_CHECK(f.sa == (station & 0xFF) && f.da == (own & 0xFF), "a write answer of another station accepted");
        FUZZ_CHECK(f.data.size() >= 15 && u8(f.data, 12) == 0x05 && u8(f.data, 14) == 0xFF,
                   "a write answer without a good item accepted");
    }
}

void build(FuzzInput &in)
{
    const int station = in.byte();
    const int own = in.byte();
    // Analog words, timers and counters have items of their own, with rows in tst_s7pdu and
    // tst_ppi_frames: the byte items are fuzzed here.
    int area = in.byte();
    if (AddressGrammar::isAnalog(area) || AddressGrammar::isTimerOrCounter(area))
        area = AddressGrammar::DataBlock;
    const int db = in.u16();
    const int byteAddress = in.range(0, 0xFFFF);
    const int length = in.range(0, PpiFrames::MaxReadBytes);

    const QByteArray read = PpiFrames::readRequest(station, own, area, db, byteAddress, length);
    const PpiFrames::Frame r = PpiFrames::parse(read);
    FUZZ_CHECK(r.kind == PpiFrames::Kind::Variable && r.length == read.size(), "a read request that does not parse");
    FUZZ_CHECK(r.da == station && r.sa == own && r.fc == 0x6C, "a read request with wrong addresses or code");
    FUZZ_CHECK(r.data == S7Pdu::readJob(S7Pdu::reference(r.data), area, db, byteAddress, length),
               "a read request that does not carry its job");

    const QByteArray poll = PpiFrames::poll(station, own);
    const PpiFrames::Frame p = PpiFrames::parse(poll);
    FUZZ_CHECK(p.kind == PpiFrames::Kind::Fixed && p.da == station && p.sa == own && p.fc == 0x5C, "a bad poll frame");

    const bool bit = in.flag();
    const QByteArray data = in.bytes(in.range(0, 260));
    const QByteArray write = PpiFrames::writeRequest(station, own, area, db, byteAddress * 8, bit, data);
    const int carried = bit ? qMin(1, data.size()) : data.size();
    if (3 + S7Pdu::WriteJobOverhead + carried > PpiFrames::MaxLe) {
        FUZZ_CHECK(write.isEmpty(), "a write frame whose length byte cannot count it");
        return;
    }
    const PpiFrames::Frame w = PpiFrames::parse(write);
    FUZZ_CHECK(w.kind == PpiFrames::Kind::Variable && w.length == write.size(), "a write request that does not parse");
    FUZZ_CHECK(w.da == station && w.sa == own && w.fc == 0x7C, "a write request with wrong addresses or code");
    FUZZ_CHECK(w.data.mid(28) == data.left(carried), "a write request that does not carry its data");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzInput in(input, size);
    const int what = in.byte() % 4;
    if (what == 1 || what == 3)
        build(in);
    else if (what == 2)
        scanStream(in);
    else
        judge(in);
    return 0;
}
