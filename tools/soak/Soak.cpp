#include "Soak.h"

#include <QElapsedTimer>

#include "ElementBytes.h"

namespace {

constexpr int WindowBytes = 512;
constexpr int MaxRequestBytes = 64;
// A stream that stays broken is left, as a host would: its next ConnectDrive.
constexpr int ReconnectAfterFailures = 20;
constexpr int TagCount = 24;

const char *const AreaNames[] = {"I", "Q", "M", "V", "DB5"};
constexpr int AreaCount = 5;

QString typeName(int type)
{
    static const char *const names[] = {"?", "Bool", "Int8", "UInt8", "Int16", "UInt16", "Int32",
                                        "UInt32", "Float", "Int64", "UInt64", "Double"};
    return QString::fromLatin1(type >= 1 && type <= 11 ? names[type] : names[0]);
}

} // namespace

Soak::Soak(CDriveBaseClass *driver, const Settings &settings, QTextStream &log)
    : driver(driver), settings(settings), log(log), random(settings.seed), model(AreaCount, WindowBytes)
{
}

int Soak::below(int n)
{
    return n <= 1 ? 0 : int(random() % quint64(n));
}

Soak::Request Soak::randomRequest(bool write)
{
    Request r;
    r.area = below(AreaCount);
    r.type = 1 + below(11);
    // Mostly the same few tags over and over, as an HMI polls them; now and then any range.
    // An answer to an earlier request for the same tag is what a stale answer is mistaken for.
    if (!write && !tags.isEmpty() && below(4) != 0)
        return tags.at(below(tags.size()));
    if (write && !tags.isEmpty() && below(4) != 0) {
        const Request &t = tags.at(below(tags.size()));
        if (t.type != Bool || t.count == 1)
            return t;
    }
    const bool tag = below(4) != 0;
    int bytes;
    if (r.type == Bool) {
        r.bit = below(8);
        r.count = write || tag ? 1 : 1 + below(MaxRequestBytes * 8 - 8);
        bytes = (r.bit + r.count + 7) / 8;
    } else {
        const int w = ElementBytes::width(r.type);
        r.count = tag ? 1 + below(2) : 1 + below(MaxRequestBytes / w);
        bytes = r.count * w;
    }
    r.byteAddress = below(WindowBytes - bytes + 1);
    const bool db = r.area == 4;
    if (r.type == Bool)
        r.text = db ? QStringLiteral("DB5.DBX%1.%2").arg(r.byteAddress).arg(r.bit)
                    : QStringLiteral("%1%2.%3").arg(QLatin1String(AreaNames[r.area])).arg(r.byteAddress).arg(r.bit);
    else
        r.text = db ? QStringLiteral("DB5.DBB%1").arg(r.byteAddress)
                    : QStringLiteral("%1%2").arg(QLatin1String(AreaNames[r.area])).arg(r.byteAddress);
    return r;
}

void Soak::timed(qint64 ms, const Request &r, const char *what)
{
    if (ms <= outcome.longestCallMs)
        return;
    outcome.longestCallMs = ms;
    outcome.longestCall = QStringLiteral("%1 %2 %3 x%4").arg(QLatin1String(what), r.text, typeName(r.type)).arg(r.count);
}

void Soak::read(const Request &r)
{
    QElapsedTimer clock;
    clock.start();
    const CLabelVariable result = driver->ReadVariable(r.text, DataType(r.type), r.count);
    timed(clock.elapsed(), r, "read");
    outcome.results[result.resultCode]++;
    if (result.resultCode != ResultCode::Success)
        return;

    int wrong = 0;
    QString got;
    if (r.type == Bool) {
        const QList<bool> bits = result.value.userType() == qMetaTypeId<QList<bool>>()
                                     ? result.value.value<QList<bool>>() : QList<bool>();
        // The bits from the start bit to the end of the last byte that holds one of them.
        const int expected = (r.bit + r.count + 7) / 8 * 8 - r.bit;
        if (bits.size() != expected)
            wrong = 1;
        else
            wrong = model.checkBits(r.area, r.byteAddress, r.bit, bits);
        got = QStringLiteral("%1 bits").arg(bits.size());
    } else {
        QByteArray bytes;
        if (!ElementBytes::toBytes(r.type, result.value, r.count, &bytes)) {
            wrong = 1;
        } else {
            const int first = model.firstImpossible(r.area, r.byteAddress, bytes);
            if (first >= 0)
                got = QString::fromLatin1(bytes.toHex(' '))
                      + QStringLiteral(" (byte %1 could only be %2)").arg(first).arg(model.possible(r.area, r.byteAddress + first));
            wrong = model.checkBytes(r.area, r.byteAddress, bytes);
        }
    }
    if (wrong > 0) {
        ++outcome.wrongValues;
        log << "soak: WRONG VALUE at call " << outcome.calls << ": read " << r.text << " "
            << typeName(r.type) << " x" << r.count << " gave " << got << "\n";
        log.flush();
    }
}

void Soak::write(const Request &r)
{
    CLabelVariable value;
    QByteArray bytes;
    bool bit = false;
    if (r.type == Bool) {
        bit = below(2) == 1;
        value.value = QVariant::fromValue(QList<bool>{bit});
    } else {
        for (int i = 0; i < r.count * ElementBytes::width(r.type); ++i)
            bytes.append(char(below(256)));
        value.value = ElementBytes::toElements(r.type, bytes);
    }
    QElapsedTimer clock;
    clock.start();
    const CLabelVariable result = driver->WriteVariable(r.text, DataType(r.type), value, r.count);
    timed(clock.elapsed(), r, "write");
    outcome.results[result.resultCode]++;
    // Confirmed: the value is in the memory. Anything else: it may or may not be.
    const bool confirmed = result.resultCode == ResultCode::Success;
    if (r.type == Bool)
        model.bitWritten(r.area, r.byteAddress, r.bit, bit, confirmed);
    else
        model.bytesWritten(r.area, r.byteAddress, bytes, confirmed);
}

bool Soak::connect()
{
    QElapsedTimer clock;
    clock.start();
    driver->DisConnectDrive();
    if (!settings.station.isEmpty())
        driver->SetConnectPar(settings.station);
    const int r = driver->ConnectDrive(settings.connectText);
    outcome.longestConnectMs = qMax(outcome.longestConnectMs, clock.elapsed());
    return r == 0;
}

Soak::Outcome Soak::run()
{
    for (int i = 0; i < TagCount; ++i)
        tags.append(randomRequest(below(2) == 1));
    if (!connect()) {
        log << "soak: cannot connect to " << settings.connectText << "\n";
        outcome.overBound = true;
        return outcome;
    }
    for (outcome.calls = 0; outcome.calls < settings.calls; ++outcome.calls) {
        const bool isWrite = below(2) == 1;
        const Request r = randomRequest(isWrite);
        const int before = outcome.results.value(ResultCode::Success);
        const int linkDown = outcome.results.value(ResultCode::LinkDown);
        if (isWrite)
            write(r);
        else
            read(r);
        failuresInARow = outcome.results.value(ResultCode::Success) > before ? 0 : failuresInARow + 1;
        if (outcome.results.value(ResultCode::LinkDown) > linkDown || failuresInARow >= ReconnectAfterFailures) {
            ++outcome.reconnects;
            failuresInARow = 0;
            connect();
        }
    }
    outcome.overBound = outcome.longestCallMs > settings.callBoundMs
                        || outcome.longestConnectMs > settings.connectBoundMs;
    return outcome;
}
