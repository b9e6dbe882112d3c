// The simulated PPI station's framer and job parser, fed a byte stream in pieces drawn from the
// input, as a serial line or a gateway delivers it.
// Invariants: the station speaks only when a whole frame for it has come (a station that answers
// half frames or other stations' frames breaks a shared bus); what it says is whole frames (apart
// from the garbage a fault block sends on purpose), each from its own address; an acknowledgement it
// sends is well-formed, its lengths adding up.
#include <QByteArray>
#include <QCoreApplication>

#include "ByteOrder.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "PlcMemory.h"
#include "PpiFrames.h"
#include "PpiStation.h"

using ByteOrder::be16;
using ByteOrder::u8;

namespace {

// Whole frames that the station should act on, taken off `stream` as the station takes them:
// a byte that cannot start a frame is skipped.
bool takeFramesFor(QByteArray *stream, int station)
{
    bool any = false;
    for (;;) {
        const int missing = PpiFrames::missingBytes(*stream);
        if (stream->isEmpty() || missing > 0)
            return any;
        if (missing < 0) {
            stream->remove(0, 1);
            continue;
        }
        const PpiFrames::Frame f = PpiFrames::parse(*stream);
        stream->remove(0, f.length);
        if (f.kind == PpiFrames::Kind::Fixed && f.da == station && (f.fc == 0x49 || f.fc == 0x5C || f.fc == 0x7C))
            any = true;
        if (f.kind == PpiFrames::Kind::Variable && f.da == station && (f.fc & 0x0F) == 0x0C)
            any = true;
    }
}

void checkReply(QByteArray reply, int station, const QByteArray &fed)
{
    // A shared line's traffic (DB 9025..9028), the last frame of it cut short (its rest comes
    // later), and the echo of what the station was sent (DB 9029).
    const QList<QByteArray> traffic = PpiStation::trafficFrames(station, PpiStation::AllTraffic);
    while (!reply.isEmpty()) {
        bool known = false;
        for (const QByteArray &t : traffic) {
            if (reply.startsWith(t) || (t.startsWith(reply))) {
                reply.remove(0, qMin(t.size(), reply.size()));
                known = true;
                break;
            }
        }
        if (known)
            continue;
        const PpiFrames::Frame echoed = PpiFrames::parse(reply);
        if (echoed.kind != PpiFrames::Kind::Invalid && echoed.sa != station && fed.contains(reply.left(echoed.length))) {
            reply.remove(0, echoed.length);
            continue;
        }
        // The garbage of the fault blocks, where a frame could start, and only it.
        if (reply.startsWith(QByteArray::fromHex("ff00aa55"))) {
            reply.remove(0, 4);
            continue;
        }
        if (reply.startsWith(char(0xFF))) {
            reply.remove(0, 1);
            continue;
        }
        const PpiFrames::Frame f = PpiFrames::parse(reply);
        FUZZ_CHECK(f.kind != PpiFrames::Kind::Invalid, "the station sent something that is no whole frame");
        if (f.kind != PpiFrames::Kind::Ack)
            FUZZ_CHECK(f.sa == station, "the station sent under another address");
        if (f.kind == PpiFrames::Kind::Variable) {
            const QByteArray &pdu = f.data;
            FUZZ_CHECK(pdu.size() >= 12 && u8(pdu, 0) == 0x32 && u8(pdu, 1) == 0x03, "an answer that is no acknowledgement");
            FUZZ_CHECK(12 + be16(pdu, 6) + be16(pdu, 8) == pdu.size(), "an acknowledgement whose lengths do not add up");
        }
        reply.remove(0, f.length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    // The station's timers (answers in pieces, late answers) need an application; they never
    // fire here, and die with the station.
    static int argc = 1;
    static char name[] = "fuzz_sim_ppi_station";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    FuzzInput in(input, size);
    const int station = in.flag() ? 2 : in.byte();
    PlcMemory memory;
    PpiStation ppi(&memory, station);
    QByteArray stream;
    QByteArray fed;
    while (!in.empty()) {
        const QByteArray piece = in.bytes(1 + in.byte() % 64);
        stream.append(piece);
        fed.append(piece);
        const bool framesForStation = takeFramesFor(&stream, station & 0xFF);
        const QByteArray reply = ppi.serveBytes(piece);
        if (!framesForStation)
            FUZZ_CHECK(reply.isEmpty(), "the station spoke without a whole frame for it");
        checkReply(reply, station & 0xFF, fed);
    }
    return 0;
}
