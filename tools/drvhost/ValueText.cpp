#include "ValueText.h"

#include <QStringList>

#include <limits>

#include "CDriveBaseClass.h"
#include "ElementTypes.h"

namespace ValueText {

namespace {

const char *const names[] = {nullptr, "Bool", "Int8", "UInt8", "Int16", "UInt16", "Int32",
                             "UInt32", "Float", "Int64", "UInt64", "Double", "String"};

// Texts of a String value are separated by "|": a text may hold commas.
const QChar TextSeparator = QLatin1Char('|');

template<typename T>
bool parseSigned(const QString &s, T *v)
{
    bool ok = false;
    const qlonglong n = s.toLongLong(&ok);
    if (!ok || n < qlonglong(std::numeric_limits<T>::min()) || n > qlonglong(std::numeric_limits<T>::max()))
        return false;
    *v = T(n);
    return true;
}

template<typename T>
bool parseUnsigned(const QString &s, T *v)
{
    bool ok = false;
    const qulonglong n = s.toULongLong(&ok);
    if (!ok || s.startsWith(QLatin1Char('-')) || n > qulonglong(std::numeric_limits<T>::max()))
        return false;
    *v = T(n);
    return true;
}

bool parseElement(const QString &s, bool *v)
{
    const QString t = s.toLower();
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("on")) { *v = true; return true; }
    if (t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("off")) { *v = false; return true; }
    return false;
}
bool parseElement(const QString &s, char *v)
{
    // Int8 elements are raw PLC bytes: accept -128..255.
    bool ok = false;
    const int n = s.toInt(&ok);
    if (!ok || n < -128 || n > 255)
        return false;
    *v = char(quint8(n));
    return true;
}
bool parseElement(const QString &s, unsigned char *v) { return parseUnsigned(s, v); }
bool parseElement(const QString &s, short *v) { return parseSigned(s, v); }
bool parseElement(const QString &s, unsigned short *v) { return parseUnsigned(s, v); }
bool parseElement(const QString &s, int *v) { return parseSigned(s, v); }
bool parseElement(const QString &s, unsigned int *v) { return parseUnsigned(s, v); }
bool parseElement(const QString &s, long long *v) { return parseSigned(s, v); }
bool parseElement(const QString &s, unsigned long long *v) { return parseUnsigned(s, v); }
bool parseElement(const QString &s, float *v) { bool ok = false; *v = s.toFloat(&ok); return ok; }
bool parseElement(const QString &s, double *v) { bool ok = false; *v = s.toDouble(&ok); return ok; }

template<typename T>
bool parseList(const QString &text, CLabelVariable *out, QString *error)
{
    QList<T> list;
    for (const QString &part : text.split(QLatin1Char(','))) {
        T v{};
        if (!parseElement(part.trimmed(), &v)) {
            *error = QStringLiteral("not a value of this type: %1").arg(part);
            return false;
        }
        list.append(v);
    }
    out->value = QVariant::fromValue(list);
    return true;
}

QString elementText(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }
QString elementText(char v) { return QString::number(quint8(v)); }
QString elementText(float v) { return QString::number(double(v), 'g', 9); }
QString elementText(double v) { return QString::number(v, 'g', 17); }
template<typename T>
QString elementText(T v) { return QString::number(v); }

template<typename T>
QString formatList(const CLabelVariable &value)
{
    if (!value.holds<T>())
        return QStringLiteral("-");
    QStringList parts;
    for (const T &v : value.value.value<QList<T>>())
        parts << elementText(v);
    return parts.join(QLatin1Char(','));
}

} // namespace

int typeFromName(const QString &name)
{
    bool ok = false;
    const int n = name.toInt(&ok);
    if (ok)
        return n;
    for (int t = Bool; t <= String; ++t)
        if (name.compare(QLatin1String(names[t]), Qt::CaseInsensitive) == 0)
            return t;
    return 0;
}

QString typeName(int type)
{
    return type >= Bool && type <= String ? QString::fromLatin1(names[type]) : QString::number(type);
}

QStringList typeNames()
{
    QStringList list;
    for (int t = Bool; t <= String; ++t)
        list << QString::fromLatin1(names[t]);
    return list;
}

QString resultName(int code)
{
    static const char *const texts[] = {
        "ok", "not tried", "type not supported", "no known area", "count out of range",
        "address out of range", "write into inputs", "wrong answer", "no answer", "link not up"};
    return QString::fromLatin1(code >= 0 && code <= 9 ? texts[code] : "unknown");
}

bool parseValues(int type, const QString &text, CLabelVariable *out, QString *error)
{
    if (type == String) {
        out->value = QVariant::fromValue(QList<QString>(text.split(TextSeparator)));
        return true;
    }
    // -1: a type without element lists.
    const int parsed = ElementTypes::withElementType(type, -1, [&](auto tag) {
        return parseList<typename decltype(tag)::type>(text, out, error) ? 1 : 0;
    });
    if (parsed < 0)
        *error = QStringLiteral("no values for type %1").arg(type);
    return parsed == 1;
}

QString formatValues(int type, const CLabelVariable &value)
{
    if (type == String)
        return value.holds<QString>() ? QStringList(value.value.value<QList<QString>>()).join(TextSeparator)
                                      : QStringLiteral("-");
    return ElementTypes::withElementType(type, QStringLiteral("-"), [&](auto tag) {
        return formatList<typename decltype(tag)::type>(value);
    });
}

} // namespace ValueText
