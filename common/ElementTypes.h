// The C++ element type of each DataType the drivers carry (1..11), for code that does the same
// thing for every element type: one table of the mapping instead of a switch in every file.
#ifndef ELEMENTTYPES_H
#define ELEMENTTYPES_H

#include "CDriveBaseClass.h"

namespace ElementTypes {

template<typename T>
struct Tag { using type = T; };

// Calls f(Tag<T>()) with the element type T of DataType `type` (Bool..Double) and returns what
// it returns; `otherwise` for any other type.
template<typename R, typename F>
R withElementType(int type, R otherwise, F &&f)
{
    switch (type) {
    case Bool: return f(Tag<bool>());
    case Int8: return f(Tag<char>());
    case UInt8: return f(Tag<unsigned char>());
    case Int16: return f(Tag<short>());
    case UInt16: return f(Tag<unsigned short>());
    case Int32: return f(Tag<int>());
    case UInt32: return f(Tag<unsigned int>());
    case Float: return f(Tag<float>());
    case Int64: return f(Tag<long long>());
    case UInt64: return f(Tag<unsigned long long>());
    case Double: return f(Tag<double>());
    default: return otherwise;
    }
}

} // namespace ElementTypes

#endif // ELEMENTTYPES_H
