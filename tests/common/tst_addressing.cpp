#include <QtTest>

#include "AddressGrammar.h"
#include "TextAddress.h"

using namespace AddressGrammar;
Q_DECLARE_METATYPE(AddressGrammar::Form)

class TstAddressing : public QObject
{
    Q_OBJECT
private slots:
    void parsers_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("db");       // S7
        QTest::addColumn<int>("ppiDb");    // a plain V address is data block 1
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("bit");
        auto row = [](const char *a, int area, int db, int ppiDb, int byte, int bit) {
            QTest::newRow(a) << QString::fromLatin1(a) << area << db << ppiDb << byte << bit;
        };
        row("I0.3", 0x81, 0, 0, 0, 3);
        row("i0.3", 0x81, 0, 0, 0, 3);
        row("Q1", 0x82, 0, 0, 1, 0);
        row("M10.7", 0x83, 0, 0, 10, 7);
        row("V100", 0x84, 0, 1, 100, 0);
        row("V100.2", 0x84, 0, 1, 100, 2);
        row("DB5.DBW20", 0x84, 5, 5, 20, 0);
        row("DB5.DBX20.3", 0x84, 5, 5, 20, 3);
        row("db5.dbx20.3", 0x84, 5, 5, 20, 3);
        row("DB5_DBD8", 0x84, 5, 5, 8, 0);
        row("DB5:DBB8", 0x84, 5, 5, 8, 0);
        row("DB5;DBW2", 0x84, 5, 5, 2, 0);
        row("DB100", 0x84, 100, 100, 100, 0);
        row("V_or_DB100", 0x84, 1, 1, 100, 0);
        row("V_or_DB5.20", 0x84, 5, 5, 20, 0);
        row("V_or_DB5.20.3", 0x84, 5, 5, 20, 3);
        row("MW10", 0x83, 0, 0, 0, 0);
        row("M1.2.3", 0x83, 0, 0, 1, 0);
        row("M-5", 0x83, 0, 0, -5, 0);
        row("X5", 0, 0, 0, -1, 0);
        row("DB5_DBX2.3", 0x84, 0, 0, 0, 0);
        row("DB5.DBX20.12", 0x84, 5, 5, 0, 12);
        // A V_or_DB text has a bit only in its ".b" form.
        row("V_or_DB1.101", 0x84, 1, 1, 101, 0);
        row("V_or_DB12349", 0x84, 1, 1, 12349, 0);
        row("V_or_DB5.209", 0x84, 5, 5, 209, 0);
        row("V_or_DB15.27", 0x84, 15, 15, 27, 0);
        row("", 0, 0, 0, -1, 0);
    }
    void parsers()
    {
        QFETCH(QString, address);
        QTEST(area(address), "area");
        QTEST(dbNumber(address, false), "db");
        QTEST(dbNumber(address, true), "ppiDb");
        QTEST(byteAddress(address), "byte");
        QTEST(bitNumber(address), "bit");
    }

    void byteLength_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("bytes");
        const qint64 big = 2147483647;
        const qint64 rows[][3] = {{1, 0, 0}, {1, 1, 1}, {1, 8, 1}, {1, 9, 2}, {2, 3, 3}, {3, 1, 1},
                                  {4, 3, 6}, {5, 1, 2}, {6, 2, 8}, {7, 1, 4}, {8, 1, 4}, {9, 1, 8},
                                  {10, 2, 16}, {11, 3, 24}, {0, 5, 0}, {12, 5, 0}, {13, 5, 0},
                                  // Counts near 2^31 do not wrap.
                                  {1, big, 268435456}, {3, big, big}, {5, big, 4294967294},
                                  {8, 1610612736, 6442450944}, {11, big, 17179869176}};
        for (const auto &r : rows)
            QTest::addRow("type %lld count %lld", r[0], r[1]) << int(r[0]) << r[1] << r[2];
    }
    void byteLength()
    {
        QFETCH(int, type);
        QFETCH(qint64, count);
        QTEST(AddressGrammar::byteLength(type, count), "bytes");
    }

    // The place a text names, as a person reads it; every number comes from its own part of
    // the text.
    void parse_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<AddressGrammar::Form>("form");
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("db");
        QTest::addColumn<qint64>("byte");
        QTest::addColumn<int>("bit");
        QTest::addColumn<bool>("hasBit");
        auto ok = [](const QString &a, int area, int db, qint64 byte, int bit = -1) {
            QTest::newRow(qPrintable(a)) << a << Form::WellFormed << area << db << byte << qMax(bit, 0)
                                         << (bit >= 0);
        };
        ok("I0.3", 0x81, 0, 0, 3);
        ok("i0.3", 0x81, 0, 0, 3);
        ok("Q1", 0x82, 0, 1);
        ok("M10.7", 0x83, 0, 10, 7);
        ok("M010", 0x83, 0, 10);
        ok("V100", 0x84, 1, 100);
        ok("V100.2", 0x84, 1, 100, 2);
        ok("DB5.DBW20", 0x84, 5, 20);
        ok("DB5.DBX20.3", 0x84, 5, 20, 3);
        ok("db5.dbx20.3", 0x84, 5, 20, 3);
        ok("DB5.DBW20.3", 0x84, 5, 20, 3);
        ok("DB5_DBD8", 0x84, 5, 8);
        ok("DB5:DBB8", 0x84, 5, 8);
        ok("DB5;DBW2", 0x84, 5, 2);
        ok("DB100", 0x84, 100, 100);
        ok("DB65535.DBW0", 0x84, 65535, 0);
        ok("V_or_DB100", 0x84, 1, 100);
        ok("V_or_DB5.20", 0x84, 5, 20);
        ok("V_or_DB5_20", 0x84, 5, 20);
        ok("v_OR_db5;20", 0x84, 5, 20);
        ok("V_or_DB5.20.3", 0x84, 5, 20, 3);
        ok("V_or_DB12349", 0x84, 1, 12349);
        ok("V_or_DB5.209", 0x84, 5, 209);
        ok("V_or_DB15.27", 0x84, 15, 27);
        ok("V_or_DB1.101", 0x84, 1, 101);
        // A size letter is read as the plain form.
        ok("MW10", 0x83, 0, 10);
        ok("mb10", 0x83, 0, 10);
        ok("VB100", 0x84, 1, 100);
        ok("QD4", 0x82, 0, 4);
        ok("IX0.3", 0x81, 0, 0, 3);
        // Numbers past every area stay past it, however long.
        ok("M536871012", 0x83, 0, 536871012);
        ok("M5368710120", 0x83, 0, 5368710120);
        ok("V999999999", 0x84, 1, 999999999);
        ok("DB5.DBW4294967296", 0x84, 5, 4294967296);
        ok("V_or_DB5.18446744073709551617", 0x84, 5, HugeNumber);
        ok("M" + QString(40, QLatin1Char('9')), 0x83, 0, HugeNumber);
        // Special memory and the periphery as M; analog words; timers and counters by number.
        ok("SMB28", 0x05, 0, 28);
        ok("sm0.5", 0x05, 0, 0, 5);
        ok("SMW22", 0x05, 0, 22);
        ok("SMX1.7", 0x05, 0, 1, 7);
        ok("AIW0", 0x06, 0, 0);
        ok("AEW4", 0x06, 0, 4);
        ok("aqw2", 0x07, 0, 2);
        ok("AAW6", 0x07, 0, 6);
        ok("T37", 0x1D, 0, 37);
        ok("t5", 0x1D, 0, 5);
        ok("C5", 0x1C, 0, 5);
        ok("Z5", 0x1C, 0, 5);
        ok("PIW256", 0x80, 0, 256);
        ok("PEB0", 0x80, 0, 0);
        ok("PID256", 0x80, 0, 256);
        ok("PQW256", 0x80, 0, 256);
        ok("PAD4", 0x80, 0, 4);
        ok("PI0.3", 0x80, 0, 0, 3);
        QTest::newRow("M-5") << "M-5" << Form::WellFormed << 0x83 << 0 << qint64(-5) << 0 << false;
        QTest::newRow("M-0") << "M-0" << Form::WellFormed << 0x83 << 0 << qint64(-1) << 0 << false;

        // Refused texts: only the form counts.
        auto refused = [](const QString &a, Form form) {
            QTest::newRow(qPrintable(a.isEmpty() ? QStringLiteral("empty") : a))
                << a << form << 0 << 0 << qint64(0) << 0 << false;
        };
        refused("X5", Form::NoArea);
        for (const char *a : {"T", "T5.1", "C-5", "Z5W", "AW0", "AXW0", "S0.1", "HC0"})
            refused(QString::fromLatin1(a), Form::NoArea);
        refused("", Form::NoArea);
        for (const char *a : {"DB5_DBX2.3", "DB5.DBX20.12", "M1.2.3", "M10.8", "M10.x", "I0.3.5",
                              "DB5.DBW", "M", "MWX10", "V_or_DB5.20.9", "V_or_DB5_20.3", "IX0",
                              "MW10.2", " M10", "M10 ", "M10\n", "DB5.DBQ2", "DB65536.DBW0", "DB70000",
                              "V_or_DB70000.2", "DB5.DBW-2", "V_or_DB-1.2",
                              "SMW22.1", "AIW0.1", "AIB0", "PIW256.0", "PQX0", "SMB-1",
                              // No PLC has data block 0.
                              "DB0.DBW2", "DB0", "DB00.DBX1.1", "V_or_DB0.20", "V_or_DB0.20.1"})
            refused(QString::fromLatin1(a), Form::Malformed);
        // Digits of other scripts are not numbers of the notation.
        refused(QStringLiteral("M\u0661\u0660"), Form::Malformed);
        refused(QStringLiteral("DB\uff15.DBW2"), Form::Malformed);
    }
    void parse()
    {
        QFETCH(QString, address);
        const Address a = AddressGrammar::parse(address);
        QTEST(a.form, "form");
        if (a.form != Form::WellFormed)
            return;
        QTEST(a.area, "area");
        QTEST(a.dbNumber, "db");
        QTEST(a.byteAddress, "byte");
        QTEST(a.bitNumber, "bit");
        QTEST(a.hasBit, "hasBit");
        // Only PQ/PA is the periphery's output side.
        QCOMPARE(a.peripheralOutput, address.startsWith(QLatin1String("PQ")) || address.startsWith(QLatin1String("PA")));
    }

    // The text and time forms (DataType String): the layout, the place, the declared length, and
    // the span an array of them covers. strings200: the PPI driver, where STRING is the S7-200's.
    void textForms_data()
    {
        using L = TextAddress::Layout;
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("strings200");
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("malformed");
        QTest::addColumn<int>("db");
        QTest::addColumn<qint64>("byte");
        QTest::addColumn<int>("declared");
        QTest::addColumn<qint64>("elementBytes");
        QTest::addColumn<qint64>("stride");
        const auto row = [](const char *a, bool s200, L l, bool bad, int db, qint64 byte, int n, qint64 bytes, qint64 stride) {
            QTest::addRow("%s%s", a, s200 ? " ppi" : "") << QString::fromLatin1(a) << s200 << int(l) << bad << db << byte
                                                          << n << bytes << stride;
        };
        row("DB5.STRING20[30]", false, L::String, false, 5, 20, 30, 32, 32);
        row("db5.string20[9]", false, L::String, false, 5, 20, 9, 11, 12);
        row("DB5.STRING20", false, L::String, false, 5, 20, -1, 0, 0);
        row("DB5.STRING20[30]", true, L::String200, false, 5, 20, 30, 31, 31);
        row("DB5.WSTRING20[30]", false, L::WString, false, 5, 20, 30, 64, 64);
        row("DB5.CHAR20[10]", false, L::Char, false, 5, 20, 10, 10, 10);
        row("DB5.CHAR20[9]", false, L::Char, false, 5, 20, 9, 9, 9);
        row("DB5.WCHAR20[10]", false, L::WChar, false, 5, 20, 10, 20, 20);
        row("VSTRING100[20]", false, L::String200, false, 1, 100, 20, 21, 21);
        row("vstring100", false, L::String200, false, 1, 100, -1, 0, 0);
        row("DB5.DT20", false, L::DateAndTime, false, 5, 20, -1, 8, 8);
        row("VDT100", false, L::DateAndTime, false, 1, 100, -1, 8, 8);
        row("DB5.DTL20", false, L::Dtl, false, 5, 20, -1, 12, 12);
        row("DB5.DATE20", false, L::Date, false, 5, 20, -1, 2, 2);
        row("DB5.TOD20", false, L::TimeOfDay, false, 5, 20, -1, 4, 4);
        row("DB5.TIME20", false, L::Time, false, 5, 20, -1, 4, 4);
        row("DB5.S5TIME20", false, L::S5Time, false, 5, 20, -1, 2, 2);
        // Lengths no such type has, a CHAR array without its length, data block 0.
        row("DB5.STRING20[255]", false, L::String, true, 5, 20, 255, 257, 258);
        row("DB5.STRING20[0]", false, L::String, true, 5, 20, 0, 2, 2);
        row("DB5.CHAR20", false, L::Char, true, 5, 20, -1, 0, 0);
        row("DB5.DT20[2]", false, L::DateAndTime, true, 5, 20, 2, 8, 8);
        row("DB0.STRING20[2]", false, L::String, true, 0, 20, 2, 4, 4);
        // Today's notation and texts outside both: no text form.
        row("DB5.DBW20", false, L::None, false, 0, 0, -1, 0, 0);
        row("DB5.STRING", false, L::None, false, 0, 0, -1, 0, 0);
        row("DB5.STRING20[]", false, L::None, false, 0, 0, -1, 0, 0);
        row("M10", false, L::None, false, 0, 0, -1, 0, 0);
    }
    void textForms()
    {
        QFETCH(QString, address);
        QFETCH(bool, strings200);
        QFETCH(int, declared);
        const TextAddress::Address a = TextAddress::parse(address, strings200);
        QTEST(int(a.layout), "layout");
        QTEST(a.malformed, "malformed");
        if (a.layout == TextAddress::Layout::None)
            return;
        QCOMPARE(a.area, 0x84);
        QTEST(a.dbNumber, "db");
        QTEST(a.byteAddress, "byte");
        QCOMPARE(a.declared, declared);
        if (declared >= 0 || !TextAddress::hasLength(a.layout)) {
            QTEST(TextAddress::elementBytes(a.layout, declared), "elementBytes");
            QTEST(TextAddress::stride(a.layout, declared), "stride");
        }
    }
};

QTEST_MAIN(TstAddressing)
#include "tst_addressing.moc"
