#include "CodePageField.h"

#include <QStringList>
#include <QTextCodec>

namespace CodePageField {

Taken take(const QString &connectionText)
{
    Taken t;
    QStringList kept;
    const QStringList fields = connectionText.split(QLatin1Char(','));
    for (int i = 0; i < fields.size(); ++i) {
        const QString &field = fields.at(i);
        const int eq = field.indexOf(QLatin1Char('='));
        // The first field is the device or address itself, never a key.
        if (i == 0 || eq < 0 || field.left(eq).trimmed().compare(QLatin1String("charset"), Qt::CaseInsensitive) != 0) {
            kept.append(field);
            continue;
        }
        t.name = field.mid(eq + 1).trimmed();
        t.codePage = t.name.isEmpty() ? nullptr : QTextCodec::codecForName(t.name.toLatin1());
        if (!t.codePage)
            t.refused = true;
    }
    t.rest = kept.join(QLatin1Char(','));
    return t;
}

} // namespace CodePageField
