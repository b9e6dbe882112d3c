// Both facades against the simulated PLC: for every documented address form, and for texts that
// have addressed another place than they name, which bytes and bits a write changes and which a
// read returns, looked up in the PLC's memory; and what is refused before anything is sent.
// Every expected place is written in the tables as a person reads the text.
#include <QtEndian>
#include <QtTest>

#include <climits>

#include "AddressGrammar.h"
#include "BothDrivers.h"
#include "ByteImages.h"
#include "LabelValues.h"
#include "PpiFrames.h"
#include "S7Jobs.h"

Q_DECLARE_METATYPE(DataType)

namespace {

constexpr int I = 0x81, Q = 0x82, M = 0x83, DB = 0x84;
constexpr int SM = 0x05, AI = 0x06, AQ = 0x07, PI = 0x80, PQ = PlcMemory::PeripheralOutputs;

// Element bytes in PLC order for the values the tables write.
const QByteArray Source = QByteArray::fromHex("a1b2c3d4e5f607188f9e2d3c4b5a6978"
                                              "11223344556677881f2e3d4c5b6a7988");

// Byte i of every block before a read: no two neighbours alike, never 0.
char pattern(int area, int db, int i) { return char((i * 31 + db * 7 + area) % 255 + 1); }

// What changed between two looks at the memory: "area/db/byte=new" per changed byte. A block
// that did not exist before counts as zeros.
QStringList changes(const QHash<quint32, QByteArray> &before, const QHash<quint32, QByteArray> &after)
{
    QStringList out;
    for (auto it = after.begin(); it != after.end(); ++it) {
        const QByteArray old = before.value(it.key(), QByteArray(it.value().size(), '\0'));
        if (old == it.value())
            continue;
        for (int i = 0; i < it.value().size(); ++i) {
            if (old.at(i) != it.value().at(i))
                out << QStringLiteral("%1/%2/%3=%4")
                           .arg(it.key() >> 16, 0, 16)
                           .arg(it.key() & 0xFFFF)
                           .arg(i)
                           .arg(quint8(it.value().at(i)), 2, 16, QLatin1Char('0'));
        }
    }
    return out;
}

QString change(int area, int db, int byte, quint8 value)
{
    return QStringLiteral("%1/%2/%3=%4").arg(area, 0, 16).arg(area == DB ? db : 0).arg(byte).arg(value, 2, 16, QLatin1Char('0'));
}

} // namespace

class TestAddressPlaces : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void places_data();
    void places();
    void boolRun_data();
    void boolRun();
    void oneWay_data();
    void oneWay();
    void timersAndCounters_data();
    void timersAndCounters();
    void refused_data();
    void refused();
    void hostNumbers_data();
    void hostNumbers();
    void simulatorRefusesByteItemWithBitPart();
    void texts_data();
    void texts();
    void textRefused_data();
    void textRefused();
    void codePageOfConnection_data();
    void codePageOfConnection();

private:
    CDriveBaseClass *driver(const QString &which) { return plcs.driver(which); }
    PlcMemory &memory(const QString &which) { return plcs.memory(which); }
    void clear(const QString &which);
    void expectNothingSent(const QString &which, const std::function<CLabelVariable()> &request, int code);
    // The facade's inner step, at the place the text names.
    CLabelVariable writeData(const QString &which, const QString &address, DataType type, const CLabelVariable &value,
                             int count)
    {
        const AddressGrammar::Address a = AddressGrammar::parse(address);
        const int byte = int(a.byteAddress);
        if (auto *s7 = dynamic_cast<Korvane *>(driver(which)))
            return s7->Write_data(byte, a.dbNumber, a.bitNumber, type, count, value, a.area, address);
        return dynamic_cast<Pellimor *>(driver(which))->Write_data(byte, a.dbNumber, a.bitNumber, type, count, value,
                                                                   a.area, address);
    }

    BothDrivers plcs;
};

void TestAddressPlaces::initTestCase()
{
    registerLabelVariableTypes();
    QVERIFY(plcs.start());
}

void TestAddressPlaces::init()
{
    clear(QStringLiteral("s7"));
    clear(QStringLiteral("ppi"));
}

void TestAddressPlaces::clear(const QString &which)
{
    PlcMemory &m = memory(which);
    const QHash<quint32, QByteArray> blocks = m.contents();
    for (auto it = blocks.begin(); it != blocks.end(); ++it)
        QVERIFY(m.write(int(it.key() >> 16), int(it.key() & 0xFFFF), 0, QByteArray(PlcMemory::AreaSize, '\0')));
}

void TestAddressPlaces::places_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("bit");
    struct Row {
        const char *address;
        DataType type;
        int count;
        int area, db, byte, bit;
    };
    const Row rows[] = {
        // The documented forms.
        {"I0.3", Bool, 1, I, 0, 0, 3},
        {"i0.3", Bool, 1, I, 0, 0, 3},
        {"Q1", UInt8, 1, Q, 0, 1, 0},
        {"M10.7", Bool, 1, M, 0, 10, 7},
        {"M10", Bool, 1, M, 0, 10, 0},
        {"V100", Int16, 1, DB, 1, 100, 0},
        {"V100.2", Bool, 1, DB, 1, 100, 2},
        {"DB5.DBW20", Int16, 2, DB, 5, 20, 0},
        {"DB5.DBX20.3", Bool, 1, DB, 5, 20, 3},
        {"db5.dbx20.3", Bool, 1, DB, 5, 20, 3},
        {"DB5_DBD8", Int32, 1, DB, 5, 8, 0},
        {"DB5:DBB8", UInt8, 3, DB, 5, 8, 0},
        {"DB5;DBW2", UInt16, 1, DB, 5, 2, 0},
        {"DB100", Int64, 1, DB, 100, 100, 0},
        {"V_or_DB100", Float, 1, DB, 1, 100, 0},
        {"V_or_DB5.20", UInt32, 1, DB, 5, 20, 0},
        {"V_or_DB5_20", Int8, 2, DB, 5, 20, 0},
        {"V_or_DB5.20.3", Bool, 1, DB, 5, 20, 3},
        {"MW10", Int16, 1, M, 0, 10, 0},
        {"VB100", UInt8, 1, DB, 1, 100, 0},
        {"IX0.3", Bool, 1, I, 0, 0, 3},
        {"QD4", Float, 1, Q, 0, 4, 0},
        {"DB65535.DBD65530", UInt32, 1, DB, 65535, 65530, 0},
        {"DB65535.DBD7996", UInt32, 1, DB, 65535, 7996, 0},
        {"V_or_DB7999", Bool, 1, DB, 1, 7999, 0},
        // V_or_DB texts without the ".b" form name no bit.
        {"V_or_DB12349", Bool, 1, DB, 1, 12349, 0},
        {"V_or_DB5.209", UInt8, 1, DB, 5, 209, 0},
        {"V_or_DB15.27", Bool, 1, DB, 15, 27, 0},
        {"V_or_DB1.101", Bool, 1, DB, 1, 101, 0},
        // Byte-sized types at a text with a bit part: the named byte, on reads and writes alike.
        {"M10.3", Int16, 1, M, 0, 10, 0},
        {"DB5.DBX20.3", Double, 1, DB, 5, 20, 0},
        {"V100.7", UInt8, 2, DB, 1, 100, 0},
        {"V_or_DB5.20.3", UInt64, 1, DB, 5, 20, 0},
        {"Q1.1", UInt32, 1, Q, 0, 1, 0},
        {"I0.3", Int8, 1, I, 0, 0, 0},
        // Special memory as M; analog outputs as words.
        {"SMB100", UInt8, 2, SM, 0, 100, 0},
        {"SM100.5", Bool, 1, SM, 0, 100, 5},
        {"smw40", Int16, 1, SM, 0, 40, 0},
        {"SMD60", Float, 1, SM, 0, 60, 0},
        {"AQW2", Int16, 2, AQ, 0, 2, 0},
        {"AAW4", UInt32, 1, AQ, 0, 4, 0},
        {"AQW8", Double, 1, AQ, 0, 8, 0},
    };
    for (const char *which : {"s7", "ppi"}) {
        for (const Row &r : rows) {
            // PPI writes end at byte 8000 (see refused).
            if (QByteArray(which) == "ppi" && r.byte + r.count > Pellimor::WriteAddressLimit)
                continue;
            QTest::addRow("%s %s %d", which, r.address, int(r.type))
                << QString::fromLatin1(which) << QString::fromLatin1(r.address) << r.type << r.count << r.area
                << r.db << r.byte << r.bit;
        }
    }
}

void TestAddressPlaces::places()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(int, count);
    QFETCH(int, area);
    QFETCH(int, db);
    QFETCH(int, byte);
    QFETCH(int, bit);
    CDriveBaseClass *drv = driver(which);
    PlcMemory &plc = memory(which);

    // A write changes exactly the bytes (or the bit) the text names, and nothing else.
    CLabelVariable value;
    QStringList expected;
    if (type == Bool) {
        value = valueOf(QList<bool>{true});
        expected << change(area, db, byte, quint8(1u << bit));
    } else {
        const QByteArray bytes = Source.left(widthOf(type) * count);
        value.value = listFrom(type, bytes, count);
        for (int i = 0; i < bytes.size(); ++i)
            expected << change(area, db, byte + i, quint8(bytes.at(i)));
    }
    const QHash<quint32, QByteArray> before = plc.contents();
    const CLabelVariable written = drv->WriteVariable(address, type, value, count);
    QCOMPARE(written.resultCode, area == I ? 6 : 0);
    QCOMPARE(changes(before, plc.contents()), expected);

    // A read returns what lies at that place, and changes nothing.
    QByteArray block;
    for (int i = 0; i < PlcMemory::AreaSize; ++i)
        block.append(pattern(area, db, i));
    QVERIFY(plc.write(area, db, 0, block));
    const QHash<quint32, QByteArray> beforeRead = plc.contents();
    const CLabelVariable read = drv->ReadVariable(address, type, count);
    QCOMPARE(read.resultCode, 0);
    QCOMPARE(changes(beforeRead, plc.contents()), QStringList());
    if (type == Bool) {
        QVariantList bits = elementsOf(read.value);
        QVERIFY(bits.size() >= count);
        QCOMPARE(bits.at(0).toBool(), bool((quint8(block.at(byte)) >> bit) & 1));
    } else {
        QCOMPARE(bytesFrom(type, read.value).toHex(), block.mid(byte, widthOf(type) * count).toHex());
    }
}

// Consecutive bits from the start bit on, across byte boundaries.
void TestAddressPlaces::boolRun_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("firstBit");     // counted from bit 0 of byte 0 of the block
    for (const char *which : {"s7", "ppi"}) {
        QTest::addRow("%s M20.7", which) << which << "M20.7" << 3 << M << 0 << 20 * 8 + 7;
        QTest::addRow("%s DB5.DBX3.5", which) << which << "DB5.DBX3.5" << 12 << DB << 5 << 3 * 8 + 5;
        QTest::addRow("%s V_or_DB5.209", which) << which << "V_or_DB5.209" << 9 << DB << 5 << 209 * 8;
        QTest::addRow("%s V_or_DB7.2.6", which) << which << "V_or_DB7.2.6" << 2 << DB << 7 << 2 * 8 + 6;
    }
}

void TestAddressPlaces::boolRun()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(int, count);
    QFETCH(int, area);
    QFETCH(int, db);
    QFETCH(int, firstBit);
    PlcMemory &plc = memory(which);
    QByteArray block;
    for (int i = 0; i < PlcMemory::AreaSize; ++i)
        block.append(pattern(area, db, i));
    QVERIFY(plc.write(area, db, 0, block));
    const CLabelVariable read = driver(which)->ReadVariable(address, Bool, count);
    QCOMPARE(read.resultCode, 0);
    const QVariantList bits = elementsOf(read.value);
    QVERIFY(bits.size() >= count);
    for (int i = 0; i < count; ++i) {
        const int at = firstBit + i;
        QCOMPARE(bits.at(i).toBool(), bool((quint8(block.at(at / 8)) >> (at % 8)) & 1));
    }
}

// Areas read or written in one direction only: what a read returns from the input modules
// (the periphery) or analog inputs, where a write to the output modules lands; and what a PLC
// refuses after it was sent (7): an S7-200 has no periphery, SMB0-SMB29 are read-only.
void TestAddressPlaces::oneWay_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("area");      // where in the PLC's memory
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("code");
    auto row = [](const char *which, const char *address, DataType type, int count, bool write, int area, int byte,
                  int code) {
        QTest::addRow("%s %s %s", which, write ? "write" : "read", address)
            << QString::fromLatin1(which) << QString::fromLatin1(address) << type << count << write << area << byte << code;
    };
    row("s7", "PIW256", Int16, 2, false, PI, 256, 0);
    row("s7", "PEB0", UInt8, 3, false, PI, 0, 0);
    row("s7", "PID8", Float, 1, false, PI, 8, 0);
    row("s7", "PQW256", Int16, 2, true, PQ, 256, 0);
    row("s7", "PAD4", UInt32, 1, true, PQ, 4, 0);
    for (const char *which : {"s7", "ppi"}) {
        row(which, "AIW0", Int16, 1, false, AI, 0, 0);
        row(which, "AEW2", Int32, 2, false, AI, 2, 0);
        row(which, "SMB28", UInt8, 1, true, SM, 28, 7);
        row(which, "SMW22", Int16, 1, false, SM, 22, 0);
    }
    // The simulator's fault timer answers in 4-byte records, a size no PLC sends.
    row("s7", "T4000", Int16, 1, false, 0x1D, 2 * S7Jobs::WrongRecordTimer, 7);
    row("ppi", "T4000", Int16, 1, false, 0x1F, 2 * S7Jobs::WrongRecordTimer, 7);
    row("ppi", "PIW256", Int16, 1, false, PI, 256, 7);
    row("ppi", "PQW256", Int16, 1, true, PQ, 256, 7);
}

void TestAddressPlaces::oneWay()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(int, count);
    QFETCH(bool, write);
    QFETCH(int, area);
    QFETCH(int, byte);
    QFETCH(int, code);
    PlcMemory &plc = memory(which);
    const QByteArray bytes = Source.left(widthOf(type) * count);
    if (write) {
        CLabelVariable value;
        value.value = listFrom(type, bytes, count);
        const QHash<quint32, QByteArray> before = plc.contents();
        QCOMPARE(driver(which)->WriteVariable(address, type, value, count).resultCode, code);
        QStringList expected;
        for (int i = 0; code == 0 && i < bytes.size(); ++i)
            expected << change(area, 0, byte + i, quint8(bytes.at(i)));
        QCOMPARE(changes(before, plc.contents()), expected);
        return;
    }
    QVERIFY(plc.write(area, 0, byte, bytes));
    // The other image holds other bytes: a read must not reach it.
    QVERIFY(plc.write(PQ, 0, byte, QByteArray(bytes.size(), '\x77')));
    const CLabelVariable read = driver(which)->ReadVariable(address, type, count);
    QCOMPARE(read.resultCode, code);
    if (code == 0)
        QCOMPARE(bytesFrom(type, read.value).toHex(), bytes.toHex());
}

// Timers and counters: what a read gives for the words the PLC keeps (S5TIME and BCD on the S7
// simulator, an S7-300; ticks and signed counts on the PPI station, an S7-200), and the word a
// write leaves (S7-300 only: an S7-200's are refused, see refused).
void TestAddressPlaces::timersAndCounters_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("words");      // in the PLC
    QTest::addColumn<QVariant>("value");        // as a person reads it
    QTest::addColumn<bool>("write");            // the value written leaves the words
    auto row = [](const char *which, const char *address, DataType type, int area, int number, const char *words,
                  const QVariant &value, bool write = false) {
        QTest::addRow("%s %s %s %d", which, write ? "write" : "read", address, int(type))
            << QString::fromLatin1(which) << QString::fromLatin1(address) << type << area << number
            << QByteArray::fromHex(words) << value << write;
    };
    row("s7", "T5", Int32, 0x1D, 5, "20051123", listOf<int>({5000, 12300}));
    row("s7", "t5", UInt16, 0x1D, 5, "2005", listOf<ushort>({0x2005}));
    row("s7", "C5", Int16, 0x1C, 5, "0042", listOf<short>({42}));
    row("s7", "Z7", UInt32, 0x1C, 7, "0999", listOf<uint>({999}));
    row("s7", "T5", Int32, 0x1D, 5, "0500", listOf<int>({5000}), true);
    row("s7", "T9", UInt32, 0x1D, 9, "3999", listOf<uint>({9990000}), true);
    row("s7", "C5", Int16, 0x1C, 5, "09990000", listOf<short>({999, 0}), true);
    row("ppi", "T37", Int32, 0x1F, 37, "0096", listOf<int>({15000}));
    row("ppi", "T31", UInt32, 0x1F, 31, "000100010001", listOf<uint>({100, 1, 10}));
    row("ppi", "T37", Int16, 0x1F, 37, "0096", listOf<short>({150}));
    row("ppi", "C5", Int16, 0x1E, 5, "fffd", listOf<short>({-3}));
    row("ppi", "C5", UInt16, 0x1E, 5, "fffd", listOf<ushort>({65533}));
}

void TestAddressPlaces::timersAndCounters()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(int, area);
    QFETCH(int, number);
    QFETCH(QByteArray, words);
    QFETCH(QVariant, value);
    QFETCH(bool, write);
    PlcMemory &plc = memory(which);
    const int count = elementsOf(value).size();
    if (write) {
        CLabelVariable v;
        v.value = value;
        QVERIFY(plc.write(area, 0, 2 * number, QByteArray(words.size(), '\xEE')));   // every byte changes
        const QHash<quint32, QByteArray> before = plc.contents();
        QCOMPARE(driver(which)->WriteVariable(address, type, v, count).resultCode, 0);
        QStringList expected;
        for (int i = 0; i < words.size(); ++i)
            expected << change(area, 0, 2 * number + i, quint8(words.at(i)));
        QCOMPARE(changes(before, plc.contents()), expected);
        return;
    }
    QVERIFY(plc.write(area, 0, 2 * number, words));
    const CLabelVariable read = driver(which)->ReadVariable(address, type, count);
    QCOMPARE(read.resultCode, 0);
    QCOMPARE(read.value.userType(), value.userType());
    QCOMPARE(elementsOf(read.value), elementsOf(value));
}

void TestAddressPlaces::expectNothingSent(const QString &which, const std::function<CLabelVariable()> &request,
                                          int code)
{
    PlcMemory &plc = memory(which);
    const QHash<quint32, QByteArray> before = plc.contents();
    const qint64 sent = plcs.framesReceived(which);
    const CLabelVariable result = request();
    QCOMPARE(result.resultCode, code);
    QCOMPARE(plcs.framesReceived(which), sent);
    QCOMPARE(changes(before, plc.contents()), QStringList());
}

void TestAddressPlaces::refused_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("readCode");
    QTest::addColumn<int>("writeCode");
    QTest::addColumn<int>("shortBy");
    struct Row {
        const char *address;
        DataType type;
        int count;
        int s7Read, s7Write, ppiRead, ppiWrite;
        int shortBy = 0;    // > 0: the facade's inner step Write_data, with a value that many elements short
    };
    const Row rows[] = {
        // No PLC has data block 0; V texts are data block 1 (see places).
        {"DB0.DBW2", Int16, 1, 3, 3, 3, 3},
        {"DB0", UInt8, 1, 3, 3, 3, 3},
        {"DB0.DBX1.1", Bool, 1, 3, 3, 3, 3},
        {"V_or_DB0.20", UInt8, 1, 3, 3, 3, 3},
        {"V_or_DB0.20.1", Bool, 1, 3, 3, 3, 3},
        // Outside the notation.
        {"V_or_DB5.20.9", Bool, 1, 3, 3, 3, 3},
        {"V_or_DB15.2.7.1", Bool, 1, 3, 3, 3, 3},
        {"M10.8", Bool, 1, 3, 3, 3, 3},
        {"M1.2.3", Int16, 1, 3, 3, 3, 3},
        {"DB5.DBX20.12", Bool, 1, 3, 3, 3, 3},
        {"DB5_DBX2.3", Bool, 1, 3, 3, 3, 3},
        {"DB65536.DBW0", Int16, 1, 3, 3, 3, 3},
        {"M\u0661\u0660", UInt8, 1, 3, 3, 3, 3},
        // No area keyword: the S7 driver judges it as byte address -1.
        {"X5", UInt8, 1, 5, 5, 3, 3},
        {"M-5", UInt8, 1, 5, 5, 5, 5},
        // The end of the area; PPI writes end at byte 8000.
        {"M65535", UInt8, 1, 5, 5, 5, 5},
        {"DB5.DBB8000", UInt8, 1, 0, 0, 0, 5},
        // More elements than a request carries.
        {"M0", Bool, 2, 0, 4, 0, 4},
        {"M0", Double, 8192, 4, 4, 4, 5},
        {"M0", Int16, 32768, 4, 4, 4, 5},
        {"M0", UInt8, 235, 0, 0, 0, 0},     // more than one PPI job: carried in two
        // Areas that go one way, or hold words or elements only (see oneWay, timersAndCounters).
        {"PQW256", Int16, 1, 3, 0, 3, 0},
        {"PAB0", UInt8, 1, 3, 0, 3, 0},
        {"PIW256", Int16, 1, 0, 6, 0, 6},
        {"PEB0", Bool, 1, 0, 6, 0, 6},
        {"AIW0", Int16, 1, 0, 6, 0, 6},
        {"AIW1", Int16, 1, 5, 6, 5, 6},
        {"AQW1", Int16, 1, 5, 5, 5, 5},
        {"AQW0", UInt8, 1, 2, 2, 2, 2},
        {"AQW0", Bool, 1, 2, 2, 2, 2},
        {"T5", Float, 1, 2, 2, 2, 2},
        {"T5", Bool, 1, 2, 2, 2, 2},
        {"C5", UInt8, 1, 2, 2, 2, 2},
        {"Z5", Int64, 1, 2, 2, 2, 2},
        // 0x5A5A ms or counts cannot be encoded (S7); an S7-200's timers take no writes (PPI).
        {"T37", Int32, 1, 0, 2, 0, 3},
        {"C5", Int16, 1, 0, 2, 0, 3},
        {"T65535", UInt16, 2, 5, 5, 5, 5},
        // A value without the bytes a write carries: never padded.
        {"M0", UInt8, 3, 0, 7, 0, 7, 1},
        {"M0.1", Bool, 1, 0, 7, 0, 7, 1},
    };
    for (const char *which : {"s7", "ppi"}) {
        const bool isS7 = QByteArray(which) == "s7";
        for (const Row &r : rows) {
            QTest::addRow("%s %s %d x%d", which, r.address, int(r.type), r.count)
                << QString::fromLatin1(which) << QString::fromUtf8(r.address) << r.type << r.count
                << (isS7 ? r.s7Read : r.ppiRead) << (isS7 ? r.s7Write : r.ppiWrite) << r.shortBy;
        }
    }
}

// Refused requests send nothing and change nothing; rows with code 0 show where the limit lies.
void TestAddressPlaces::refused()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(int, count);
    QFETCH(int, readCode);
    QFETCH(int, writeCode);
    QFETCH(int, shortBy);
    CDriveBaseClass *drv = driver(which);
    if (readCode != 0)
        expectNothingSent(which, [&] { return drv->ReadVariable(address, type, count); }, readCode);
    if (QTest::currentTestFailed())
        return;
    CLabelVariable value;
    const int held = count - shortBy;
    value.value = type == Bool ? QVariant::fromValue(QVector<bool>(held, true).toList())
                               : listFrom(type, QByteArray(widthOf(type) * held, '\x5A'), held);
    if (shortBy > 0)
        expectNothingSent(which, [&] { return writeData(which, address, type, value, count); }, writeCode);
    else if (writeCode != 0)
        expectNothingSent(which, [&] { return drv->WriteVariable(address, type, value, count); }, writeCode);
    else if (readCode != 0)
        return;
    else
        QCOMPARE(drv->WriteVariable(address, type, value, count).resultCode, 0);
}

// Host numbers near the ends of int: an address past the area is 5, a count that cannot be
// carried 4, for every type, before anything is sent and without arithmetic that wraps.
void TestAddressPlaces::hostNumbers_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code");
    const char *pastTheArea[] = {"M536871012", "V999999999", "DB5.DBW999999999", "M5368710120",
                                 "V_or_DB5.4294967296", "V_or_DB4294967296", "I99999999999999999999.1",
                                 "QW2147483647", "M65536"};
    const int counts[] = {1, 2000000000, 1610612736, INT_MAX};
    for (const char *which : {"s7", "ppi"}) {
        for (int type = Bool; type <= Double; ++type) {
            for (const char *address : pastTheArea) {
                for (int count : counts)
                    QTest::addRow("%s %s type %d x%d", which, address, type, count)
                        << which << address << DataType(type) << count << 5;
            }
            // A count that takes the request past the area's end, from its start.
            QTest::addRow("%s M0 type %d x%d", which, type, INT_MAX) << which << "M0" << DataType(type) << INT_MAX << 5;
            QTest::addRow("%s M0 type %d x%d", which, type, 65536) << which << "M0" << DataType(type) << 65536 << 5;
            QTest::addRow("%s M0 type %d x%d", which, type, INT_MIN) << which << "M0" << DataType(type) << INT_MIN << 4;
        }
    }
}

void TestAddressPlaces::hostNumbers()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(int, count);
    QFETCH(int, code);
    CDriveBaseClass *drv = driver(which);
    expectNothingSent(which, [&] { return drv->ReadVariable(address, type, count); }, code);
    if (QTest::currentTestFailed())
        return;
    // The host's value need not hold the elements: the address and the count are judged first.
    CLabelVariable value = valueOf(QList<bool>{true});
    expectNothingSent(which, [&] { return drv->WriteVariable(address, type, value, count); }, code);
}

// A byte item whose start address has a bit part is answered with an error item, as a PLC
// answers it, so a driver that sent one would fail instead of passing silently.
void TestAddressPlaces::simulatorRefusesByteItemWithBitPart()
{
    PlcMemory plc;
    QVERIFY(plc.write(M, 0, 10, QByteArray::fromHex("1122")));
    // Read 2 bytes of M at bit address 83 (byte 10, bit 3); then the same at 80.
    const QByteArray readAt83 = QByteArray::fromHex("320100000007000e00000401120a10020002000083000053");
    const QByteArray readAt80 = QByteArray::fromHex("320100000007000e00000401120a10020002000083000050");
    // Write 2 bytes AB CD at bit address 83.
    const QByteArray writeAt83 =
        QByteArray::fromHex("320100000008000e00060501120a1002000200008300005300040010abcd");
    const int pduSize = 960;
    // Acknowledgements: header 32 03 0000 ref 0002 dataLength 0000, function, 1 item, return code.
    QCOMPARE(S7Jobs::answer(&plc, readAt83, pduSize).toHex(),
             QByteArray("320300000007000200040000040105000000"));
    QCOMPARE(S7Jobs::answer(&plc, readAt80, pduSize).toHex(),
             QByteArray("3203000000070002000600000401ff0400101122"));
    QCOMPARE(S7Jobs::answer(&plc, writeAt83, pduSize).toHex(), QByteArray("32030000000800020001000005010" "5"));
    QByteArray stored;
    QVERIFY(plc.read(M, 0, 10, 2, &stored));
    QCOMPARE(stored.toHex(), QByteArray("1122"));

    // The PPI station: the same write job in a frame, acknowledged, then fetched with a poll.
    QTcpSocket link;
    link.connectToHost(QHostAddress::LocalHost, plcs.gateway->port());
    QVERIFY(link.waitForConnected(2000));
    auto exchange = [&](const QByteArray &frame) {
        QByteArray reply;
        link.write(frame);
        while (PpiFrames::missingBytes(reply) != 0 && link.waitForReadyRead(2000))
            reply += link.readAll();
        return reply;
    };
    QVERIFY(plcs.gateway->memory.write(M, 0, 10, QByteArray::fromHex("1122")));
    const int functions[] = {PpiFrames::FcWriteJob, PpiFrames::FcReadJob};
    const QByteArray jobs[] = {writeAt83, readAt83};
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(exchange(PpiFrames::variableFrame(2, 0, functions[i], jobs[i])).toHex(), QByteArray("e5"));
        const PpiFrames::Frame answer = PpiFrames::parse(exchange(PpiFrames::poll(2, 0)));
        QCOMPARE(int(answer.kind), int(PpiFrames::Kind::Variable));
        QVERIFY(answer.data.size() >= 15);
        QCOMPARE(quint8(answer.data.at(14)), quint8(0x05));    // the item's return code
    }
    stored.clear();
    QVERIFY(plcs.gateway->memory.read(M, 0, 10, 2, &stored));
    QCOMPARE(stored.toHex(), QByteArray("1122"));
}

// Text and time tags (String at their own forms): a write lands exactly on the bytes the layout
// names and nowhere else (a STRING's max byte stays), a read brings the texts back. `before` is
// the image at the element's first byte before the write (the max bytes a project set), `after`
// the image after it, both written out by hand.
void TestAddressPlaces::texts_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("byte");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("readBack");      // empty: the texts written
    struct Row {
        const char *drivers;    // "s7", "ppi" or "both"
        const char *address;
        int db, byte;
        const char *before;
        const char *written;    // texts separated by "|"
        const char *after;
        const char *readBack;
    };
    const Row rows[] = {
        // The max byte is the project's (here STRING[20] read as [10]): never written.
        {"s7", "DB5.STRING20[10]", 5, 20, "14", "Hello", "140548656c6c6f", ""},
        // Odd-sized STRING[3] elements start at even offsets: the second at byte 26.
        {"s7", "DB5.STRING20[3]", 5, 20, "030000000000 03", "AB|XYZ", "030241420000 030358595a", ""},
        {"s7", "DB5.STRING20", 5, 20, "04", "ABCD", "040441424344", ""},
        // Without [n] every element has the first one's max, stride included.
        {"s7", "DB5.STRING20", 5, 20, "030000000000 03", "AB|XYZ", "030241420000 030358595a", ""},
        {"s7", "DB5.STRING20", 5, 20, "0403", "\xe4\xbd\xa0\xe5\xa5\xbd", "0404c4e3bac3", ""},
        {"s7", "DB5.WSTRING20[4]", 5, 20, "0004", "\xe4\xb8\xad\xe6\x96\x87", "000400024e2d6587", ""},
        {"s7", "DB5.WSTRING20", 5, 20, "0002", "A", "000200010041", ""},
        {"s7", "DB5.CHAR20[5]", 5, 20, "", "AB|CDEFG", "41422020204344454647", ""},
        {"s7", "DB5.WCHAR20[2]", 5, 20, "", "\xe4\xb8\xad", "4e2d0020", ""},
        {"s7", "DB5.DT20", 5, 20, "", "2026-12-09T23:04:05.123", "2612092304051234", ""},
        {"s7", "DB5.DTL20", 5, 20, "", "2026-12-09 23:04:05.123456789", "07ea0c0904170405075bcd15",
         "2026-12-09T23:04:05.123456789"},
        {"s7", "DB5.DATE20", 5, 20, "", "2026-12-09", "34b3", ""},
        {"s7", "DB5.TOD20", 5, 20, "", "23:04:05.123", "04f32b03", ""},
        {"s7", "DB5.S5TIME20", 5, 20, "", "S5T#12s500ms", "1125", ""},
        // An S7-200 SMART's V memory over the S7 driver, and every PPI address: one length byte.
        {"both", "VSTRING100[10]", 1, 100, "", "Hello", "0548656c6c6f", ""},
        {"both", "VSTRING100[3]", 1, 100, "", "AB|C", "02414200 0143", ""},
        {"both", "VTIME100", 1, 100, "", "T#-5s|PT1H2M3.004S", "ffffec78 0038cefc", "T#-5s|T#1h2m3s4ms"},
        {"both", "VDT100", 1, 100, "", "2089-12-31T23:59:59.999", "8912312359599997", ""},
        {"both", "VCHAR100[4]", 1, 100, "", "ok", "6f6b2020", ""},
        {"ppi", "DB1.STRING100[10]", 1, 100, "", "AB", "024142", ""},
    };
    for (const Row &r : rows) {
        for (const char *which : {"s7", "ppi"}) {
            if (QByteArray(r.drivers) != "both" && QByteArray(r.drivers) != which)
                continue;
            const QStringList written = QString::fromUtf8(r.written).split(QLatin1Char('|'));
            const QStringList readBack = *r.readBack ? QString::fromUtf8(r.readBack).split(QLatin1Char('|')) : written;
            QTest::addRow("%s %s %s", which, r.address, r.written)
                << QString::fromLatin1(which) << QString::fromLatin1(r.address) << r.db << r.byte
                << QByteArray::fromHex(r.before) << written << QByteArray::fromHex(r.after) << readBack;
        }
    }
}

void TestAddressPlaces::texts()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(int, db);
    QFETCH(int, byte);
    QFETCH(QByteArray, before);
    QFETCH(QStringList, written);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, readBack);
    CDriveBaseClass *drv = driver(which);
    PlcMemory &plc = memory(which);
    QVERIFY(plc.write(DB, db, byte, before));
    QStringList expected;
    const QByteArray old = before.leftJustified(after.size(), '\0');
    for (int i = 0; i < after.size(); ++i) {
        if (old.at(i) != after.at(i))
            expected << change(DB, db, byte + i, quint8(after.at(i)));
    }
    const QHash<quint32, QByteArray> image = plc.contents();
    const CLabelVariable w = drv->WriteVariable(address, String, valueOf(QList<QString>(written)), written.size());
    QCOMPARE(w.resultCode, 0);
    QCOMPARE(changes(image, plc.contents()), expected);
    const CLabelVariable r = drv->ReadVariable(address, String, written.size());
    QCOMPARE(r.resultCode, 0);
    QCOMPARE(r.value.value<QList<QString>>(), QList<QString>(readBack));
}

// Text requests refused: a write before anything is written (a header read aside), a read of
// bytes that hold no value of the type (7), and today's String behaviour at today's notation.
void TestAddressPlaces::textRefused_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("stored");     // at DB5.DBB20 (s7) or VB100 (ppi)
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("talks");            // a header read (or today's request) may go out
    struct Row {
        const char *drivers;
        bool write;
        const char *address;
        const char *texts;
        const char *stored;
        int code;
        bool talks;
    };
    const Row rows[] = {
        {"both", true, "VSTRING100", "A", "", 3, false},
        {"both", true, "VSTRING100[3]", "ABCD", "", 4, false},
        {"both", true, "VCHAR100[2]", "ABC", "", 4, false},
        {"both", true, "VDT100", "2090-01-01T00:00:00.000", "", 2, false},
        {"both", true, "VTIME100", "soon", "", 2, false},
        {"both", true, "VCHAR100", "A", "", 3, false},
        {"both", false, "VCHAR100", "", "", 3, false},
        {"s7", false, "DB5.STRING65535", "", "", 5, false},
        {"s7", true, "DB5.WSTRING65533", "A", "", 5, false},
        {"s7", true, "DB5.STRING20[4]", "Hello", "", 4, false},
        {"s7", true, "DB5.STRING20[10]", "\xf0\x9f\x98\x80", "", 2, false},
        {"s7", true, "DB5.S5TIME20", "S5T#10s5ms", "", 2, false},
        {"s7", true, "DB5.WSTRING20[4]", "\xf0\x9f\x98\x80", "", 2, false},
        {"s7", true, "DB5.STRING20", "Hello", "04", 4, true},
        {"s7", false, "DB5.STRING20[4]", "", "0409414243440000", 7, true},
        {"s7", false, "DB5.STRING20", "", "0405414243440000", 7, true},
        {"s7", false, "DB5.DT20", "", "2613092304051234", 7, true},
        {"ppi", false, "VSTRING100[3]", "", "04414243440000", 7, true},
        // Today's notation: String ends with 2, as it always has.
        {"both", false, "DB5.DBW20", "", "", 2, true},
        {"both", true, "DB5.DBW20", "A", "", 2, true},
    };
    for (const Row &r : rows) {
        for (const char *which : {"s7", "ppi"}) {
            if (QByteArray(r.drivers) != "both" && QByteArray(r.drivers) != which)
                continue;
            QTest::addRow("%s %s %s %s", which, r.write ? "write" : "read", r.address, r.texts)
                << QString::fromLatin1(which) << r.write << QString::fromLatin1(r.address)
                << QString::fromUtf8(r.texts).split(QLatin1Char('|')) << QByteArray::fromHex(r.stored) << r.code
                << r.talks;
        }
    }
}

void TestAddressPlaces::textRefused()
{
    QFETCH(QString, which);
    QFETCH(bool, write);
    QFETCH(QString, address);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, stored);
    QFETCH(int, code);
    QFETCH(bool, talks);
    CDriveBaseClass *drv = driver(which);
    PlcMemory &plc = memory(which);
    QVERIFY(plc.write(DB, which == QLatin1String("s7") ? 5 : 1, which == QLatin1String("s7") ? 20 : 100, stored));
    const auto request = [&] {
        return write ? drv->WriteVariable(address, String, valueOf(QList<QString>(texts)), texts.size())
                     : drv->ReadVariable(address, String, 1);
    };
    if (!talks) {
        expectNothingSent(which, request, code);
        return;
    }
    const QHash<quint32, QByteArray> before = plc.contents();
    const CLabelVariable result = request();
    QCOMPARE(result.resultCode, code);
    QCOMPARE(changes(before, plc.contents()), QStringList());
}

// The connection text's charset= field chooses the code page of STRING and S7-200 strings; gbk
// when it names none; a name no codec knows refuses the connection.
void TestAddressPlaces::codePageOfConnection_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored");     // at DB5.DBB20 (s7) or VB100 (ppi), max byte preset
    QTest::addColumn<int>("connected");
    const QString groesse = QString::fromUtf8("Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac");
    const QString nihao = QString::fromUtf8("\xe4\xbd\xa0\xe5\xa5\xbd");
    QTest::newRow("s7 windows-1252") << "s7" << ",charset=windows-1252" << "DB5.STRING20[10]" << groesse
                                     << QByteArray::fromHex("0a074772f6df652080") << 0;
    QTest::newRow("s7 gbk by default") << "s7" << "" << "DB5.STRING20[10]" << nihao
                                       << QByteArray::fromHex("0a04c4e3bac3") << 0;
    QTest::newRow("s7 unknown") << "s7" << ",charset=klingon" << "" << "" << QByteArray() << -1;
    QTest::newRow("ppi windows-1252") << "ppi" << ",Charset=windows-1252" << "VSTRING100[10]" << groesse
                                      << QByteArray::fromHex("074772f6df652080") << 0;
    QTest::newRow("ppi utf-8") << "ppi" << ",charset=utf-8" << "VSTRING100[10]" << nihao
                               << QByteArray::fromHex("06e4bda0e5a5bd") << 0;
    QTest::newRow("ppi unknown") << "ppi" << ",charset=klingon" << "" << "" << QByteArray() << -1;
}

void TestAddressPlaces::codePageOfConnection()
{
    QFETCH(QString, which);
    QFETCH(QString, field);
    QFETCH(QString, address);
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    QFETCH(int, connected);
    const bool s7 = which == QLatin1String("s7");
    Korvane korvane;
    Pellimor pellimor;
    pellimor.SetConnectPar(QStringLiteral("2"));
    // The PPI gateway serves one client: the table's driver steps aside meanwhile.
    if (!s7)
        plcs.driver(which)->DisConnectDrive();
    CDriveBaseClass *drv = s7 ? static_cast<CDriveBaseClass *>(&korvane) : &pellimor;
    const int port = s7 ? plcs.sim.port : plcs.gateway->port();
    QCOMPARE(drv->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(port) + field), connected);
    if (connected == 0) {
        const int db = s7 ? 5 : 1, byte = s7 ? 20 : 100;
        QVERIFY(memory(which).write(DB, db, byte, stored.left(s7 ? 1 : 0)));
        QCOMPARE(drv->WriteVariable(address, String, valueOf(QList<QString>{text}), 1).resultCode, 0);
        QByteArray now;
        QVERIFY(memory(which).read(DB, db, byte, stored.size(), &now));
        QCOMPARE(now.toHex(), stored.toHex());
        const CLabelVariable r = drv->ReadVariable(address, String, 1);
        QCOMPARE(r.resultCode, 0);
        QCOMPARE(r.value.value<QList<QString>>(), QList<QString>{text});
    }
    drv->DisConnectDrive();
    if (!s7)
        QCOMPARE(plcs.driver(which)->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(port)), 0);
}

QTEST_GUILESS_MAIN(TestAddressPlaces)
#include "tst_address_places.moc"
