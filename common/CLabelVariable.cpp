#include "CLabelVariable.h"

#include <type_traits>

namespace {

enum class Op { Add, Sub, Mul, Div };

// The DataType whose list type holds the elements of `type` (1..12), or 0 when it has none.
int elementType(int type)
{
    if (type >= 1 && type <= 12)
        return type;
    if (type == 13 || type == 14)
        return 4;
    if (type == 15 || type == 16)
        return 5;
    if (type >= 17 && type <= 20)
        return 6;
    if (type >= 21 && type <= 24)
        return 7;
    if (type >= 33 && type <= 36)
        return 8;
    if (type >= 37 && type <= 40)
        return 11;
    return 0;
}

// Calls f with the accessor of the element type of `type`; returns false when there is none.
template<typename F>
bool withAccessor(int type, F &&f)
{
    switch (elementType(type)) {
    case 1: f(&CLabelVariable::atbool); return true;
    case 2: f(&CLabelVariable::atInt8); return true;
    case 3: f(&CLabelVariable::atUInt8); return true;
    case 4: f(&CLabelVariable::atInt16); return true;
    case 5: f(&CLabelVariable::atUInt16); return true;
    case 6: f(&CLabelVariable::atInt32); return true;
    case 7: f(&CLabelVariable::atUInt32); return true;
    case 8: f(&CLabelVariable::atFloat); return true;
    case 9: f(&CLabelVariable::atInt64); return true;
    case 10: f(&CLabelVariable::atUInt64); return true;
    case 11: f(&CLabelVariable::atDouble); return true;
    case 12: f(&CLabelVariable::atQString); return true;
    default: return false;
    }
}

// Integer arithmetic modulo 2^w. The operands are widened to an unsigned type of at least
// `unsigned int`, so that neither overflow nor promotion to a signed int can occur.
template<typename T>
T integerOp(Op op, T a, T b)
{
    using U = std::make_unsigned_t<T>;
    using W = std::common_type_t<U, unsigned int>;
    const W x = W(U(a));
    const W y = W(U(b));
    switch (op) {
    case Op::Add: return T(U(x + y));
    case Op::Sub: return T(U(x - y));
    case Op::Mul: return T(U(x * y));
    case Op::Div:
        if (b == 0)
            return T(0);
        if constexpr (std::is_signed_v<T>) {
            if (b == T(-1))
                return T(U(W(0) - x));  // the most negative value stays itself
        }
        return T(a / b);
    }
    return T(0);
}

template<typename T>
T elementOp(Op op, T a, T b)
{
    if constexpr (std::is_same_v<T, bool>) {
        switch (op) {
        case Op::Add: return a || b;
        case Op::Sub: return a != b;
        case Op::Mul:
        case Op::Div: return a && b;
        }
        return false;
    } else if constexpr (std::is_same_v<T, QString>) {
        return op == Op::Add ? a + b : QString();
    } else if constexpr (std::is_floating_point_v<T>) {
        switch (op) {
        case Op::Add: return a + b;
        case Op::Sub: return a - b;
        case Op::Mul: return a * b;
        case Op::Div: return a / b;
        }
        return T(0);
    } else if constexpr (std::is_same_v<T, char>) {
        // Plain char elements are the raw bits of a PLC byte: computed as unsigned 8-bit
        // whatever the platform's signedness of char.
        return char(integerOp<unsigned char>(op, static_cast<unsigned char>(a),
                                             static_cast<unsigned char>(b)));
    } else {
        return integerOp<T>(op, a, b);
    }
}

// Number of elements of the list type T held in v's value, 0 when it holds another or none.
template<typename T>
int listSize(const CLabelVariable &v)
{
    return v.holds<T>() ? v.value.value<QList<T>>().size() : 0;
}

template<typename T>
bool listsComplete(const CLabelVariable &a, const CLabelVariable &b)
{
    return listSize<T>(a) == a.count && listSize<T>(b) == a.count;
}

// The operands' elements are read through the accessors, which record their outcome in
// accessCode of both operands. The right operand is taken as const by the shared interface;
// every caller passes a real, non-const value, so writing its accessCode is sound.
CLabelVariable &accessible(const CLabelVariable &b)
{
    return const_cast<CLabelVariable &>(b);
}

CLabelVariable arithmetic(CLabelVariable &a, const CLabelVariable &right, Op op)
{
    // Text elements only concatenate.
    if (elementType(a.type) == 12 && op != Op::Add)
        return CLabelVariable();

    CLabelVariable &b = accessible(right);
    CLabelVariable r;
    r.resultCode = b.resultCode;
    r.address = b.address;
    r.count = b.count;
    r.type = b.type;
    r.spareText = b.spareText;
    r.timeStamp = QDateTime::currentDateTime();

    const bool known = withAccessor(a.type, [&](auto at) {
        using T = decltype((a.*at)(0));
        QList<T> list;
        if (listsComplete<T>(a, b)) {
            list.reserve(a.count);
            for (int i = 0; i < a.count; ++i) {
                const T x = (a.*at)(i);
                const T y = (b.*at)(i);
                list.append(elementOp<T>(op, x, y));
            }
        }
        r.value = QVariant::fromValue(list);
    });
    return known ? r : CLabelVariable();
}

} // namespace

CLabelVariable CLabelVariable::operator+(const CLabelVariable &b)
{
    return arithmetic(*this, b, Op::Add);
}

CLabelVariable CLabelVariable::operator-(const CLabelVariable &b)
{
    return arithmetic(*this, b, Op::Sub);
}

CLabelVariable CLabelVariable::operator*(const CLabelVariable &b)
{
    return arithmetic(*this, b, Op::Mul);
}

CLabelVariable CLabelVariable::operator/(const CLabelVariable &b)
{
    return arithmetic(*this, b, Op::Div);
}

bool CLabelVariable::operator==(const CLabelVariable &right)
{
    if (resultCode != right.resultCode || address != right.address || count != right.count
        || type != right.type || spareText != right.spareText)
        return false;

    CLabelVariable &b = accessible(right);
    bool equal = true;
    withAccessor(type, [&](auto at) {
        using T = decltype((this->*at)(0));
        if (!listsComplete<T>(*this, b)) {
            equal = false;
            return;
        }
        for (int i = 0; i < count && equal; ++i) {
            const T x = (this->*at)(i);
            const T y = (b.*at)(i);
            equal = x == y;
        }
    });
    return equal;
}
