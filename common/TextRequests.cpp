#include "TextRequests.h"

#include <QTextCodec>

#include "ByteOrder.h"
#include "CDriveBaseClass.h"
#include "JobSplit.h"
#include "TextCodec.h"

using TextAddress::Layout;

TextRequests::TextRequests(JobPort &port, const RequestCheck::Rules &rules, LocalClock &stamps)
    : port(port), rules(rules), stamps(stamps), codePage(defaultCodePage())
{
}

const QTextCodec *TextRequests::defaultCodePage()
{
    // Chinese projects write S7-200 SMART and S7-300 strings in GBK, a superset of ASCII.
    static const QTextCodec *gbk = QTextCodec::codecForName("GBK");
    return gbk ? gbk : QTextCodec::codecForName("ISO-8859-1");
}

void TextRequests::setCodePage(const QTextCodec *page)
{
    codePage = page ? page : defaultCodePage();
}

TextAddress::Address TextRequests::parsed(const QString &address)
{
    return addresses.get(address, [this](const QString &text) { return TextAddress::parse(text, rules.strings200); });
}

int TextRequests::readBytes(const TextAddress::Address &a, qint64 offset, int length, QByteArray *out,
                            const bool &gone)
{
    const PlcPlace start{a.area, a.dbNumber, RequestCheck::saturated(a.byteAddress + offset), 0, QString()};
    return JobSplit::run(length, port.readCapacity(), [&](int at, int piece) {
        PlcPlace place = start;
        place.byteAddress = RequestCheck::saturated(qint64(start.byteAddress) + at);
        return gone ? -3 : port.readJob(place, piece, out);
    });
}

int TextRequests::writeBytes(const TextAddress::Address &a, qint64 offset, const QByteArray &bytes,
                             const bool &gone)
{
    const PlcPlace start{a.area, a.dbNumber, RequestCheck::saturated(a.byteAddress + offset), 0, QString()};
    return JobSplit::run(bytes.size(), port.writeCapacity(), [&](int at, int piece) {
        PlcPlace place = start;
        place.byteAddress = RequestCheck::saturated(qint64(start.byteAddress) + at);
        return gone ? -3 : port.writeJob(place, bytes.mid(at, piece), false);
    });
}

int TextRequests::declaredLength(const TextAddress::Address &a, int count, int *n, const bool &gone)
{
    *n = a.declared;
    if (!TextAddress::hasLength(a.layout) || a.declared >= 0)
        return ResultCode::Success;
    // An S7-200 string has no max byte: only its current length can be read, one element's.
    if (a.layout == Layout::String200 && count > 1)
        return ResultCode::BadCount;
    QByteArray header;
    const int r = readBytes(a, 0, TextAddress::headerBytes(a.layout), &header, gone);
    if (gone)
        return ResultCode::LinkDown;
    if (r != 0)
        return ResultCode::fromTransport(r, ResultCode::WrongAnswer);
    if (header.size() < TextAddress::headerBytes(a.layout))
        return ResultCode::WrongAnswer;
    *n = a.layout == Layout::WString ? ByteOrder::be16(header, 0) : quint8(header.at(0));
    // A max no such type has is no header: nothing is read or written on its word.
    if ((a.layout == Layout::String && *n > 254) || (a.layout == Layout::WString && *n > 16382))
        return ResultCode::WrongAnswer;
    return ResultCode::Success;
}

int TextRequests::checkSpan(const TextAddress::Address &a, int n, int count, qint64 addressEnd, qint64 maxBytes) const
{
    const qint64 span = (qint64(count) - 1) * TextAddress::stride(a.layout, n) + TextAddress::elementBytes(a.layout, n);
    if (a.byteAddress + span - 1 > addressEnd)
        return ResultCode::BadAddress;
    if (span > maxBytes)
        return ResultCode::BadCount;
    return ResultCode::Success;
}

bool TextRequests::read(const QString &address, int count, CLabelVariable *result, const bool &gone)
{
    const TextAddress::Address a = parsed(address);
    if (a.layout == Layout::None)
        return false;
    int n = 0;
    int code = a.malformed ? ResultCode::BadArea : count < 1 ? ResultCode::BadCount : ResultCode::Success;
    // Before a header read: the shortest elements the layout has must fit already.
    if (code == ResultCode::Success)
        code = checkSpan(a, qMax(a.declared, 0), count, rules.readAddressEnd, rules.maxReadBytes);
    if (code == ResultCode::Success)
        code = declaredLength(a, count, &n, gone);
    if (gone) {
        result->resultCode = ResultCode::LinkDown;
        return true;
    }
    if (code == ResultCode::Success)
        code = checkSpan(a, n, count, rules.readAddressEnd, rules.maxReadBytes);
    if (code != ResultCode::Success) {
        result->resultCode = code;
        result->timeStamp = stamps.now();
        return true;
    }
    const qint64 stride = TextAddress::stride(a.layout, n);
    const int width = int(TextAddress::elementBytes(a.layout, n));
    QByteArray bytes;
    const int r = readBytes(a, 0, int((qint64(count) - 1) * stride + width), &bytes, gone);
    if (gone) {
        result->resultCode = ResultCode::LinkDown;
        return true;
    }
    if (r != 0) {
        result->resultCode = ResultCode::fromTransport(r, result->resultCode);
        return true;
    }
    QList<QString> texts;
    for (int i = 0; i < count; ++i) {
        QString text;
        if (!TextCodec::decode(a.layout, n, bytes.mid(int(i * stride), width), codePage, &text)) {
            result->resultCode = ResultCode::WrongAnswer;   // the PLC holds no value of the type
            return true;
        }
        texts.append(text);
    }
    result->timeStamp = stamps.now();
    result->value = QVariant::fromValue(texts);
    result->resultCode = ResultCode::Success;
    return true;
}

bool TextRequests::write(const QString &address, int count, const CLabelVariable &value, CLabelVariable *result,
                         const bool &gone)
{
    const TextAddress::Address a = parsed(address);
    if (a.layout == Layout::None)
        return false;
    const auto refuse = [result](int code) {
        result->resultCode = code;
        return true;
    };
    if (a.malformed)
        return refuse(ResultCode::BadArea);
    if (count < 1)
        return refuse(ResultCode::BadCount);
    if (!value.holds<QString>())
        return refuse(ResultCode::BadType);
    const QList<QString> texts = value.value.value<QList<QString>>();
    if (texts.size() < count)
        return refuse(ResultCode::BadCount);
    // The space an S7-200 string may fill is nowhere in the PLC: writing past it would overwrite
    // the neighbouring variables.
    if (a.layout == Layout::String200 && a.declared < 0)
        return refuse(ResultCode::BadArea);
    int code = checkSpan(a, qMax(a.declared, 0), count, rules.writeAddressEnd, rules.maxWriteBytes);
    if (code != ResultCode::Success)
        return refuse(code);
    int n = 0;
    code = declaredLength(a, count, &n, gone);
    if (gone)
        return refuse(ResultCode::LinkDown);
    if (code == ResultCode::Success)
        code = checkSpan(a, n, count, rules.writeAddressEnd, rules.maxWriteBytes);
    if (code != ResultCode::Success)
        return refuse(code);

    const qint64 stride = TextAddress::stride(a.layout, n);
    QList<QByteArray> elements;
    QList<int> offsets;
    for (int i = 0; i < count; ++i) {
        QByteArray bytes;
        int offset = 0;
        code = TextCodec::encode(a.layout, n, texts.at(i), codePage, &bytes, &offset);
        if (code != ResultCode::Success)
            return refuse(code);
        elements.append(bytes);
        offsets.append(offset);
    }
    int r = 0;
    if (stride == TextAddress::elementBytes(a.layout, n) && a.layout != Layout::String
        && a.layout != Layout::WString && a.layout != Layout::String200) {
        // Elements that fill their space wholly go out as one run of bytes.
        QByteArray run;
        for (const QByteArray &e : elements)
            run.append(e);
        r = writeBytes(a, 0, run, gone);
    } else {
        for (int i = 0; i < count && r == 0; ++i)
            r = writeBytes(a, i * stride + offsets.at(i), elements.at(i), gone);
    }
    if (gone)
        return refuse(ResultCode::LinkDown);
    if (r == 0)
        result->timeStamp = stamps.now();
    result->resultCode = ResultCode::fromTransport(r, result->resultCode);
    return true;
}
