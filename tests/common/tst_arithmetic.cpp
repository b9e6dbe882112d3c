#include <QtTest>

#include <cmath>
#include <limits>

#include "LabelValues.h"

namespace {

CLabelVariable apply(CLabelVariable &a, const QString &op, const CLabelVariable &b)
{
    if (op == QLatin1String("+"))
        return a + b;
    if (op == QLatin1String("-"))
        return a - b;
    if (op == QLatin1String("*"))
        return a * b;
    return a / b;
}

const double inf = std::numeric_limits<double>::infinity();

} // namespace

class TstArithmetic : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerLabelVariableTypes(); }

    void elements_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("op");
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<QVariant>("expected");
        const QVariant s30000 = listOf<short>({30000}), s10000 = listOf<short>({10000});
        QTest::newRow("short + wraps") << 4 << "+" << s30000 << s10000 << listOf<short>({-25536});
        QTest::newRow("short -") << 4 << "-" << s30000 << s10000 << listOf<short>({20000});
        QTest::newRow("short * wraps") << 4 << "*" << s30000 << s10000 << listOf<short>({-23808});
        QTest::newRow("short /") << 4 << "/" << s30000 << s10000 << listOf<short>({3});
        QTest::newRow("short / 0") << 4 << "/" << s30000 << listOf<short>({0}) << listOf<short>({0});
        QTest::newRow("short min / -1") << 4 << "/" << listOf<short>({-32768}) << listOf<short>({-1}) << listOf<short>({-32768});
        QTest::newRow("short -7 / 2 truncates") << 13 << "/" << listOf<short>({-7}) << listOf<short>({2}) << listOf<short>({-3});
        QTest::newRow("ushort * wraps") << 15 << "*" << listOf<ushort>({65535}) << listOf<ushort>({65535}) << listOf<ushort>({1});
        QTest::newRow("int max + 1") << 6 << "+" << listOf<int>({INT_MAX}) << listOf<int>({1}) << listOf<int>({INT_MIN});
        QTest::newRow("int min / -1") << 20 << "/" << listOf<int>({INT_MIN}) << listOf<int>({-1}) << listOf<int>({INT_MIN});
        QTest::newRow("uint / 0") << 24 << "/" << listOf<uint>({7}) << listOf<uint>({0}) << listOf<uint>({0});
        QTest::newRow("int64 min / -1") << 9 << "/" << listOf<qlonglong>({LLONG_MIN}) << listOf<qlonglong>({-1}) << listOf<qlonglong>({LLONG_MIN});
        QTest::newRow("int64 * wraps") << 9 << "*" << listOf<qlonglong>({LLONG_MAX}) << listOf<qlonglong>({2}) << listOf<qlonglong>({-2});
        QTest::newRow("uint64 0 - 1") << 10 << "-" << listOf<qulonglong>({0}) << listOf<qulonglong>({1}) << listOf<qulonglong>({ULLONG_MAX});
        QTest::newRow("char 200 / 3 unsigned") << 2 << "/" << listOf<char>({char(200)}) << listOf<char>({3}) << listOf<char>({66});
        QTest::newRow("char 200 + 100 wraps") << 2 << "+" << listOf<char>({char(200)}) << listOf<char>({100}) << listOf<char>({44});
        QTest::newRow("uchar 250 * 2") << 3 << "*" << listOf<uchar>({250}) << listOf<uchar>({2}) << listOf<uchar>({244});
        QTest::newRow("float 1 / 0") << 33 << "/" << listOf<float>({1.0f}) << listOf<float>({0.0f}) << listOf<float>({float(inf)});
        QTest::newRow("double 1 / 0") << 11 << "/" << listOf<double>({1.0}) << listOf<double>({0.0}) << listOf<double>({inf});
        QTest::newRow("double 1.5 * -2") << 40 << "*" << listOf<double>({1.5}) << listOf<double>({-2}) << listOf<double>({-3});
        const QVariant t = listOf<bool>({true}), f = listOf<bool>({false});
        QTest::newRow("bool t + t") << 1 << "+" << t << t << t;
        QTest::newRow("bool f + f") << 1 << "+" << f << f << f;
        QTest::newRow("bool t - t") << 1 << "-" << t << t << f;
        QTest::newRow("bool t - f") << 1 << "-" << t << f << t;
        QTest::newRow("bool t * f") << 1 << "*" << t << f << f;
        QTest::newRow("bool t / f") << 1 << "/" << t << f << f;
        QTest::newRow("bool t / t") << 1 << "/" << t << t << t;
        QTest::newRow("two elements") << 5 << "+" << listOf<ushort>({1, 2}) << listOf<ushort>({3, 4}) << listOf<ushort>({4, 6});
        QTest::newRow("right list longer") << 5 << "+" << listOf<ushort>({1, 2}) << listOf<ushort>({3, 4, 5}) << listOf<ushort>({});
        QTest::newRow("right list of another type") << 5 << "+" << listOf<ushort>({1, 2}) << listOf<short>({3, 4}) << listOf<ushort>({});
        QTest::newRow("right list missing") << 6 << "-" << listOf<int>({1}) << QVariant() << listOf<int>({});
        QTest::newRow("text concatenates") << 12 << "+" << listOf<QString>({"ab", "c"}) << listOf<QString>({"d", ""}) << listOf<QString>({"abd", "c"});
    }
    void elements()
    {
        QFETCH(int, type);
        QFETCH(QString, op);
        QFETCH(QVariant, expected);
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        CLabelVariable left = labelled(type, a);
        CLabelVariable right = labelled(type + 100, b, left.count);
        right.resultCode = 0;
        right.address = QStringLiteral("DB5.DBW20");
        right.spareText = QStringLiteral("spare");
        left.spareInt = 3;
        const CLabelVariable r = apply(left, op, right);
        QCOMPARE(r.value.userType(), expected.userType());
        QCOMPARE(elementsOf(r.value), elementsOf(expected));
        // Descriptive members come from the right operand.
        QCOMPARE(r.resultCode, 0);
        QCOMPARE(r.type, type + 100);
        QCOMPARE(r.count, left.count);
        QCOMPARE(r.address, right.address);
        QCOMPARE(r.spareText, right.spareText);
        QCOMPARE(r.accessCode, 1);
        QCOMPARE(r.spareInt, 0);
        QVERIFY(r.timeStamp.isValid());
        if (!elementsOf(expected).isEmpty()) {
            QCOMPARE(left.accessCode, 0);
            QCOMPARE(right.accessCode, 0);
        }
    }

    void noElementTypeGivesDefault_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("op");
        QTest::newRow("25 +") << 25 << "+";
        QTest::newRow("0 *") << 0 << "*";
        QTest::newRow("41 -") << 41 << "-";
        QTest::newRow("text -") << 12 << "-";
        QTest::newRow("text *") << 12 << "*";
        QTest::newRow("text /") << 12 << "/";
    }
    void noElementTypeGivesDefault()
    {
        QFETCH(int, type);
        QFETCH(QString, op);
        CLabelVariable a = labelled(type, listOf<QString>({"x"}));
        CLabelVariable b = a;
        b.resultCode = 0;
        b.address = QStringLiteral("M1");
        const CLabelVariable r = apply(a, op, b);
        QVERIFY(!r.value.isValid() && r.timeStamp.isNull() && r.address.isNull() && r.spareText.isNull());
        QCOMPARE(r.resultCode, 1);
        QCOMPARE(r.accessCode, 1);
        QCOMPARE(r.count + r.type + r.spareInt, 0);
    }

    void equality_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<QString>("change");   // what differs in the right operand
        QTest::addColumn<bool>("equal");
        const QVariant ints = listOf<int>({1, 2});
        QTest::newRow("copy") << 6 << ints << ints << "" << true;
        QTest::newRow("time stamp ignored") << 6 << ints << ints << "timeStamp" << true;
        QTest::newRow("spareInt ignored") << 6 << ints << ints << "spareInt" << true;
        QTest::newRow("address differs") << 6 << ints << ints << "address" << false;
        QTest::newRow("address case differs") << 6 << ints << ints << "addressCase" << false;
        QTest::newRow("null equals empty text") << 6 << ints << ints << "emptyText" << true;
        QTest::newRow("spareText differs") << 6 << ints << ints << "spareText" << false;
        QTest::newRow("element differs") << 6 << ints << listOf<int>({1, 3}) << "" << false;
        QTest::newRow("right list longer") << 6 << ints << listOf<int>({1, 2, 3}) << "" << false;
        QTest::newRow("type 30 ignores lists") << 30 << ints << listOf<float>({9}) << "" << true;
        QTest::newRow("texts equal") << 12 << listOf<QString>({"a", "B"}) << listOf<QString>({"a", "B"}) << "" << true;
        QTest::newRow("texts differ in case") << 12 << listOf<QString>({"a", "B"}) << listOf<QString>({"a", "b"}) << "" << false;
        QTest::newRow("zero equals minus zero") << 11 << listOf<double>({0.0}) << listOf<double>({-0.0}) << "" << true;
        QTest::newRow("NaN equals nothing") << 8 << listOf<float>({NAN}) << listOf<float>({NAN}) << "" << false;
        QTest::newRow("count 0, empty lists") << 4 << listOf<short>({}) << listOf<short>({}) << "" << true;
    }
    void equality()
    {
        QFETCH(int, type);
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(QString, change);
        CLabelVariable left = labelled(type, a);
        CLabelVariable right = left;
        right.value = b;
        if (change == QLatin1String("timeStamp"))
            right.timeStamp = QDateTime::currentDateTime();
        else if (change == QLatin1String("spareInt"))
            right.spareInt = 9;
        else if (change == QLatin1String("address"))
            right.address = QStringLiteral("M2");
        else if (change == QLatin1String("spareText"))
            right.spareText = QStringLiteral("x");
        if (change == QLatin1String("addressCase")) {
            left.address = QStringLiteral("m1");
            right.address = QStringLiteral("M1");
        } else if (change == QLatin1String("emptyText")) {
            right.address = QStringLiteral("");
        }
        QTEST(left == right, "equal");
    }
};

QTEST_MAIN(TstArithmetic)
#include "tst_arithmetic.moc"
