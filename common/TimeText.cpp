#include "TimeText.h"

#include <QDate>
#include <QRegularExpression>

#include <limits>

#include "ByteOrder.h"
#include "TimerCounterCodec.h"

namespace TimeText {

namespace {

using TextAddress::Layout;

constexpr qint64 MsPerDay = 86400000;
constexpr qint64 NsPerMs = 1000000;
const QDate DateEpoch(1990, 1, 1);
const QDate LastDate(2168, 12, 31);     // the last day a DATE's 16 bits reach

// Two BCD digits of a byte; -1 when a digit is above 9.
int fromBcd(int byte)
{
    const int high = (byte >> 4) & 0xF, low = byte & 0xF;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

char toBcd(int n) { return char(((n / 10) << 4) | (n % 10)); }

// S7 counts the weekday from Sunday = 1; Qt from Monday = 1 to Sunday = 7.
int s7Weekday(const QDate &date) { return date.dayOfWeek() % 7 + 1; }

struct Stamp {
    QDate date;
    int hour = 0, minute = 0, second = 0;
    qint64 ns = 0;
};

bool validClock(int hour, int minute, int second)
{
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

// Zero to nine fraction digits as nanoseconds.
qint64 fractionNs(const QString &digits)
{
    return digits.leftJustified(9, QLatin1Char('0')).toLongLong();
}

QString two(int n) { return QString::number(n).rightJustified(2, QLatin1Char('0')); }

QString clockText(int hour, int minute, int second, qint64 fraction, int digits)
{
    return QStringLiteral("%1:%2:%3.%4").arg(two(hour), two(minute), two(second))
        .arg(fraction, digits, 10, QLatin1Char('0'));
}

// "YYYY-MM-DDTHH:MM:SS.f": a T or a space, zero to nine fraction digits.
bool parseStamp(const QString &text, Stamp *s)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern(QStringLiteral(
        "([0-9]{4})-([0-9]{2})-([0-9]{2})[T ]([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\\.([0-9]{0,9}))?")),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    s->date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    s->hour = m.captured(4).toInt();
    s->minute = m.captured(5).toInt();
    s->second = m.captured(6).toInt();
    s->ns = fractionNs(m.captured(7));
    return s->date.isValid() && validClock(s->hour, s->minute, s->second);
}

bool decodeDt(const QByteArray &b, QString *text)
{
    int f[7];
    for (int i = 0; i < 7; ++i) {
        f[i] = fromBcd(quint8(b.at(i)));
        if (f[i] < 0)
            return false;
    }
    const int msUnits = (quint8(b.at(7)) >> 4) & 0xF;
    if (msUnits > 9)
        return false;
    const int year = f[0] >= 90 ? 1900 + f[0] : 2000 + f[0];
    const QDate date(year, f[1], f[2]);
    if (!date.isValid() || !validClock(f[3], f[4], f[5]))
        return false;
    *text = date.toString(Qt::ISODate) + QLatin1Char('T') + clockText(f[3], f[4], f[5], f[6] * 10 + msUnits, 3);
    return true;
}

bool encodeDt(const QString &text, QByteArray *b)
{
    Stamp s;
    if (!parseStamp(text, &s) || s.ns % NsPerMs != 0)
        return false;
    const int year = s.date.year();
    if (year < 1990 || year > 2089)
        return false;
    const int ms = int(s.ns / NsPerMs);
    b->append(toBcd(year % 100));
    b->append(toBcd(s.date.month()));
    b->append(toBcd(s.date.day()));
    b->append(toBcd(s.hour));
    b->append(toBcd(s.minute));
    b->append(toBcd(s.second));
    b->append(toBcd(ms / 10));
    b->append(char(((ms % 10) << 4) | s7Weekday(s.date)));
    return true;
}

bool dtlYear(int year) { return year >= 1970 && year <= 2262; }

bool decodeDtl(const QByteArray &b, QString *text)
{
    const int year = ByteOrder::be16(b, 0);
    const QDate date(year, quint8(b.at(2)), quint8(b.at(3)));
    const qint64 ns = qint64(ByteOrder::beField(b, 8, 4));
    if (!dtlYear(year) || !date.isValid() || !validClock(quint8(b.at(5)), quint8(b.at(6)), quint8(b.at(7)))
        || ns >= 1000 * NsPerMs)
        return false;
    *text = date.toString(Qt::ISODate) + QLatin1Char('T')
            + clockText(quint8(b.at(5)), quint8(b.at(6)), quint8(b.at(7)), ns, 9);
    return true;
}

bool encodeDtl(const QString &text, QByteArray *b)
{
    Stamp s;
    if (!parseStamp(text, &s) || !dtlYear(s.date.year()))
        return false;
    ByteOrder::append16(*b, s.date.year());
    b->append(char(s.date.month()));
    b->append(char(s.date.day()));
    b->append(char(s7Weekday(s.date)));
    b->append(char(s.hour));
    b->append(char(s.minute));
    b->append(char(s.second));
    ByteOrder::appendField(*b, quint64(s.ns), 4);
    return true;
}

bool decodeDate(const QByteArray &b, QString *text)
{
    const QDate date = DateEpoch.addDays(ByteOrder::be16(b, 0));
    if (date > LastDate)
        return false;
    *text = date.toString(Qt::ISODate);
    return true;
}

bool encodeDate(const QString &text, QByteArray *b)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})")));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid() || date < DateEpoch || date > LastDate)
        return false;
    ByteOrder::append16(*b, int(DateEpoch.daysTo(date)));
    return true;
}

bool decodeTod(const QByteArray &b, QString *text)
{
    const qint64 ms = qint64(ByteOrder::beField(b, 0, 4));
    if (ms >= MsPerDay)
        return false;
    *text = clockText(int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60), ms % 1000, 3);
    return true;
}

bool encodeTod(const QString &text, QByteArray *b)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral("([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\\.([0-9]{0,9}))?")));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const int hour = m.captured(1).toInt(), minute = m.captured(2).toInt(), second = m.captured(3).toInt();
    const qint64 ns = fractionNs(m.captured(4));
    if (!validClock(hour, minute, second) || ns % NsPerMs != 0)
        return false;
    ByteOrder::appendField(*b, quint64(((hour * 60 + minute) * 60 + second) * qint64(1000) + ns / NsPerMs), 4);
    return true;
}

} // namespace

QString durationText(const char *prefix, qint64 ms)
{
    QString text = QLatin1String(prefix);
    if (ms == 0)
        return text + QLatin1String("0ms");
    if (ms < 0)
        text += QLatin1Char('-');
    quint64 rest = ms < 0 ? quint64(0) - quint64(ms) : quint64(ms);
    static const struct { quint64 ms; const char *unit; } units[] = {
        {86400000, "d"}, {3600000, "h"}, {60000, "m"}, {1000, "s"}, {1, "ms"}};
    for (const auto &u : units) {
        if (rest >= u.ms) {
            text += QString::number(rest / u.ms) + QLatin1String(u.unit);
            rest %= u.ms;
        }
    }
    return text;
}

bool parseDuration(const char *prefix, const QString &text, qint64 *ms)
{
    // Each part at most 10 digits: the sum stays far inside 64 bits.
    static const QRegularExpression iec(QStringLiteral("^([0-9]{1,10})(ms|d|h|m|s)"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression iso(QRegularExpression::anchoredPattern(QStringLiteral(
        "(-?)P(?:([0-9]{1,10})D)?(?:T(?:([0-9]{1,10})H)?(?:([0-9]{1,10})M)?(?:([0-9]{1,10})(?:\\.([0-9]{1,9}))?S)?)?")),
        QRegularExpression::CaseInsensitiveOption);
    const QString p = QLatin1String(prefix);
    qint64 total = 0;
    bool negative = false;
    if (text.startsWith(p, Qt::CaseInsensitive)) {
        QString rest = text.mid(p.size());
        negative = rest.startsWith(QLatin1Char('-'));
        if (negative)
            rest.remove(0, 1);
        static const qint64 unitMs[] = {86400000, 3600000, 60000, 1000, 1};
        static const char *const unitNames[] = {"d", "h", "m", "s", "ms"};
        int next = 0;       // units come from days down, each once
        if (rest.isEmpty())
            return false;
        while (!rest.isEmpty()) {
            const QRegularExpressionMatch m = iec.match(rest);
            if (!m.hasMatch())
                return false;
            int unit = next;
            while (unit < 5 && m.captured(2).compare(QLatin1String(unitNames[unit]), Qt::CaseInsensitive) != 0)
                ++unit;
            if (unit == 5)
                return false;
            total += m.captured(1).toLongLong() * unitMs[unit];
            next = unit + 1;
            rest.remove(0, m.capturedLength(0));
        }
    } else {
        const QRegularExpressionMatch m = iso.match(text);
        // At least one part, and a T only with a part behind it.
        if (!m.hasMatch() || text.endsWith(QLatin1Char('T'), Qt::CaseInsensitive)
            || (m.capturedLength(2) + m.capturedLength(3) + m.capturedLength(4) + m.capturedLength(5)) == 0)
            return false;
        negative = m.capturedLength(1) > 0;
        const qint64 fraction = m.capturedLength(6) > 0 ? fractionNs(m.captured(6)) : 0;
        if (fraction % NsPerMs != 0)
            return false;
        total = m.captured(2).toLongLong() * 86400000 + m.captured(3).toLongLong() * 3600000
                + m.captured(4).toLongLong() * 60000 + m.captured(5).toLongLong() * 1000 + fraction / NsPerMs;
    }
    *ms = negative ? -total : total;
    return true;
}

bool decode(Layout layout, const QByteArray &bytes, QString *text)
{
    if (bytes.size() < TextAddress::elementBytes(layout, 0))
        return false;
    switch (layout) {
    case Layout::DateAndTime: return decodeDt(bytes, text);
    case Layout::Dtl: return decodeDtl(bytes, text);
    case Layout::Date: return decodeDate(bytes, text);
    case Layout::TimeOfDay: return decodeTod(bytes, text);
    case Layout::Time:
        *text = durationText("T#", qint32(quint32(ByteOrder::beField(bytes, 0, 4))));
        return true;
    case Layout::S5Time: {
        qint64 ms = 0;
        if (!TimerCounterCodec::s5TimeToMs(quint16(ByteOrder::be16(bytes, 0)), &ms))
            return false;
        *text = durationText("S5T#", ms);
        return true;
    }
    default: return false;
    }
}

bool encode(Layout layout, const QString &text, QByteArray *bytes)
{
    switch (layout) {
    case Layout::DateAndTime: return encodeDt(text, bytes);
    case Layout::Dtl: return encodeDtl(text, bytes);
    case Layout::Date: return encodeDate(text, bytes);
    case Layout::TimeOfDay: return encodeTod(text, bytes);
    case Layout::Time: {
        qint64 ms = 0;
        if (!parseDuration("T#", text, &ms) || ms < std::numeric_limits<qint32>::min()
            || ms > std::numeric_limits<qint32>::max())
            return false;
        ByteOrder::appendField(*bytes, quint64(quint32(qint32(ms))), 4);
        return true;
    }
    case Layout::S5Time: {
        qint64 ms = 0;
        quint16 word = 0;
        if (!parseDuration("S5T#", text, &ms) || !TimerCounterCodec::msToS5Time(ms, &word))
            return false;
        ByteOrder::append16(*bytes, word);
        return true;
    }
    default: return false;
    }
}

} // namespace TimeText
