#include "DriverIdentity.h"

#include <QLocale>
#include <QTime>

namespace DriverIdentity {

QDate parseBuildDate(const QString &compilerDate)
{
    // One-digit days come padded with a blank ("Dec  7 2026"): fold the blanks, then take the
    // day with one or two digits, so that days 1 to 9 keep their date.
    const QString folded = compilerDate.simplified();
    return QLocale(QLocale::English).toDate(folded, QStringLiteral("MMM d yyyy"));
}

QDate buildDate()
{
    // A function-local static is initialised once, and a second thread waits for the first.
    static const QDate date = parseBuildDate(QStringLiteral(__DATE__));
    return date;
}

QString versionText(const QString &versionTemplate)
{
    const QTime time = QTime::fromString(QStringLiteral(__TIME__), QStringLiteral("hh:mm:ss"));
    return versionTemplate.arg(buildDate().toString(QStringLiteral("yyyy-MM-dd")),
                               time.toString(QStringLiteral("hh:mm:ss")));
}

QString debugCommand(int cmd, const QString &driveName, const QString &versionTemplate, bool *debugFlag)
{
    switch (cmd) {
    case StartDebug:
        *debugFlag = true;
        return QStringLiteral("StartDebug");
    case StopDebug:
        *debugFlag = false;
        return QStringLiteral("StopDebug");
    case GetVersion:
        return versionText(versionTemplate);
    case GetDriveName:
        return driveName;
    default:
        return QString();
    }
}

} // namespace DriverIdentity
