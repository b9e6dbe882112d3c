// Text forms of DataType names and element lists for the host program's command line.
#ifndef VALUETEXT_H
#define VALUETEXT_H

#include <QString>

#include "CLabelVariable.h"

namespace ValueText {

// "Bool", "Int16", ... (case-insensitive) or the number 1..11; 0 when unknown.
int typeFromName(const QString &name);
QString typeName(int type);

// Builds the element list of `type` from comma-separated values ("1,2,-3", "true,0", "1.5").
// False (with *error set) when a value does not parse or does not fit the type.
bool parseValues(int type, const QString &text, CLabelVariable *out, QString *error);

// The elements of the value's list as comma-separated text ("-" when it holds no list).
QString formatValues(int type, const CLabelVariable &value);

} // namespace ValueText

#endif // VALUETEXT_H
