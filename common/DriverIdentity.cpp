#include "DriverIdentity.h"

#include <QStringList>
#include <QTime>

namespace DriverIdentity {

namespace {

// The compiler's texts are read by hand, not by Qt's date parser, which is not safe when two
// threads (of this plug-in, of the other one or of the host) first use it at the same moment.
int number(const QString &digits, int size)
{
    if (digits.size() != size)
        return -1;
    int value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

QTime parseBuildTime(const QString &compilerTime)
{
    const QStringList parts = compilerTime.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return QTime();
    return QTime(number(parts.at(0), 2), number(parts.at(1), 2), number(parts.at(2), 2));
}

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

} // namespace

QDate parseBuildDate(const QString &compilerDate)
{
    // One-digit days come padded with a blank ("Dec  7 2026"): fold the blanks, then take the
    // day with one or two digits, so that days 1 to 9 keep their date.
    static const QString months = QStringLiteral("JanFebMarAprMayJunJulAugSepOctNovDec");
    const QStringList parts = compilerDate.simplified().split(QLatin1Char(' '));
    if (parts.size() != 3 || parts.at(0).size() != 3)
        return QDate();
    const int month = months.indexOf(parts.at(0));
    const int day = parts.at(1).size() == 1 ? number(parts.at(1), 1) : number(parts.at(1), 2);
    const int year = number(parts.at(2), 4);
    if (month < 0 || month % 3 != 0 || day < 1 || year < 0)
        return QDate();
    return QDate(year, month / 3 + 1, day);
}

QDate buildDate()
{
    // A function-local static is initialised once, and a second thread waits for the first.
    static const QDate date = parseBuildDate(QStringLiteral(__DATE__));
    return date;
}

QString versionText(const QString &versionTemplate)
{
    const QDate date = buildDate();
    const QTime time = parseBuildTime(QStringLiteral(__TIME__));
    return versionTemplate.arg(QString::number(date.year()).rightJustified(4, QLatin1Char('0')) + QLatin1Char('-')
                                   + twoDigits(date.month()) + QLatin1Char('-') + twoDigits(date.day()),
                               twoDigits(time.hour()) + QLatin1Char(':') + twoDigits(time.minute())
                                   + QLatin1Char(':') + twoDigits(time.second()));
}

QString debugCommand(int cmd, const QString &driveName, const QString &versionText, bool *debugFlag)
{
    switch (cmd) {
    case StartDebug:
        *debugFlag = true;
        return QStringLiteral("StartDebug");
    case StopDebug:
        *debugFlag = false;
        return QStringLiteral("StopDebug");
    case GetVersion:
        return versionText;
    case GetDriveName:
        return driveName;
    default:
        return QString();
    }
}

} // namespace DriverIdentity
