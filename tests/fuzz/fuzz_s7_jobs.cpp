// The S7 job layer both drivers share: the read and write job builders and the judges of their
// acknowledgements. The first byte chooses between judging an acknowledgement from the input and
// building a job from the input's numbers.
// Invariants: a judge that says Ok has seen a clean acknowledgement of that function with a good
// item, and hands on exactly the item's data; a refused acknowledgement leaves the output alone.
// A job carries, at the offsets of the protocol, the numbers it was built from, and a good
// acknowledgement written from those numbers is taken back with the same data.
#include <QByteArray>

#include "AddressGrammar.h"
#include "ByteOrder.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "S7Pdu.h"

namespace {

using ByteOrder::u8;
using ByteOrder::be16;
using ByteOrder::be24;

void judge(FuzzInput &in)
{
    const int byteCount = in.range(-1, 1000);
    const QByteArray pdu = in.rest();
    QByteArray data("kept");
    const S7Pdu::Verdict read = S7Pdu::judgeReadAck(pdu, byteCount, &data);
    if (read == S7Pdu::Verdict::Ok) {
        FUZZ_CHECK(pdu.size() >= 18 + byteCount, "read data beyond the acknowledgement");
        FUZZ_CHECK(u8(pdu, 0) == 0x32 && u8(pdu, 1) == 0x03, "a read Ok on no acknowledgement");
        FUZZ_CHECK(u8(pdu, 10) == 0 && u8(pdu, 11) == 0, "a read Ok despite a header error");
        FUZZ_CHECK(u8(pdu, 12) == 0x04 && u8(pdu, 13) == 1, "a read Ok on another function or item count");
        FUZZ_CHECK(u8(pdu, 14) == 0xFF, "a read Ok on an error item");
        FUZZ_CHECK(data == QByteArray("kept") + pdu.mid(18, byteCount), "read data not the item's bytes");
    } else {
        FUZZ_CHECK(data == "kept", "a refused acknowledgement changed the output");
    }
    if (S7Pdu::judgeWriteAck(pdu) == S7Pdu::Verdict::Ok) {
        FUZZ_CHECK(pdu.size() >= 15 && u8(pdu, 0) == 0x32 && u8(pdu, 1) == 0x03, "a write Ok on no acknowledgement");
        FUZZ_CHECK(u8(pdu, 10) == 0 && u8(pdu, 11) == 0, "a write Ok despite a header error");
        FUZZ_CHECK(u8(pdu, 12) == 0x05 && u8(pdu, 13) == 1, "a write Ok on another function or item count");
        FUZZ_CHECK(u8(pdu, 14) == 0xFF, "a write Ok on an error item");
    }
    if (pdu.size() >= 6)
        FUZZ_CHECK(S7Pdu::reference(pdu) == be16(pdu, 4), "the reference not read from offset 4");
}

void checkItem(const QByteArray &job, int transport, int count, int area, int db, int bitAddress)
{
    FUZZ_CHECK(u8(job, 12) == 0x12 && u8(job, 13) == 0x0A && u8(job, 14) == 0x10, "not an any-pointer item");
    FUZZ_CHECK(u8(job, 15) == transport, "wrong transport size");
    FUZZ_CHECK(be16(job, 16) == count, "wrong item count");
    FUZZ_CHECK(be16(job, 18) == db, "wrong data-block number");
    FUZZ_CHECK(u8(job, 20) == area, "wrong area");
    FUZZ_CHECK(be24(job, 21) == bitAddress, "wrong start address");
}

void build(FuzzInput &in)
{
    const quint16 reference = in.u16();
    // Analog words, timers and counters have items of their own, with hex rows in tst_s7pdu: the
    // byte items are fuzzed here.
    int area = in.byte();
    if (AddressGrammar::isAnalog(area) || AddressGrammar::isTimerOrCounter(area))
        area = AddressGrammar::DataBlock;
    const int db = in.u16();
    const int byteAddress = in.range(0, 0x1FFFFF);      // what the 24-bit bit address can carry
    const int byteCount = in.u16();

    const QByteArray readJob = S7Pdu::readJob(reference, area, db, byteAddress, byteCount);
    FUZZ_CHECK(readJob.size() == S7Pdu::ReadJobLength, "a read job of the wrong size");
    FUZZ_CHECK(u8(readJob, 0) == 0x32 && u8(readJob, 1) == 0x01, "a read job that is no job");
    FUZZ_CHECK(S7Pdu::reference(readJob) == reference, "the read job lost its reference");
    FUZZ_CHECK(be16(readJob, 6) == 14 && be16(readJob, 8) == 0, "wrong parameter or data length");
    FUZZ_CHECK(u8(readJob, 10) == 0x04 && u8(readJob, 11) == 1, "not one read item");
    checkItem(readJob, 0x02, byteCount, area, db, byteAddress * 8);

    // A good acknowledgement of that read, written here from the protocol's layout.
    const QByteArray data = in.bytes(qMin(byteCount, 512));
    QByteArray ack = QByteArray::fromHex("32030000") + readJob.mid(4, 2) + QByteArray::fromHex("0002");
    const int dataLength = 4 + data.size();
    ByteOrder::append16(ack, dataLength);
    ack.append(2, '\0');
    ack.append(QByteArray::fromHex("0401ff04"));
    ByteOrder::append16(ack, data.size() * 8);
    ack.append(data);
    QByteArray taken;
    const S7Pdu::Verdict verdict = S7Pdu::judgeReadAck(ack, byteCount, &taken);
    if (data.size() == byteCount && data.size() * 8 <= 0xFFFF)
        FUZZ_CHECK(verdict == S7Pdu::Verdict::Ok && taken == data, "a good read acknowledgement refused");
    else
        FUZZ_CHECK(verdict != S7Pdu::Verdict::Ok, "an acknowledgement with other data than asked accepted");

    const bool bit = in.flag();
    const int bitAddress = in.range(0, 0xFFFFFF);
    const QByteArray payload = in.bytes(in.range(0, 300));
    const QByteArray writeJob = S7Pdu::writeJob(reference, area, db, bitAddress,
                                                bit ? S7Pdu::ItemSize::Bit : S7Pdu::ItemSize::Byte, payload);
    const QByteArray sent = bit ? payload.left(1) : payload;
    if (writeJob.isEmpty()) {
        // Refused only for what the fields cannot carry: a byte item starts at bit 0 of a byte.
        FUZZ_CHECK(!bit && bitAddress % 8 != 0, "a write job that the fields can carry refused");
        return;
    }
    FUZZ_CHECK(!(!bit && bitAddress % 8 != 0), "a byte item with a bit part built");
    FUZZ_CHECK(writeJob.size() == S7Pdu::WriteJobOverhead + sent.size(), "a write job of the wrong size");
    FUZZ_CHECK(u8(writeJob, 10) == 0x05 && u8(writeJob, 11) == 1, "not one write item");
    FUZZ_CHECK(be16(writeJob, 8) == 4 + sent.size(), "wrong data length");
    checkItem(writeJob, bit ? 0x01 : 0x02, sent.size(), area, db, bitAddress);
    FUZZ_CHECK(u8(writeJob, 25) == (bit ? 0x03 : 0x04), "wrong data transport size");
    FUZZ_CHECK(be16(writeJob, 26) == (bit ? sent.size() : (sent.size() * 8) & 0xFFFF), "wrong data length in bits");
    FUZZ_CHECK(writeJob.mid(28) == sent, "the data not carried as given");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzInput in(input, size);
    if (in.byte() & 1)
        build(in);
    else
        judge(in);
    return 0;
}
