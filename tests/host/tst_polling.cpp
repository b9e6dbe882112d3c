// A host polling both drivers as an HMI does: the same address texts over and over, more texts
// than any cache of the drivers keeps, in several spellings. Every read must deliver the bytes at
// the place its own text names, and carry the local date and time of its completion.
#include <QtTest>

#include <functional>

#include "BothDrivers.h"
#include "ParseCache.h"

namespace {

constexpr int DataBlock = 0x84;
constexpr int Flags = 0x83;

// A text and the place it names, written down from the notation, not from the parser.
struct Tag {
    QString text;
    int area;
    int byteAddress;
};

// Distinct bytes everywhere a tag can point, so a read of the wrong place cannot pass.
QByteArray pattern(int salt)
{
    QByteArray bytes(4096, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7 + (i >> 8) * 13 + salt) & 0xFF);
    return bytes;
}

QList<Tag> tags(int count)
{
    const std::function<Tag(int)> forms[] = {
        [](int i) { return Tag{QStringLiteral("DB1.DBB%1").arg(i), DataBlock, i}; },
        [](int i) { return Tag{QStringLiteral("db1.dbb%1").arg(i), DataBlock, i}; },
        [](int i) { return Tag{QStringLiteral("V%1").arg(i), DataBlock, i}; },
        [](int i) { return Tag{QStringLiteral("VB%1").arg(i), DataBlock, i}; },
        [](int i) { return Tag{QStringLiteral("M%1").arg(i), Flags, i}; },
        [](int i) { return Tag{QStringLiteral("mb%1").arg(i), Flags, i}; },
    };
    QList<Tag> list;
    for (int i = 0; i < count; ++i)
        list.append(forms[i % 6](i % 4000));
    return list;
}

bool isLocalTimeWithin(const QDateTime &stamp, const QDateTime &before, const QDateTime &after)
{
    return stamp.timeSpec() == Qt::LocalTime && before <= stamp && stamp <= after;
}

} // namespace

class TestPolling : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyTextItsOwnPlace_data();
    void everyTextItsOwnPlace();
    void refusedTextStaysRefused_data();
    void refusedTextStaysRefused();
    void timeStamps_data();
    void timeStamps();

private:
    CDriveBaseClass *driver(const QString &name) { return plcs.driver(name); }
    PlcMemory &memoryOf(const QString &name) { return plcs.memory(name); }
    void addDrivers();

    BothDrivers plcs;
};

void TestPolling::initTestCase()
{
    registerLabelVariableTypes();
    QVERIFY(plcs.start());
    for (PlcMemory *memory : {&plcs.memory(QStringLiteral("s7")), &plcs.memory(QStringLiteral("ppi"))}) {
        QVERIFY(memory->write(DataBlock, 1, 0, pattern(1)));
        QVERIFY(memory->write(Flags, 0, 0, pattern(2)));
    }
}

void TestPolling::addDrivers()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("S7") << QStringLiteral("s7");
    QTest::newRow("PPI") << QStringLiteral("ppi");
}

void TestPolling::everyTextItsOwnPlace_data() { addDrivers(); }

void TestPolling::everyTextItsOwnPlace()
{
    QFETCH(QString, name);
    CDriveBaseClass *d = driver(name);
    // More texts than a cache keeps, then the same texts again backwards: the ones read last
    // come first, the ones read first have long been dropped.
    QList<Tag> polled = tags(ParseCache<int>::Capacity + 400);
    const int firstPass = polled.size();
    for (int i = firstPass - 1; i >= 0; --i)
        polled.append(polled.at(i));
    for (int i = 0; i < polled.size(); ++i) {
        const Tag &tag = polled.at(i);
        QByteArray expected;
        QVERIFY(memoryOf(name).read(tag.area, tag.area == DataBlock ? 1 : 0, tag.byteAddress, 2, &expected));
        CLabelVariable r = d->ReadVariable(tag.text, UInt8, 2);
        QVERIFY2(r.resultCode == 0, qPrintable(QStringLiteral("%1: code %2").arg(tag.text).arg(r.resultCode)));
        const QByteArray got = QByteArray(1, char(r.atUInt8(0))) + char(r.atUInt8(1));
        QVERIFY2(got == expected, qPrintable(QStringLiteral("read %1 of %2 (%3) gave %4, the PLC holds %5")
                                                 .arg(i).arg(polled.size()).arg(tag.text)
                                                 .arg(QString::fromLatin1(got.toHex()), QString::fromLatin1(expected.toHex()))));
        QCOMPARE(r.address, tag.text);
    }
}

void TestPolling::refusedTextStaysRefused_data() { addDrivers(); }

void TestPolling::refusedTextStaysRefused()
{
    QFETCH(QString, name);
    CDriveBaseClass *d = driver(name);
    QByteArray m1;
    QVERIFY(memoryOf(name).read(Flags, 0, 1, 1, &m1));
    // A text outside the notation next to one that is its good neighbour, again and again.
    for (int round = 0; round < 3; ++round) {
        QCOMPARE(d->ReadVariable(QStringLiteral("M1.2.3"), UInt8, 1).resultCode, 3);
        CLabelVariable good = d->ReadVariable(QStringLiteral("M1"), UInt8, 1);
        QCOMPARE(good.resultCode, 0);
        QCOMPARE(good.atUInt8(0), quint8(m1.at(0)));
        QCOMPARE(d->ReadVariable(QStringLiteral("M1.2.3"), UInt8, 1).resultCode, 3);
    }
}

void TestPolling::timeStamps_data() { addDrivers(); }

void TestPolling::timeStamps()
{
    QFETCH(QString, name);
    CDriveBaseClass *d = driver(name);
    for (int i = 0; i < 20; ++i) {
        QDateTime before = QDateTime::currentDateTime();
        const CLabelVariable read = d->ReadVariable(QStringLiteral("V10"), UInt16, 1);
        QDateTime after = QDateTime::currentDateTime();
        QCOMPARE(read.resultCode, 0);
        QVERIFY2(isLocalTimeWithin(read.timeStamp, before, after), qPrintable(read.timeStamp.toString(Qt::ISODateWithMs)));

        // Refused before anything is sent: the time of the call.
        before = QDateTime::currentDateTime();
        const CLabelVariable refused = d->ReadVariable(QStringLiteral("M1.2.3"), UInt8, 1);
        after = QDateTime::currentDateTime();
        QCOMPARE(refused.resultCode, 3);
        QVERIFY(isLocalTimeWithin(refused.timeStamp, before, after));

        CLabelVariable value;
        value.value = QVariant::fromValue(QList<unsigned short>{quint16(0x1234 + i)});
        before = QDateTime::currentDateTime();
        const CLabelVariable written = d->WriteVariable(QStringLiteral("V20"), UInt16, value, 1);
        after = QDateTime::currentDateTime();
        QCOMPARE(written.resultCode, 0);
        QVERIFY(isLocalTimeWithin(written.timeStamp, before, after));
    }
}

QTEST_GUILESS_MAIN(TestPolling)
#include "tst_polling.moc"
