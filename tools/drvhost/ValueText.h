// Text forms of DataType names, result codes and element lists for the host program.
#ifndef VALUETEXT_H
#define VALUETEXT_H

#include <QString>
#include <QStringList>

#include "CLabelVariable.h"

namespace ValueText {

// "Bool", "Int16", ..., "String" (case-insensitive) or the number 1..12; 0 when unknown.
int typeFromName(const QString &name);
QString typeName(int type);
// The names of the types 1..12 in order.
QStringList typeNames();

// "ok", "no answer", ... for the result codes 0..9; "unknown" for any other number.
QString resultName(int code);

// Builds the element list of `type` from comma-separated values ("1,2,-3", "true,0", "1.5");
// String: texts separated by "|" ("Recipe A|Recipe B"), commas kept.
// False (with *error set) when a value does not parse or does not fit the type.
bool parseValues(int type, const QString &text, CLabelVariable *out, QString *error);

// The elements of the value's list as comma-separated text, String's separated by "|" ("-"
// when it holds no list).
QString formatValues(int type, const CLabelVariable &value);

} // namespace ValueText

#endif // VALUETEXT_H
