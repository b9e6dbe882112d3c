// Shorthands for building and taking apart CLabelVariable element lists in test tables.
#ifndef LABELVALUES_H
#define LABELVALUES_H

#include <QVariant>
#include <initializer_list>

#include "CDriveBaseClass.h"
#include "CLabelVariable.h"

template<typename T>
QVariant listOf(std::initializer_list<T> elements)
{
    return QVariant::fromValue(QList<T>(elements));
}

// The elements of any registered list type, for comparing lists whatever their element type.
inline QVariantList elementsOf(const QVariant &list)
{
    return list.value<QVariantList>();
}

template<typename T>
CLabelVariable valueOf(const QList<T> &list)
{
    CLabelVariable v;
    v.value = QVariant::fromValue(list);
    return v;
}

inline CLabelVariable labelled(int type, const QVariant &list, int count = -1)
{
    CLabelVariable v;
    v.type = type;
    v.value = list;
    v.count = count >= 0 ? count : elementsOf(list).size();
    return v;
}

#endif // LABELVALUES_H
