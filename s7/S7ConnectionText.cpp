#include "S7ConnectionText.h"

#include <QStringList>

#include "DecimalText.h"

namespace S7ConnectionText {

namespace {

// A decimal number of at most two digits within [0, highest], or -1.
int smallNumber(const QString &text, int highest) { return decimalWithin(text, 2, 0, highest); }

// Exactly four hex digits, or -1.
int tsap(const QString &text)
{
    if (text.size() != 4)
        return -1;
    static const QString digits = QStringLiteral("0123456789abcdef");
    int value = 0;
    for (const QChar c : text) {
        const int digit = digits.indexOf(c.toLower());
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

int connectionType(const QString &text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("pg"))
        return 1;
    if (t == QLatin1String("op"))
        return 2;
    if (t == QLatin1String("basic"))
        return 3;
    return -1;
}

} // namespace

Parsed parse(const QString &text)
{
    Parsed p;
    const int comma = text.indexOf(QLatin1Char(','));
    const QString address = comma < 0 ? text : text.left(comma);
    const int colon = address.indexOf(QLatin1Char(':'));
    p.ip = colon < 0 ? address : address.left(colon);
    p.port = (colon < 0 ? address : address.mid(colon + 1)).toInt();
    // A port beyond 16 bits must not silently connect to its low bits.
    if (p.port < 1 || p.port > 65535 || p.ip.isEmpty())
        return p;
    if (comma < 0) {
        p.valid = true;
        return p;
    }

    int rack = -1, slot = -1, type = -1, local = -1, remote = -1;
    const auto refuse = [&p](const QString &key, const QString &value) {
        p.fieldRefused = true;
        p.refusedKey = key;
        p.refusedValue = value;
        return p;
    };
    for (const QString &field : text.mid(comma + 1).split(QLatin1Char(','))) {
        const int eq = field.indexOf(QLatin1Char('='));
        const QString key = (eq < 0 ? field : field.left(eq)).trimmed();
        const QString value = eq < 0 ? QString() : field.mid(eq + 1).trimmed();
        const QString k = key.toLower();
        int *slotFor = k == QLatin1String("rack")          ? &rack
                       : k == QLatin1String("slot")        ? &slot
                       : k == QLatin1String("type")        ? &type
                       : k == QLatin1String("local-tsap")  ? &local
                       : k == QLatin1String("remote-tsap") ? &remote
                                                           : nullptr;
        if (!slotFor || *slotFor != -1)
            return refuse(key, value);      // unknown, or given twice
        const int number = slotFor == &rack   ? smallNumber(value, 7)
                           : slotFor == &slot ? smallNumber(value, 31)
                           : slotFor == &type ? connectionType(value)
                                              : tsap(value);
        if (number < 0)
            return refuse(key, value);
        *slotFor = number;
        // Rack, slot and type describe the remote TSAP that the TSAP fields give outright.
        if ((rack >= 0 || slot >= 0 || type >= 0) && (local >= 0 || remote >= 0))
            return refuse(key, value);
    }
    if (local >= 0 || remote >= 0) {
        p.localTsap = quint16(local >= 0 ? local : DefaultLocalTsap);
        p.remoteTsap = quint16(remote >= 0 ? remote : DefaultRemoteTsap);
    } else {
        p.remoteTsap = quint16((type >= 0 ? type : 3) * 256 + qMax(rack, 0) * 32 + qMax(slot, 0));
    }
    p.valid = true;
    return p;
}

} // namespace S7ConnectionText
