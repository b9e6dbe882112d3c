#include <QtTest>

#include "LabelValues.h"

class TstLabelVariable : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerLabelVariableTypes(); }

    void defaults()
    {
        CLabelVariable v;
        QCOMPARE(v.resultCode, 1);
        QCOMPARE(v.accessCode, 1);
        QVERIFY(!v.value.isValid() && v.timeStamp.isNull() && v.address.isNull() && v.spareText.isNull());
        QCOMPARE(v.count + v.type + v.spareInt, 0);
    }

    void copyKeepsOwnCodesOnAssignment()
    {
        CLabelVariable source = labelled(Int16, listOf<short>({7}));
        source.accessCode = 0;
        source.spareInt = 42;
        source.address = QStringLiteral("M10");
        CLabelVariable target;
        target.accessCode = 11;
        target = source;
        QCOMPARE(target.accessCode, 11);
        QCOMPARE(target.spareInt, 0);
        QCOMPARE(target.address, source.address);
        QCOMPARE(target.atInt16(0), short(7));
        const CLabelVariable copy(source);
        QCOMPARE(copy.accessCode, 0);
        QCOMPARE(copy.spareInt, 42);
    }

    void accessors_data()
    {
        QTest::addColumn<QVariant>("list");
        QTest::addColumn<int>("type");       // the accessor's DataType
        QTest::addColumn<int>("index");
        QTest::addColumn<qlonglong>("element");
        QTest::addColumn<int>("accessCode");
        const QVariant shorts = listOf<short>({1, -2, 3});
        QTest::newRow("invalid value") << QVariant() << int(Int16) << 0 << 0LL << 11;
        QTest::newRow("last element") << shorts << int(Int16) << 2 << 3LL << 0;
        QTest::newRow("negative element") << shorts << int(Int16) << 1 << -2LL << 0;
        QTest::newRow("past the end") << shorts << int(Int16) << 3 << 0LL << 10;
        QTest::newRow("negative index") << shorts << int(Int16) << -1 << 0LL << 10;
        QTest::newRow("no conversion to ushort") << shorts << int(UInt16) << 0 << 0LL << 11;
        QTest::newRow("no conversion to int") << shorts << int(Int32) << 0 << 0LL << 11;
        QTest::newRow("char 0xC8 is 200") << listOf<char>({char(0xC8)}) << int(Int8) << 0 << 200LL << 0;
    }
    void accessors()
    {
        QFETCH(QVariant, list);
        QFETCH(int, type);
        QFETCH(int, index);
        CLabelVariable v = labelled(type, list, 5);   // count does not bound the accessors
        qlonglong element = 0;
        switch (type) {
        case Int16: element = v.atInt16(index); break;
        case UInt16: element = v.atUInt16(index); break;
        case Int32: element = v.atInt32(index); break;
        case Int8:
            element = static_cast<unsigned char>(v.atInt8(index));
            QCOMPARE(v.atchar(index), v.atInt8(index));
            break;
        }
        QTEST(element, "element");
        QTEST(v.accessCode, "accessCode");
    }

    void textAccessor()
    {
        CLabelVariable v = labelled(String, listOf<QString>({QStringLiteral("")}));
        const QString empty = v.atQString(0);
        QVERIFY(empty.isEmpty() && !empty.isNull());
        QCOMPARE(v.accessCode, 0);
        CLabelVariable none;
        QVERIFY(none.atQString(0).isNull());
        QCOMPARE(none.accessCode, 11);
    }
};

QTEST_MAIN(TstLabelVariable)
#include "tst_labelvariable.moc"
