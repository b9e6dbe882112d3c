// The simulator's side of an ISO-on-TCP connection: taking TPKTs off a client's stream (which
// arrives in pieces drawn from the input) and confirming connection requests. The simulator is
// what the drivers' tests trust, so its framing is held to the protocol as well.
// Invariants: a frame taken is exactly as long as its header says and the stream loses no byte
// between frames; a confirm is a well-formed TPKT whose COTP length byte counts its header
// exactly and fits one byte, that the driver accepts as a confirm, echoing the caller's reference
// and only whole parameters of the request.
#include <QByteArray>

#include "ByteOrder.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "IsoTcpFrames.h"
#include "S7ConnectionFrames.h"

using ByteOrder::be16;
using ByteOrder::u8;

namespace {

void checkConfirm(const QByteArray &request)
{
    const QByteArray confirm = S7ConnectionFrames::connectionConfirm(request);
    FUZZ_CHECK(confirm.size() >= 11 && u8(confirm, 0) == 0x03 && u8(confirm, 1) == 0x00, "a confirm that is no TPKT");
    FUZZ_CHECK(be16(confirm, 2) == confirm.size(), "a confirm whose TPKT length is wrong");
    FUZZ_CHECK(u8(confirm, 4) == confirm.size() - 5, "a confirm whose COTP length byte is wrong");
    FUZZ_CHECK(u8(confirm, 4) <= S7ConnectionFrames::MaxLengthIndicator, "a COTP length byte above 254");
    FUZZ_CHECK(IsoTcp::isConnectionConfirm(confirm), "a confirm the driver does not take for one");
    FUZZ_CHECK(IsoTcp::frameLength(confirm, IsoTcp::MaxTpktLength) == confirm.size(), "a confirm the driver cannot frame");
    FUZZ_CHECK(confirm.mid(6, 2) == request.mid(8, 2), "the caller's reference not echoed");
    // Parameters: whole (code, length, value) triples taken from the request as they came.
    const QByteArray parameters = confirm.mid(11);
    FUZZ_CHECK(parameters == request.mid(11, parameters.size()), "parameters that the request did not carry");
    for (int at = 0; at < parameters.size(); at += 2 + u8(parameters, at + 1))
        FUZZ_CHECK(at + 2 <= parameters.size() && at + 2 + u8(parameters, at + 1) <= parameters.size(),
                   "a parameter cut short");
    const int li = u8(request, 4);
    FUZZ_CHECK(parameters.isEmpty() || 11 + parameters.size() <= 5 + li, "parameters beyond the request's length byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzInput in(input, size);
    QByteArray stream;
    QByteArray sent;        // every byte given to the stream, to check that framing loses none
    QByteArray taken;
    while (!in.empty()) {
        const QByteArray piece = in.bytes(1 + in.byte() % 80);
        stream.append(piece);
        sent.append(piece);
        for (;;) {
            QByteArray frame;
            const auto t = S7ConnectionFrames::takeFrame(&stream, &frame);
            if (t == S7ConnectionFrames::Take::NeedMore) {
                FUZZ_CHECK(stream.size() < 4 || stream.size() < be16(stream, 2), "a whole frame left untaken");
                break;
            }
            if (t == S7ConnectionFrames::Take::Broken) {
                FUZZ_CHECK(u8(stream, 0) != 0x03 || (stream.size() >= 4 && be16(stream, 2) < 7),
                           "a good TPKT header refused");
                return 0;   // the simulator drops such a connection
            }
            FUZZ_CHECK(frame.size() >= 7 && be16(frame, 2) == frame.size(), "a frame of another length than its header's");
            taken.append(frame);
            FUZZ_CHECK(sent.startsWith(taken) && sent == taken + stream, "the framing lost or moved bytes");
            if (u8(frame, 5) == 0xE0 && frame.size() >= 11)
                checkConfirm(frame);
        }
    }
    return 0;
}
