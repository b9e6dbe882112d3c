// The value that crosses the driver interface. Member order, member types and the inline
// accessors are shared with the host runtime, which includes this same header: keep them as they are.
#ifndef CLABELVARIABLE_H
#define CLABELVARIABLE_H

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

class CLabelVariable
{
public:
    int resultCode = 1;     // outcome of the read or write that produced this value
    int accessCode = 1;     // outcome of the last element accessor call: 0, 10 (bad index) or 11 (wrong type)
    QVariant value;         // the element list: a QList of the element type of `type`
    QDateTime timeStamp;
    QString address;
    int count = 0;
    int type = 0;           // a DataType
    int spareInt = 0;       // carried for the host
    QString spareText;      // carried for the host

    enum AccessResult { AccessOk = 0, AccessBadIndex = 10, AccessBadType = 11 };

    CLabelVariable() = default;
    CLabelVariable(const CLabelVariable &other) = default;
    // Assignment keeps the target's own accessCode and spareInt.
    CLabelVariable &operator=(const CLabelVariable &other)
    {
        resultCode = other.resultCode;
        value = other.value;
        timeStamp = other.timeStamp;
        address = other.address;
        count = other.count;
        type = other.type;
        spareText = other.spareText;
        return *this;
    }
    ~CLabelVariable() = default;

    bool atbool(int index) { return element<bool>(index); }
    char atInt8(int index) { return element<char>(index); }
    char atchar(int index) { return element<char>(index); }
    unsigned char atUInt8(int index) { return element<unsigned char>(index); }
    short atInt16(int index) { return element<short>(index); }
    unsigned short atUInt16(int index) { return element<unsigned short>(index); }
    int atInt32(int index) { return element<int>(index); }
    unsigned int atUInt32(int index) { return element<unsigned int>(index); }
    float atFloat(int index) { return element<float>(index); }
    long long atInt64(int index) { return element<long long>(index); }
    unsigned long long atUInt64(int index) { return element<unsigned long long>(index); }
    double atDouble(int index) { return element<double>(index); }
    QString atQString(int index) { return element<QString>(index); }

    // Element-wise arithmetic and equality; the left operand decides element type and count.
    // `+` on text values (type 12) concatenates the texts element by element.
    CLabelVariable operator+(const CLabelVariable &b);
    CLabelVariable operator-(const CLabelVariable &b);
    CLabelVariable operator*(const CLabelVariable &b);
    CLabelVariable operator/(const CLabelVariable &b);
    bool operator==(const CLabelVariable &b);

    // True when `value` holds exactly QList<T>; no conversion between element types.
    template<typename T>
    bool holds() const { return value.userType() == qMetaTypeId<QList<T>>(); }

private:
    template<typename T>
    T element(int index)
    {
        if (!holds<T>()) {
            accessCode = AccessBadType;
            return T();
        }
        const QList<T> list = value.value<QList<T>>();
        if (index < 0 || index >= list.size()) {
            accessCode = AccessBadIndex;
            return T();
        }
        accessCode = AccessOk;
        return list.at(index);
    }
};

// Registers the twelve element list types with Qt's meta-type system, the same way on the
// host's side and the plug-in's side, so that a QVariant built on one side is taken apart on the other.
inline void registerLabelVariableTypes()
{
    qRegisterMetaType<QList<bool>>();
    qRegisterMetaType<QList<char>>();
    qRegisterMetaType<QList<unsigned char>>();
    qRegisterMetaType<QList<short>>();
    qRegisterMetaType<QList<unsigned short>>();
    qRegisterMetaType<QList<int>>();
    qRegisterMetaType<QList<unsigned int>>();
    qRegisterMetaType<QList<float>>();
    qRegisterMetaType<QList<long long>>();
    qRegisterMetaType<QList<unsigned long long>>();
    qRegisterMetaType<QList<double>>();
    qRegisterMetaType<QList<QString>>();
}

#endif // CLABELVARIABLE_H
