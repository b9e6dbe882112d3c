#include "TimerCounterCodec.h"

#include "AddressGrammar.h"
#include "ByteOrder.h"
#include "CDriveBaseClass.h"
#include "ValueCodec.h"

namespace TimerCounterCodec {

namespace {

constexpr int BaseMs[4] = {10, 100, 1000, 10000};

// Three BCD digits of the low 12 bits; -1 when a digit is above 9.
int bcd3(quint16 word)
{
    const int d0 = word & 0xF, d1 = (word >> 4) & 0xF, d2 = (word >> 8) & 0xF;
    if (d0 > 9 || d1 > 9 || d2 > 9)
        return -1;
    return d2 * 100 + d1 * 10 + d0;
}

quint16 toBcd3(int n)
{
    return quint16(((n / 100) << 8) | (((n / 10) % 10) << 4) | (n % 10));
}

bool isWide(int type) { return type == Int32 || type == UInt32; }

} // namespace

bool s5TimeToMs(quint16 word, qint64 *ms)
{
    const int digits = bcd3(word);
    if (digits < 0 || (word & 0xC000) != 0)
        return false;
    *ms = qint64(digits) * BaseMs[(word >> 12) & 0x3];
    return true;
}

bool msToS5Time(qint64 ms, quint16 *word)
{
    for (int base = 0; base < 4; ++base) {
        if (ms >= 0 && ms % BaseMs[base] == 0 && ms / BaseMs[base] <= 999) {
            *word = quint16((base << 12) | toBcd3(int(ms / BaseMs[base])));
            return true;
        }
    }
    return false;
}

bool bcdToCount(quint16 word, int *count)
{
    const int n = bcd3(word);
    if (n < 0 || word > 0x0999)
        return false;
    *count = n;
    return true;
}

bool countToBcd(qint64 count, quint16 *word)
{
    if (count < 0 || count > 999)
        return false;
    *word = toBcd3(int(count));
    return true;
}

int tickMs200(int number)
{
    const int inGroup = number % 32;
    const bool firstGroups = number >= 0 && number < 128;
    if (firstGroups && inGroup == 0)
        return 1;
    if (firstGroups && inGroup >= 1 && inGroup <= 4)
        return 10;
    return 100;
}

QVariant decode(int area, ElementFamily family, int first, int type, const QByteArray &words)
{
    const bool timer = AddressGrammar::isTimer(area);
    const bool s7_200 = family == ElementFamily::S7_200;
    const int width = isWide(type) ? 4 : 2;
    const int n = words.size() / 2;
    QByteArray bytes;
    bytes.reserve(n * width);
    for (int k = 0; k < n; ++k) {
        const quint16 word = quint16(ByteOrder::be16(words, 2 * k));
        qint64 v = word;
        if (timer && isWide(type)) {
            if (s7_200)
                v = qint64(word) * tickMs200(first + k);
            else if (!s5TimeToMs(word, &v))
                return QVariant();
        } else if (!timer && !s7_200) {
            int count = 0;
            if (!bcdToCount(word, &count))
                return QVariant();
            v = count;
        } else if (!timer && type != UInt16 && type != UInt32) {
            v = qint16(word);       // S7-200 counters count down below 0
        }
        for (int b = width - 1; b >= 0; --b)
            bytes.append(char((quint64(v) >> (8 * b)) & 0xFF));
    }
    return ValueCodec::decodeByType(type, 0, bytes, bytes.size());
}

bool encode300(int area, int type, const CLabelVariable &value, int count, QByteArray *words)
{
    const int width = isWide(type) ? 4 : 2;
    if (count < 0 || (width == 2 && type != Int16 && type != UInt16) || (width == 4 && !isWide(type)))
        return false;
    QByteArray bytes;
    if (!ValueCodec::encodeByType(type, value, count, &bytes) || bytes.size() < count * width)
        return false;
    const bool timer = AddressGrammar::isTimer(area);
    const bool isSigned = type == Int16 || type == Int32;
    for (int k = 0; k < count; ++k) {
        const quint64 raw = ByteOrder::beField(bytes, qint64(k) * width, width);
        qint64 v = qint64(raw);
        if (isSigned)
            v = width == 2 ? qint64(qint16(raw)) : qint64(qint32(raw));
        quint16 word = 0;
        if (timer && width == 2) {
            qint64 ms = 0;
            word = quint16(raw);    // the PLC's own word: it must be an S5TIME
            if (!s5TimeToMs(word, &ms))
                return false;
        } else if (timer ? !msToS5Time(v, &word) : !countToBcd(v, &word)) {
            return false;
        }
        ByteOrder::append16(*words, word);
    }
    return true;
}

} // namespace TimerCounterCodec
