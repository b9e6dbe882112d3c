// How the simulator answers an S7 job, against its memory. The input first writes some of the
// memory, then gives one job PDU and a PDU size.
// Invariants: anything that is a job gets an acknowledgement with its reference, whose lengths
// add up and which fits the PDU size; a good read item carries exactly the memory's bytes at the
// place the job names; a good write item leaves exactly the job's data at that place and nothing
// else changed; a refused write changes nothing.
#include <QByteArray>

#include "AddressGrammar.h"
#include "ByteOrder.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "PlcMemory.h"
#include "S7Jobs.h"

using ByteOrder::be16;
using ByteOrder::be24;
using ByteOrder::u8;

namespace {

QByteArray wholeBlock(PlcMemory &memory, int area, int db)
{
    QByteArray all;
    memory.read(area, db, 0, PlcMemory::AreaSize, &all);
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzInput in(input, size);
    PlcMemory memory;
    for (int n = in.byte() % 4; n > 0; --n) {
        const int area = 0x81 + in.byte() % 4;
        const int db = in.byte() % 8;
        const int at = in.u16();
        memory.write(area, db, at, in.bytes(in.byte() % 32));
    }
    static const int pduSizes[] = {240, 480, 960};
    const int pduSize = pduSizes[in.byte() % 3];
    const QByteArray pdu = in.rest();

    const bool isJob = pdu.size() >= 11 && u8(pdu, 0) == 0x32 && u8(pdu, 1) == 0x01;
    const bool itemJob = isJob && pdu.size() >= 24 && (u8(pdu, 10) == 0x04 || u8(pdu, 10) == 0x05);
    const int area = itemJob ? u8(pdu, 20) : 0;
    const int db = itemJob ? be16(pdu, 18) : 0;
    const QByteArray before = itemJob ? wholeBlock(memory, area, db) : QByteArray();

    const QByteArray answer = S7Jobs::answer(&memory, pdu, pduSize);
    FUZZ_CHECK(answer.isEmpty() == !isJob, "a job went unanswered, or something else was answered");
    if (!isJob)
        return 0;
    FUZZ_CHECK(answer.size() >= 12 && u8(answer, 0) == 0x32 && u8(answer, 1) == 0x03, "an answer that is no acknowledgement");
    FUZZ_CHECK(answer.mid(4, 2) == pdu.mid(4, 2), "the job's reference not echoed");
    FUZZ_CHECK(12 + be16(answer, 6) + be16(answer, 8) == answer.size(), "an answer whose lengths do not add up");
    FUZZ_CHECK(answer.size() <= pduSize, "an answer larger than the PDU size");

    const QByteArray after = itemJob ? wholeBlock(memory, area, db) : QByteArray();
    const bool goodItem = answer.size() >= 15 && u8(answer, 10) == 0 && u8(answer, 11) == 0 && u8(answer, 14) == 0xFF;
    const int function = u8(pdu, 10);
    if (!itemJob || !goodItem) {
        FUZZ_CHECK(before == after, "a refused job changed the memory");
        return 0;
    }
    // Analog words, timers and counters are served in items of their own, and a periphery write
    // lands in the output image, which a read never shows: their rows are in the simulator's tests.
    if (AddressGrammar::isAnalog(area) || AddressGrammar::isTimerOrCounter(area) || area == AddressGrammar::Periphery)
        return 0;
    const int transport = u8(pdu, 15);
    const int count = be16(pdu, 16);
    const int bitAddress = be24(pdu, 21);
    if (function == 0x04) {
        FUZZ_CHECK(before == after, "a read changed the memory");
        if (transport == 0x02) {
            FUZZ_CHECK(answer.mid(18) == before.mid(bitAddress / 8, count) && answer.size() == 18 + count,
                       "a read answered with other bytes than the memory's");
        } else {
            FUZZ_CHECK(transport == 0x01 && count == 1, "an item of another transport size served");
            const bool bit = (u8(before, bitAddress / 8) >> (bitAddress % 8)) & 1;
            FUZZ_CHECK(answer.size() == 19 && u8(answer, 18) == (bit ? 1 : 0), "a bit read answered with another bit");
        }
        return 0;
    }
    // A write: the job's data at the place it names, nothing else.
    QByteArray expected = before;
    if (transport == 0x02) {
        const QByteArray data = pdu.mid(28);
        FUZZ_CHECK(data.size() == count, "a byte write served with data of another length");
        expected.replace(bitAddress / 8, count, data);
    } else if (count > 0) {
        FUZZ_CHECK(transport == 0x01 && count == 1 && pdu.size() == 29, "a bit write of another shape served");
        const int at = bitAddress / 8;
        const char mask = char(1 << (bitAddress % 8));
        expected[at] = u8(pdu, 28) ? char(expected.at(at) | mask) : char(expected.at(at) & ~mask);
    }
    FUZZ_CHECK(after == expected, "a write left other bytes than the job's in the memory");
    return 0;
}
