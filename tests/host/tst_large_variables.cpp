// Reads and writes larger than one job, for both drivers against their simulated PLCs: the bytes
// must come out of and land in the PLC memory exactly, in as many jobs as the PDU length takes.
// S7 rows run at the PDU lengths PLCs grant, PPI rows at a station's 240 bytes.
#include <QtEndian>
#include <QtTest>

#include "BothDrivers.h"
#include "ByteImages.h"
#include "LabelValues.h"

Q_DECLARE_METATYPE(DataType)

namespace {

constexpr int PpiPdu = 240;

int jobsFor(int bytes, int capacity) { return bytes == 0 ? 1 : (bytes + capacity - 1) / capacity; }

// Data bytes one job carries at a PDU length: a read answer spends 18 bytes of it, a write 28.
int readCapacity(int pdu) { return pdu - 18; }
int writeCapacity(int pdu) { return pdu - 28; }

struct Area {
    const char *prefix;     // address text before the byte address
    int code;
    int db;
};
const Area Areas[] = {{"I", 0x81, 0}, {"Q", 0x82, 0}, {"M", 0x83, 0}, {"DB7.DBB", 0x84, 7}, {"V", 0x84, 1}};
// S7 rows take the areas in turn in the order above, PPI rows in this one.
const int PpiAreas[] = {4, 2, 1, 3, 0};
constexpr int V = 4;    // in Areas

} // namespace

class TestLargeVariables : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void bytes_data();
    void bytes();
    void elementsAcrossJobs_data();
    void elementsAcrossJobs();
    void largest_data();
    void largest();
    void failingMiddleJob_data();
    void failingMiddleJob();

private:
    // The row's driver with a PDU of `pdu` bytes: the S7 one connected afresh, as the PLC grants it.
    CDriveBaseClass *connected(const QString &which, int pdu)
    {
        if (BothDrivers::isS7(which) && !plcs.connectS7(pdu))
            return nullptr;
        plcs.markJobs(which);
        return plcs.driver(which);
    }

    BothDrivers plcs;
};

void TestLargeVariables::initTestCase()
{
    registerLabelVariableTypes();
    QVERIFY(plcs.start(true));
}

void TestLargeVariables::bytes_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("pdu");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("area");     // index into Areas
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("tpdu");      // the TPDU size the S7 PLC confirms; 0: as asked
    QTest::addColumn<bool>("fastAck");  // an empty data unit ahead of every S7 answer
    // setting: what sets the row apart, after the driver in the row's name.
    auto add = [](const char *which, const QByteArray &setting, int pdu, bool write, int area, int size, int tpdu,
                  bool fastAck) {
        QTest::addRow("%s%s %s %s %d", which, setting.constData(), write ? "write" : "read", Areas[area].prefix, size)
            << QString::fromLatin1(which) << pdu << write << area << size << tpdu << fastAck;
    };
    int next = 0;
    for (int pdu : {240, 480, 960}) {
        for (bool write : {false, true}) {
            const int cap = write ? writeCapacity(pdu) : readCapacity(pdu);
            for (int size : {1, cap, cap + 1, 500, 4000})
                add("s7", " " + QByteArray::number(pdu), pdu, write, next++ % 5, size, 0, false);
        }
    }
    // PLCs that confirm a small TPDU carry answers (and take requests) in several data units.
    for (const auto &mode : {std::make_pair(128, true), std::make_pair(256, false), std::make_pair(0, true)}) {
        const QByteArray setting = " 960 tpdu " + QByteArray::number(mode.first) + (mode.second ? " fast ack" : "");
        for (bool write : {false, true}) {
            const int cap = write ? writeCapacity(960) : readCapacity(960);
            for (int size : {1, 200, cap, cap + 1, 4000})
                add("s7", setting, 960, write, next++ % 5, size, mode.first, mode.second);
        }
    }
    next = 0;
    for (const char *which : {"ppi", "ppi pty"}) {
        for (bool write : {false, true}) {
            const int cap = write ? writeCapacity(PpiPdu) : readCapacity(PpiPdu);
            for (int size : {1, cap, cap + 1, 500, 4000})
                add(which, "", PpiPdu, write, PpiAreas[next++ % 5], size, 0, false);
        }
    }
    // The sizes of one read job on either side of the capacity, written.
    add("ppi", "", PpiPdu, true, V, readCapacity(PpiPdu), 0, false);
    add("ppi", "", PpiPdu, true, V, readCapacity(PpiPdu) + 1, 0, false);
}

void TestLargeVariables::bytes()
{
    QFETCH(QString, which);
    QFETCH(int, pdu);
    QFETCH(bool, write);
    QFETCH(int, area);
    QFETCH(int, size);
    QFETCH(int, tpdu);
    QFETCH(bool, fastAck);
    plcs.sim.server->setTpduSize(tpdu);
    plcs.sim.server->setFastAcknowledge(fastAck);
    const auto plain = qScopeGuard([this] {
        plcs.sim.server->setTpduSize(0);
        plcs.sim.server->setFastAcknowledge(false);
    });
    const Area &a = Areas[area];
    const int start = 300;
    const QString address = QStringLiteral("%1%2").arg(QLatin1String(a.prefix)).arg(start);
    // One byte on either side shows a piece that strays.
    const QByteArray before = pattern(size + 2, size + pdu);
    QVERIFY(plcs.memory(which).write(a.code, a.db, start - 1, before));
    CDriveBaseClass *drv = connected(which, pdu);
    QVERIFY(drv);

    if (write) {
        const QByteArray data = pattern(size, size * 3 + pdu);
        const CLabelVariable r = drv->WriteVariable(address, UInt8, uint8Value(data), size);
        QCOMPARE(r.resultCode, a.code == 0x81 ? 6 : 0);
        QCOMPARE(plcs.stored(which, a.code, a.db, start, size).toHex(), data.toHex());
        QCOMPARE(plcs.stored(which, a.code, a.db, start - 1, 1), before.left(1));
        QCOMPARE(plcs.stored(which, a.code, a.db, start + size, 1), before.right(1));
        QCOMPARE(plcs.jobsSinceMark(which), jobsFor(size, writeCapacity(pdu)));
    } else {
        const CLabelVariable r = drv->ReadVariable(address, UInt8, size);
        QCOMPARE(r.resultCode, 0);
        QCOMPARE(bytesOf(r).toHex(), before.mid(1, size).toHex());
        QCOMPARE(plcs.jobsSinceMark(which), jobsFor(size, readCapacity(pdu)));
    }
    QVERIFY(plcs.jobsFit(which, pdu));
}

// Elements whose bytes fall into two jobs are joined before they are decoded, and split after
// they are encoded.
void TestLargeVariables::elementsAcrossJobs_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("pdu");
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("at");            // the first byte; Bool rows start at bit 5 of it
    QTest::addColumn<QByteArray>("image");  // the elements' bytes in the PLC
    // Int16 at an odd grant: read capacity 223, write capacity 213, both odd.
    QByteArray shorts;
    for (int i = 0; i < 150; ++i) {
        char be[2];
        qToBigEndian<qint16>(qint16(-30000 + i * 397), be);
        shorts.append(be, 2);
    }
    QByteArray doubles;
    doublesWithImage(30, &doubles);
    for (const char *which : {"s7", "ppi"}) {
        // Bits from M0.5 on, 224 bytes at a 222-byte read capacity.
        QTest::addRow("%s bits M0.5", which) << which << 240 << "M0.5" << Bool << 224 * 8 - 5 << 0x83 << 0 << 0 << pattern(224, 1);
        // Doubles at 240: element 27 spans the read jobs, element 26 the write jobs.
        QTest::addRow("%s doubles V5", which) << which << 240 << "V5" << Double << 30 << 0x84 << 1 << 5 << doubles;
    }
    QTest::newRow("s7 Int16 DB3.DBW11 at 241") << "s7" << 241 << "DB3.DBW11" << Int16 << 150 << 0x84 << 3 << 11 << shorts;
}

void TestLargeVariables::elementsAcrossJobs()
{
    QFETCH(QString, which);
    QFETCH(int, pdu);
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(int, count);
    QFETCH(int, area);
    QFETCH(int, db);
    QFETCH(int, at);
    QFETCH(QByteArray, image);
    CDriveBaseClass *drv = connected(which, pdu);
    QVERIFY(drv);
    if (type == Bool) {
        QVERIFY(plcs.memory(which).write(area, db, at, image));
        CLabelVariable r = drv->ReadVariable(address, Bool, count);
        QCOMPARE(r.resultCode, 0);
        QCOMPARE(elementsOf(r.value).size(), count);
        for (int i = 0; i < count; ++i) {
            const int bit = 5 + i;
            QVERIFY2(r.atbool(i) == bool((quint8(image.at(bit / 8)) >> (bit % 8)) & 1),
                     qPrintable(QStringLiteral("bit %1").arg(i)));
        }
        return;
    }
    CLabelVariable value;
    value.value = listFrom(type, image, count);
    QCOMPARE(drv->WriteVariable(address, type, value, count).resultCode, 0);
    QCOMPARE(plcs.stored(which, area, db, at, image.size()).toHex(), image.toHex());
    const CLabelVariable r = drv->ReadVariable(address, type, count);
    QCOMPARE(r.resultCode, 0);
    QCOMPARE(bytesFrom(type, r.value).toHex(), image.toHex());
}

// The largest read at the smallest usual grant (296 jobs), the largest write at the largest.
void TestLargeVariables::largest_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("pdu");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("db");
    QTest::newRow("s7 read at 240") << "s7" << 240 << false << 9;
    QTest::newRow("s7 write at 960") << "s7" << 960 << true << 10;
    QTest::newRow("ppi read") << "ppi" << PpiPdu << false << 1;
}

void TestLargeVariables::largest()
{
    QFETCH(QString, which);
    QFETCH(int, pdu);
    QFETCH(bool, write);
    QFETCH(int, db);
    const QString address = db == 1 ? QStringLiteral("V0") : QStringLiteral("DB%1.DBB0").arg(db);
    const QByteArray image = pattern(65535, write ? 8 : 7);
    CDriveBaseClass *drv = connected(which, pdu);
    QVERIFY(drv);
    QElapsedTimer clock;
    clock.start();
    if (write) {
        QCOMPARE(drv->WriteVariable(address, UInt8, uint8Value(image), 65535).resultCode, 0);
        QVERIFY(plcs.stored(which, 0x84, db, 0, 65535) == image);
    } else {
        QVERIFY(plcs.memory(which).write(0x84, db, 0, image));
        const CLabelVariable r = drv->ReadVariable(address, UInt8, 65535);
        QCOMPARE(r.resultCode, 0);
        QVERIFY(bytesOf(r) == image);
    }
    QVERIFY2(clock.elapsed() < 60000, "one request of the largest size blocked the caller for a minute");
    QCOMPARE(plcs.jobsSinceMark(which), jobsFor(65535, write ? writeCapacity(pdu) : readCapacity(pdu)));
}

// The PLC refuses the job that holds byte 1000 of its failing block: at 240 that is the fifth of
// a 2000-byte range (888..1109 for reads, 848..1059 for writes).
void TestLargeVariables::failingMiddleJob_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("db");
    QTest::newRow("s7") << "s7" << int(S7Server::FailingRangeDb);
    QTest::newRow("ppi") << "ppi" << int(PpiStation::FailingRangeBlock);
}

void TestLargeVariables::failingMiddleJob()
{
    QFETCH(QString, which);
    QFETCH(int, db);
    const QString address = QStringLiteral("DB%1.DBB0").arg(db);
    const QByteArray old = pattern(2000, 9);
    QVERIFY(plcs.memory(which).write(0x84, db, 0, old));
    CDriveBaseClass *drv = connected(which, 240);
    QVERIFY(drv);
    const CLabelVariable r = drv->ReadVariable(address, UInt8, 2000);
    QCOMPARE(r.resultCode, 7);
    QVERIFY(!r.value.isValid());
    QVERIFY(r.timeStamp.isNull());
    QCOMPARE(plcs.jobsSinceMark(which), 5);

    // A write stops at the failing job: the ranges before it are written, nothing after it.
    const QByteArray data = pattern(2000, 10);
    plcs.markJobs(which);
    QCOMPARE(drv->WriteVariable(address, UInt8, uint8Value(data), 2000).resultCode, 7);
    QCOMPARE(plcs.jobsSinceMark(which), 5);
    QVERIFY(plcs.stored(which, 0x84, db, 0, 848) == data.left(848));
    QVERIFY(plcs.stored(which, 0x84, db, 848, 1152) == old.mid(848));
    // The link stays usable.
    QCOMPARE(drv->ReadVariable(address, UInt8, 10).resultCode, 0);
}

QTEST_GUILESS_MAIN(TestLargeVariables)
#include "tst_large_variables.moc"
