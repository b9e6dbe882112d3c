// PPI reads and writes larger than one job, over the gateway and over the pseudo-terminal: the
// bytes must come out of and land in the station's memory exactly, in jobs of at most 240 bytes.
#include <QtEndian>
#include <QtTest>

#include <memory>

#include "ByteImages.h"
#include "LabelValues.h"
#include "StationThread.h"
#include "pellimor.h"

namespace {

// A station takes S7 PDUs of up to 240 bytes: 222 data bytes in a read answer, 212 in a write.
constexpr int ReadCapacity = 222;
constexpr int WriteCapacity = 212;
int jobsFor(int bytes, int capacity) { return (bytes + capacity - 1) / capacity; }

struct Area {
    const char *prefix;
    int code;
    int db;
};
const Area Areas[] = {{"V", 0x84, 1}, {"M", 0x83, 0}, {"Q", 0x82, 0}, {"DB7.DBB", 0x84, 7}, {"I", 0x81, 0}};

} // namespace

class TestPpiLarge : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void bytes_data();
    void bytes();
    void elementsAcrossJobs();
    void largestRead();
    void failingMiddleJob();

private:
    StationThread &station(bool serial) { return serial ? *pty : *gateway; }
    Pellimor &driver(bool serial) { return serial ? *overPty : *overGateway; }
    // The job frames the station received (variable frames of the send-and-request kind).
    QList<QByteArray> jobs(bool serial)
    {
        QList<QByteArray> out;
        for (const QByteArray &f : station(serial).station->receivedFrames())
            if (f.size() > 6 && quint8(f.at(0)) == 0x68 && (quint8(f.at(6)) & 0x0F) == 0x0C)
                out << f;
        return out;
    }
    QByteArray stored(bool serial, int area, int db, int at, int size)
    {
        QByteArray b;
        station(serial).memory.read(area, db, at, size, &b);
        return b;
    }

    QTemporaryDir dir;
    std::unique_ptr<StationThread> gateway;
    std::unique_ptr<StationThread> pty;
    std::unique_ptr<Pellimor> overGateway;
    std::unique_ptr<Pellimor> overPty;
};

void TestPpiLarge::initTestCase()
{
    registerLabelVariableTypes();
    const QString link = dir.filePath(QStringLiteral("tty"));
    gateway = std::make_unique<StationThread>(StationThread::Medium::Gateway);
    pty = std::make_unique<StationThread>(StationThread::Medium::Pty, 2, link);
    QVERIFY(gateway->ok() && pty->ok());
    overGateway = std::make_unique<Pellimor>();
    overPty = std::make_unique<Pellimor>();
    overGateway->SetConnectPar(QStringLiteral("2"));
    overPty->SetConnectPar(QStringLiteral("2"));
    QCOMPARE(overGateway->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(gateway->port())), 0);
    QCOMPARE(overPty->ConnectDrive(link + QStringLiteral(",9600,8,1,E")), 0);
}

void TestPpiLarge::init()
{
    gateway->station->clearReceivedFrames();
    pty->station->clearReceivedFrames();
}

void TestPpiLarge::bytes_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("size");
    int next = 0;
    for (bool serial : {false, true}) {
        for (bool write : {false, true}) {
            const int cap = write ? WriteCapacity : ReadCapacity;
            for (int size : {1, cap, cap + 1, 500, 4000}) {
                const int area = next++ % 5;
                QTest::addRow("%s %s %s %d", serial ? "pty" : "gateway", write ? "write" : "read",
                              Areas[area].prefix, size)
                    << serial << write << area << size;
            }
        }
    }
    // The sizes of one read job on either side of the capacity, written.
    QTest::newRow("gateway write V 222") << false << true << 0 << ReadCapacity;
    QTest::newRow("gateway write V 223") << false << true << 0 << ReadCapacity + 1;
}

void TestPpiLarge::bytes()
{
    QFETCH(bool, serial);
    QFETCH(bool, write);
    QFETCH(int, area);
    QFETCH(int, size);
    const Area &a = Areas[area];
    const int start = 300;
    const QString address = QStringLiteral("%1%2").arg(QLatin1String(a.prefix)).arg(start);
    const QByteArray before = pattern(size + 2, size + serial);
    QVERIFY(station(serial).memory.write(a.code, a.db, start - 1, before));

    if (write) {
        const QByteArray data = pattern(size, size * 5 + serial);
        const CLabelVariable r = driver(serial).WriteVariable(address, UInt8, uint8Value(data), size);
        QCOMPARE(r.resultCode, a.code == 0x81 ? 6 : 0);
        QCOMPARE(stored(serial, a.code, a.db, start, size).toHex(), data.toHex());
        QCOMPARE(stored(serial, a.code, a.db, start - 1, 1), before.left(1));
        QCOMPARE(stored(serial, a.code, a.db, start + size, 1), before.right(1));
        QCOMPARE(jobs(serial).size(), jobsFor(size, WriteCapacity));
    } else {
        const CLabelVariable r = driver(serial).ReadVariable(address, UInt8, size);
        QCOMPARE(r.resultCode, 0);
        QCOMPARE(bytesOf(r).toHex(), before.mid(1, size).toHex());
        QCOMPARE(jobs(serial).size(), jobsFor(size, ReadCapacity));
    }
    // LE counts DA, SA and FC besides the PDU.
    for (const QByteArray &job : jobs(serial))
        QVERIFY(quint8(job.at(1)) - 3 <= 240);
}

void TestPpiLarge::elementsAcrossJobs()
{
    Pellimor &p = driver(false);
    // Bits from M0.5 on: 224 bytes, two read jobs.
    const QByteArray bits = pattern(224, 1);
    QVERIFY(gateway->memory.write(0x83, 0, 0, bits));
    const int count = 224 * 8 - 5;
    CLabelVariable r = p.ReadVariable(QStringLiteral("M0.5"), Bool, count);
    QCOMPARE(r.resultCode, 0);
    QCOMPARE(elementsOf(r.value).size(), count);
    for (int i = 0; i < count; ++i) {
        const int bit = 5 + i;
        QVERIFY2(r.atbool(i) == bool((quint8(bits.at(bit / 8)) >> (bit % 8)) & 1),
                 qPrintable(QStringLiteral("bit %1").arg(i)));
    }
    // Doubles: element 27 spans the read jobs, element 26 the write jobs.
    QByteArray image;
    const QList<double> values = doublesWithImage(30, &image);
    QCOMPARE(p.WriteVariable(QStringLiteral("V5"), Double, valueOf(values), 30).resultCode, 0);
    QCOMPARE(stored(false, 0x84, 1, 5, 240).toHex(), image.toHex());
    const CLabelVariable d = p.ReadVariable(QStringLiteral("V5"), Double, 30);
    QCOMPARE(d.resultCode, 0);
    QCOMPARE(d.value.value<QList<double>>(), values);
}

void TestPpiLarge::largestRead()
{
    const QByteArray image = pattern(65535, 7);
    QVERIFY(gateway->memory.write(0x84, 1, 0, image));
    const CLabelVariable r = driver(false).ReadVariable(QStringLiteral("V0"), UInt8, 65535);
    QCOMPARE(r.resultCode, 0);
    QVERIFY(bytesOf(r) == image);
    QCOMPARE(jobs(false).size(), 296);
}

// The station refuses the job that holds byte 1000 of DB9018: the fifth of a 2000-byte range.
void TestPpiLarge::failingMiddleJob()
{
    const int db = PpiStation::FailingRangeBlock;
    const QString address = QStringLiteral("DB%1.DBB0").arg(db);
    const QByteArray old = pattern(2000, 9);
    QVERIFY(gateway->memory.write(0x84, db, 0, old));
    const CLabelVariable r = driver(false).ReadVariable(address, UInt8, 2000);
    QCOMPARE(r.resultCode, 7);
    QVERIFY(!r.value.isValid());
    QVERIFY(r.timeStamp.isNull());
    QCOMPARE(jobs(false).size(), 5);

    gateway->station->clearReceivedFrames();
    const QByteArray data = pattern(2000, 10);
    QCOMPARE(driver(false).WriteVariable(address, UInt8, uint8Value(data), 2000).resultCode, 7);
    QCOMPARE(jobs(false).size(), 5);
    QVERIFY(stored(false, 0x84, db, 0, 848) == data.left(848));
    QVERIFY(stored(false, 0x84, db, 848, 1152) == old.mid(848));
}

QTEST_GUILESS_MAIN(TestPpiLarge)
#include "tst_ppi_large.moc"
