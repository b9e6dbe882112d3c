// The soak's memory model decides what counts as a wrong value, so it must be sound: never call
// a value wrong that the PLC may hold, and never let pass one it cannot hold.
#include <QtTest>

#include "CDriveBaseClass.h"
#include "ElementBytes.h"
#include "MemoryModel.h"

class TstSoakModel : public QObject
{
    Q_OBJECT
private slots:
    void confirmedAndFailedWrites();
    void bits();
    void wrongReadPinsNothing();
    void elementBytes();
};

void TstSoakModel::confirmedAndFailedWrites()
{
    MemoryModel m(2, 16);
    QCOMPARE(m.checkBytes(0, 0, QByteArray::fromHex("0000")), 0);      // plcsim starts cleared
    QCOMPARE(m.checkBytes(0, 0, QByteArray::fromHex("01")), 1);

    // A failed write may or may not have landed: either value passes, nothing else.
    m.bytesWritten(1, 4, QByteArray::fromHex("aa"), false);
    QCOMPARE(m.checkBytes(1, 4, QByteArray::fromHex("bb")), 1);
    QCOMPARE(m.checkBytes(1, 4, QByteArray::fromHex("aa")), 0);
    // The read pinned it down: the old value no longer passes.
    QCOMPARE(m.checkBytes(1, 4, QByteArray::fromHex("00")), 1);

    // A confirmed write must be in the memory.
    m.bytesWritten(1, 4, QByteArray::fromHex("cc"), true);
    QCOMPARE(m.checkBytes(1, 4, QByteArray::fromHex("aa")), 1);
    QCOMPARE(m.checkBytes(1, 4, QByteArray::fromHex("cc")), 0);
    // Other areas and bytes are untouched.
    QCOMPARE(m.checkBytes(0, 4, QByteArray::fromHex("00")), 0);
    QCOMPARE(m.checkBytes(1, 5, QByteArray::fromHex("00")), 0);
}

void TstSoakModel::bits()
{
    MemoryModel m(1, 4);
    m.bytesWritten(0, 1, QByteArray::fromHex("f0"), true);
    // Bits 6, 7 of byte 0 then bits 0..7 of byte 1: 0,0 then 0,0,0,0,1,1,1,1.
    const QList<bool> good = {false, false, false, false, false, false, true, true, true, true};
    QCOMPARE(m.checkBits(0, 0, 6, good), 0);
    QList<bool> bad = good;
    bad[2] = true;
    QCOMPARE(m.checkBits(0, 0, 6, bad), 1);

    // A failed bit write: the bit may be either; the other bits are as they were.
    m.bitWritten(0, 1, 0, true, false);
    QCOMPARE(m.checkBits(0, 1, 0, {true, false, false, false, true, true, true, true}), 0);
    m.bitWritten(0, 1, 2, true, false);
    QCOMPARE(m.checkBits(0, 1, 0, {true, true, false, false, true, true, true, true}), 1);
    // A confirmed bit write: bit 3 set for sure, bit 2 still either.
    m.bitWritten(0, 1, 3, true, true);
    QCOMPARE(m.checkBytes(0, 1, QByteArray::fromHex("f1")), 1);
    QCOMPARE(m.checkBytes(0, 1, QByteArray::fromHex("fd")), 0);
    QCOMPARE(m.checkBits(0, 1, 2, {true, true}), 0);
}

void TstSoakModel::wrongReadPinsNothing()
{
    MemoryModel m(1, 8);
    m.bytesWritten(0, 0, QByteArray::fromHex("11"), false);
    QCOMPARE(m.checkBytes(0, 0, QByteArray::fromHex("99")), 1);
    // Both values the memory may hold still pass afterwards.
    QCOMPARE(m.firstImpossible(0, 0, QByteArray::fromHex("00")), -1);
    QCOMPARE(m.firstImpossible(0, 0, QByteArray::fromHex("11")), -1);
    QCOMPARE(m.firstImpossible(0, 0, QByteArray::fromHex("1199")), 1);
}

void TstSoakModel::elementBytes()
{
    const QByteArray bytes = QByteArray::fromHex("0102fffe3f800000");
    QByteArray back;
    QVERIFY(ElementBytes::toBytes(Int16, ElementBytes::toElements(Int16, bytes), 4, &back));
    QCOMPARE(back, bytes);
    QCOMPARE(ElementBytes::toElements(Int16, bytes).value<QList<short>>(), (QList<short>{258, -2, 16256, 0}));
    QCOMPARE(ElementBytes::toElements(Float, bytes.mid(4)).value<QList<float>>(), QList<float>{1.0f});
    QCOMPARE(ElementBytes::toElements(UInt8, bytes.left(2)).value<QList<unsigned char>>(), (QList<unsigned char>{1, 2}));
    back.clear();
    QVERIFY(!ElementBytes::toBytes(Int32, QVariant::fromValue(QList<short>{1}), 1, &back));
    QVERIFY(!ElementBytes::toBytes(Int16, QVariant::fromValue(QList<short>{1}), 2, &back));
    QVERIFY(back.isEmpty());
}

QTEST_GUILESS_MAIN(TstSoakModel)
#include "tst_soak_model.moc"
