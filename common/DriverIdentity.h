// Identification and debug commands, alike in both plug-ins apart from their texts.
#ifndef DRIVERIDENTITY_H
#define DRIVERIDENTITY_H

#include <QDate>
#include <QString>

#include "CDriveBaseClass.h"

namespace DriverIdentity {

// What one plug-in calls itself: its drive name, its version number, and its version text
// (cachedVersionText below, filled from its template).
struct Texts {
    const char *driveName;
    const char *versionNumber;
    const QString &(*versionText)();
};

// Parses a compiler date text such as "Dec 18 2023" or "Dec  7 2026" (one-digit days are
// padded with a blank). Invalid date when the text is not one.
QDate parseBuildDate(const QString &compilerDate);

// The build date of this plug-in, parsed once per process (thread-safe).
QDate buildDate();

// "<template with %1 yyyy-MM-dd and %2 hh:mm:ss>" filled from the build date and time. A facade
// builds it once and keeps it (VersionText below).
QString versionText(const QString &versionTemplate);

// Answers DebugCmd: switches *debugFlag for StartDebug/StopDebug, returns `versionText`, the
// drive name, or a null QString for a command outside 0..3.
QString debugCommand(int cmd, const QString &driveName, const QString &versionText, bool *debugFlag);

// The version text of one plug-in, built completely by the first caller while any other thread
// that asks at the same moment waits for it; later calls return the same text.
template<const char *Template>
const QString &cachedVersionText()
{
    static const QString text = versionText(QString::fromLatin1(Template));
    return text;
}

} // namespace DriverIdentity

#endif // DRIVERIDENTITY_H
