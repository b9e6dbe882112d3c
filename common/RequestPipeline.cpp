#include "RequestPipeline.h"

#include <QDebug>

#include "CDriveBaseClass.h"
#include "JobSplit.h"
#include "S7Pdu.h"
#include "TimerCounterCodec.h"
#include "ValueCodec.h"

namespace {

// The place `offset` bytes further on: where a job after the first starts.
PlcPlace after(const PlcPlace &place, int offset)
{
    PlcPlace next = place;
    next.byteAddress = RequestCheck::saturated(qint64(place.byteAddress) + offset);
    return next;
}

bool isElementArea(const PlcPlace &place) { return AddressGrammar::isTimerOrCounter(place.area); }

} // namespace

RequestPipeline::RequestPipeline(JobPort &port, const RequestCheck::Rules &rules, const char *driveName)
    : port(port), rules(rules), driveName(driveName), texts(port, rules, stamps)
{
}

RequestPipeline::~RequestPipeline()
{
    if (inFlight)
        inFlight->gone = true;
}

bool RequestPipeline::refuseWhileInFlight(const QString &call) const
{
    if (!inFlight)
        return false;
    qWarning().noquote() << QStringLiteral("lib[%1]调用被拒绝: 本驱动对象的上一个调用尚未结束 %2")
                                .arg(QString::fromLatin1(driveName), call);
    return true;
}

// The result names the call it answers, whatever became of it.
static CLabelVariable &labelled(CLabelVariable &result, const QString &address, int type, int count)
{
    result.address = address;
    result.count = count;
    result.type = type;
    return result;
}

CLabelVariable RequestPipeline::read(const QString &address, int type, int count)
{
    CLabelVariable result;
    if (refuseWhileInFlight(address)) {
        result.resultCode = ResultCode::LinkDown;
        return labelled(result, address, type, count);
    }
    InFlight flight(*this);
    if (type == String && texts.read(address, count, &result, flight.gone))
        return labelled(result, address, type, count);
    // A host polls the same texts over and over: each is parsed once.
    RequestCheck::Verdict v = RequestCheck::read(addresses.get(address, AddressGrammar::parse), type, count, rules);
    if (v.code != ResultCode::Success) {
        result.resultCode = v.code;
        result.timeStamp = stamps.now();    // refused before anything was sent: the time of the call
    } else {
        v.target.text = address;
        result = readPlace(v.target, type, count, flight);
    }
    return labelled(result, address, type, count);
}

CLabelVariable RequestPipeline::write(const QString &address, int type, const CLabelVariable &value, int count)
{
    CLabelVariable result = value;
    if (refuseWhileInFlight(address)) {
        result.resultCode = ResultCode::LinkDown;
        return labelled(result, address, type, count);
    }
    InFlight flight(*this);
    if (type == String && texts.write(address, count, value, &result, flight.gone))
        return labelled(result, address, type, count);
    RequestCheck::Verdict v =
        RequestCheck::write(addresses.get(address, AddressGrammar::parse), type, count, value, rules);
    if (v.code != ResultCode::Success) {
        result.resultCode = v.code;
    } else {
        v.target.text = address;
        result = writePlace(v.target, type, count, value, flight);
        if (v.target.area == AddressGrammar::Input)
            result.resultCode = ResultCode::InputWrite;
    }
    return labelled(result, address, type, count);
}

CLabelVariable RequestPipeline::readAt(const PlcPlace &place, int type, int count)
{
    if (refuseWhileInFlight(place.text)) {
        CLabelVariable refused;
        refused.resultCode = ResultCode::LinkDown;
        return refused;
    }
    InFlight flight(*this);
    return readPlace(place, type, count, flight);
}

CLabelVariable RequestPipeline::writeAt(const PlcPlace &place, int type, int count, const CLabelVariable &value)
{
    if (refuseWhileInFlight(place.text)) {
        CLabelVariable refused = value;
        refused.resultCode = ResultCode::LinkDown;
        return refused;
    }
    InFlight flight(*this);
    return writePlace(place, type, count, value, flight);
}

CLabelVariable RequestPipeline::readPlace(const PlcPlace &place, int type, int count, const InFlight &flight)
{
    if (isElementArea(place))
        return readElementsAt(place, type, count, flight);
    CLabelVariable result;
    const int byteLength = RequestCheck::saturated(RequestCheck::readByteLength(type, place.bitNumber, count));
    QByteArray bytes;
    const int r = readInJobs(place, byteLength, &bytes);
    if (flight.gone) {
        result.resultCode = ResultCode::LinkDown;   // deleted under the call: nothing of it is touched
        return result;
    }
    if (r == 0) {
        result.timeStamp = stamps.now();
        // The codec knows the types it decodes: for any other it gives no list.
        result.value = ValueCodec::decodeByType(type, place.bitNumber, bytes, byteLength);
        result.resultCode = result.value.isValid() ? ResultCode::Success : ResultCode::BadType;
    } else {
        result.resultCode = ResultCode::fromTransport(r, result.resultCode);
    }
    return result;
}

CLabelVariable RequestPipeline::writePlace(const PlcPlace &place, int type, int count, const CLabelVariable &value,
                                           const InFlight &flight)
{
    if (isElementArea(place))
        return writeElementsAt(place, type, count, value, flight);
    CLabelVariable result = value;
    const bool bitItem = type == Bool;
    const int byteLength = RequestCheck::saturated(RequestCheck::writeByteLength(type, count));
    QByteArray bytes;
    // Bool: one byte per bit, as many as the write's bytes (one bit item carries the first).
    const bool known = ValueCodec::encodeByType(type, value, bitItem ? byteLength : count, &bytes);
    int r;
    if (bytes.size() < byteLength) {
        r = -1;     // the value lacks elements: nothing goes out that the host did not give
    } else if (bitItem) {
        r = port.writeJob(place, bytes, true);
    } else {
        // Byte items start at bit 0 of their byte, whatever bit the caller named.
        PlcPlace start = place;
        start.bitNumber = 0;
        r = writeInJobs(start, bytes);
    }
    if (flight.gone) {
        result.resultCode = ResultCode::LinkDown;
        return result;
    }
    if (r == 0)
        result.timeStamp = stamps.now();
    result.resultCode = known ? ResultCode::fromTransport(r, result.resultCode) : ResultCode::BadType;
    return result;
}

int RequestPipeline::readInJobs(const PlcPlace &place, int byteLength, QByteArray *out)
{
    out->reserve(out->size() + byteLength);
    return JobSplit::run(byteLength, capacityAt(place, port.readCapacity()), [&](int offset, int length) {
        return offset == 0 ? port.readJob(place, length, out) : port.readJob(after(place, offset), length, out);
    });
}

int RequestPipeline::writeInJobs(const PlcPlace &place, const QByteArray &bytes)
{
    return JobSplit::run(bytes.size(), capacityAt(place, port.writeCapacity()), [&](int offset, int length) {
        const QByteArray piece = bytes.mid(offset, length);
        return offset == 0 ? port.writeJob(place, piece, false) : port.writeJob(after(place, offset), piece, false);
    });
}

int RequestPipeline::capacityAt(const PlcPlace &place, int capacity) const
{
    // An odd piece would split a word; below 2 the capacity is unknown and stays so.
    return AddressGrammar::isAnalog(place.area) && capacity > 1 ? capacity & ~1 : capacity;
}

CLabelVariable RequestPipeline::readElementsAt(const PlcPlace &place, int type, int count, const InFlight &flight)
{
    CLabelVariable result;
    QByteArray words;
    // An S7-200-family answer may take 5 bytes per element.
    const int perJob = port.readCapacity() / S7Pdu::MaxElementRecord;
    const int r = JobSplit::run(count, perJob, [&](int offset, int length) {
        return port.readElements(after(place, offset), length, &words);
    });
    if (flight.gone) {
        result.resultCode = ResultCode::LinkDown;   // deleted under the call: nothing of it is touched
        return result;
    }
    if (r != 0) {
        result.resultCode = ResultCode::fromTransport(r, result.resultCode);
        return result;
    }
    result.timeStamp = stamps.now();
    result.value = TimerCounterCodec::decode(place.area, port.elementFamily(), place.byteAddress, type, words);
    // A word that holds no time or count is a wrong answer, not a value.
    result.resultCode = result.value.isValid() ? ResultCode::Success : ResultCode::WrongAnswer;
    return result;
}

CLabelVariable RequestPipeline::writeElementsAt(const PlcPlace &place, int type, int count, const CLabelVariable &value,
                                                const InFlight &flight)
{
    CLabelVariable result = value;
    // No source shows how an S7-200-family PLC takes a timer or counter write.
    if (port.elementFamily() == ElementFamily::S7_200) {
        result.resultCode = ResultCode::BadArea;
        return result;
    }
    QByteArray words;
    if (!TimerCounterCodec::encode300(place.area, type, value, count, &words)) {
        result.resultCode = ResultCode::BadType;
        return result;
    }
    const int r = JobSplit::run(count, port.writeCapacity() / 2, [&](int offset, int length) {
        return port.writeElements(after(place, offset), words.mid(2 * offset, 2 * length));
    });
    if (flight.gone) {
        result.resultCode = ResultCode::LinkDown;
        return result;
    }
    if (r == 0)
        result.timeStamp = stamps.now();
    // Refused because the PLC turned out to be of the S7-200 family: nothing was written.
    if (r == -1 && port.elementFamily() == ElementFamily::S7_200)
        result.resultCode = ResultCode::BadArea;
    else
        result.resultCode = ResultCode::fromTransport(r, result.resultCode);
    return result;
}
