#include "TextCodec.h"

#include <QTextCodec>

#include "ByteOrder.h"
#include "CDriveBaseClass.h"
#include "TimeText.h"

namespace TextCodec {

namespace {

using TextAddress::Layout;

QString fromUtf16Be(const QByteArray &bytes, qint64 at, qint64 units)
{
    QString text;
    text.reserve(int(units));
    for (qint64 i = 0; i < units; ++i)
        text.append(QChar(ushort(ByteOrder::beField(bytes, at + 2 * i, 2))));
    return text;
}

// False for a character beyond U+FFFF: the PLC's types hold one UTF-16 unit per character.
bool toUtf16Be(const QString &text, QByteArray *out)
{
    for (const QChar c : text) {
        if (c.isSurrogate())
            return false;
        ByteOrder::append16(*out, c.unicode());
    }
    return true;
}

// The bytes of `text` in the code page; false when a character has no place in it (the code
// page would put a substitute there, which decodes to something else).
bool encodeIn(const QTextCodec *codePage, const QString &text, QByteArray *out)
{
    *out = codePage->fromUnicode(text);
    return codePage->toUnicode(*out) == text;
}

QString trimmedEnd(QString text)
{
    int end = text.size();
    while (end > 0 && (text.at(end - 1) == QLatin1Char(' ') || text.at(end - 1).unicode() == 0))
        --end;
    text.truncate(end);
    return text;
}

} // namespace

bool decode(Layout layout, int n, const QByteArray &bytes, const QTextCodec *codePage, QString *text)
{
    switch (layout) {
    case Layout::String: {
        if (bytes.size() < 2)
            return false;
        const int max = quint8(bytes.at(0)), length = quint8(bytes.at(1));
        if (length > max || length > n || 2 + length > bytes.size())
            return false;
        *text = codePage->toUnicode(bytes.mid(2, length));
        return true;
    }
    case Layout::WString: {
        if (bytes.size() < 4)
            return false;
        const qint64 max = ByteOrder::be16(bytes, 0), length = ByteOrder::be16(bytes, 2);
        if (length > max || length > n || 4 + 2 * length > bytes.size())
            return false;
        *text = fromUtf16Be(bytes, 4, length);
        return true;
    }
    case Layout::String200: {
        if (bytes.isEmpty())
            return false;
        const int length = quint8(bytes.at(0));
        if (length > n || 1 + length > bytes.size())
            return false;
        *text = codePage->toUnicode(bytes.mid(1, length));
        return true;
    }
    case Layout::Char:
        if (bytes.size() < n)
            return false;
        *text = trimmedEnd(codePage->toUnicode(bytes.left(n)));
        return true;
    case Layout::WChar:
        if (bytes.size() < 2 * qint64(n))
            return false;
        *text = trimmedEnd(fromUtf16Be(bytes, 0, n));
        return true;
    case Layout::None:
        return false;
    default:
        return TimeText::decode(layout, bytes, text);
    }
}

int encode(Layout layout, int n, const QString &text, const QTextCodec *codePage, QByteArray *bytes, int *offset)
{
    bytes->clear();
    *offset = 0;
    QByteArray chars;
    switch (layout) {
    case Layout::String:
    case Layout::String200:
    case Layout::Char:
        if (!encodeIn(codePage, text, &chars))
            return ResultCode::BadType;
        if (chars.size() > n)
            return ResultCode::BadCount;
        if (layout == Layout::Char) {
            *bytes = chars + QByteArray(n - chars.size(), ' ');
        } else {
            bytes->append(char(chars.size()));
            bytes->append(chars);
            *offset = layout == Layout::String ? 1 : 0;
        }
        return ResultCode::Success;
    case Layout::WString:
    case Layout::WChar:
        if (!toUtf16Be(text, &chars))
            return ResultCode::BadType;
        if (chars.size() / 2 > n)
            return ResultCode::BadCount;
        if (layout == Layout::WChar) {
            *bytes = chars;
            for (int i = chars.size() / 2; i < n; ++i)
                ByteOrder::append16(*bytes, ' ');
        } else {
            ByteOrder::append16(*bytes, chars.size() / 2);
            bytes->append(chars);
            *offset = 2;
        }
        return ResultCode::Success;
    case Layout::None:
        return ResultCode::BadType;
    default:
        return TimeText::encode(layout, text, bytes) ? ResultCode::Success : ResultCode::BadType;
    }
}

} // namespace TextCodec
