#include "S7Refusal.h"

#include <QRegularExpression>

#include "ByteOrder.h"

namespace S7Refusal {

namespace {

struct Meaning {
    int errorClass;     // -1: an item return code in `code`
    int code;           // -1: any code of the class
    const char *local;
    const char *english;
};

// Most specific first: a class and code, then the class alone.
const Meaning Meanings[] = {
    {0x81, 0x04, "此状态下不允许该功能，PLC 可能未开放 PUT/GET 访问",
     "function not allowed, PUT/GET access may be off in the PLC"},
    {0x83, 0x04, "此状态下不允许该功能，PLC 可能未开放 PUT/GET 访问",
     "function not allowed, PUT/GET access may be off in the PLC"},
    {0x85, 0x00, "PDU 长度超出协商值", "PDU larger than negotiated"},
    {0x81, -1, "应用关系错误", "application relationship error"},
    {0x82, -1, "对象定义错误", "object definition error"},
    {0x83, -1, "资源不足", "no resources available"},
    {0x84, -1, "服务处理错误", "error in service processing"},
    {0x85, -1, "资源错误", "error on supplies"},
    {0x87, -1, "访问错误", "access error"},
    {-1, 0x01, "硬件故障", "hardware fault"},
    {-1, 0x03, "不允许访问该对象", "access to the object denied"},
    {-1, 0x05, "地址超出范围", "address out of range"},
    {-1, 0x06, "不支持该数据类型", "data type not supported"},
    {-1, 0x07, "数据类型或长度不一致", "data type or length inconsistent"},
    {-1, 0x0A, "对象不存在", "object does not exist"},
};

const Meaning *meaningOf(const Reason &r)
{
    for (const Meaning &m : Meanings) {
        const bool matches = r.itemCode >= 0
            ? m.errorClass == -1 && m.code == r.itemCode
            : m.errorClass == r.errorClass && (m.code == -1 || m.code == r.errorCode);
        if (matches)
            return &m;
    }
    return nullptr;
}

QString hex(int value)
{
    return QLatin1String("0x") + QString::number(value, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

QString codes(const Reason &r)
{
    return r.itemCode >= 0 ? hex(r.itemCode) : hex(r.errorClass) + QLatin1Char('/') + hex(r.errorCode);
}

} // namespace

Reason of(const QByteArray &pdu)
{
    Reason r;
    // Acknowledgement (0x02) or acknowledgement with data (0x03); the header ends with its error.
    if (pdu.size() < 12 || ByteOrder::u8(pdu, 0) != 0x32 || (ByteOrder::u8(pdu, 1) != 0x02 && ByteOrder::u8(pdu, 1) != 0x03))
        return r;
    r.errorClass = ByteOrder::u8(pdu, 10);
    r.errorCode = ByteOrder::u8(pdu, 11);
    if (r.errorClass != 0 || r.errorCode != 0)
        return r;
    // A read or write acknowledgement of one item: function, item count, then the return code.
    constexpr int Item = 14;
    if (pdu.size() > Item && (ByteOrder::u8(pdu, 12) == 0x04 || ByteOrder::u8(pdu, 12) == 0x05) && ByteOrder::u8(pdu, Item) != 0xFF)
        r.itemCode = ByteOrder::u8(pdu, Item);
    return r;
}

QString warningSuffix(const Reason &reason)
{
    if (!reason.known())
        return QString();
    const Meaning *m = meaningOf(reason);
    return QStringLiteral(" [PLC %1: %2]").arg(codes(reason), QString::fromUtf8(m ? m->local : "未知错误"));
}

Reason fromWarning(const QString &line)
{
    static const QRegularExpression tag(QStringLiteral("\\[PLC 0x([0-9A-F]{2})(?:/0x([0-9A-F]{2}))?:"));
    Reason r;
    const QRegularExpressionMatch m = tag.match(line);
    if (!m.hasMatch())
        return r;
    if (m.captured(2).isEmpty()) {
        r.itemCode = m.captured(1).toInt(nullptr, 16);
    } else {
        r.errorClass = m.captured(1).toInt(nullptr, 16);
        r.errorCode = m.captured(2).toInt(nullptr, 16);
    }
    return r;
}

QString describe(const Reason &reason)
{
    if (!reason.known())
        return QString();
    const Meaning *m = meaningOf(reason);
    return QStringLiteral("PLC: %1 %2").arg(codes(reason), QLatin1String(m ? m->english : "unknown error"));
}

} // namespace S7Refusal
