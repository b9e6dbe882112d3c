#include <QtTest>

#include "AddressGrammar.h"

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
        row("V_or_DB1.101", 0x84, 1, 1, 101, 1);
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
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("bytes");
        const int rows[][3] = {{1, 0, 0}, {1, 1, 1}, {1, 8, 1}, {1, 9, 2}, {2, 3, 3}, {3, 1, 1},
                               {4, 3, 6}, {5, 1, 2}, {6, 2, 8}, {7, 1, 4}, {8, 1, 4}, {9, 1, 8},
                               {10, 2, 16}, {11, 3, 24}, {0, 5, 0}, {12, 5, 0}, {13, 5, 0}};
        for (const auto &r : rows)
            QTest::addRow("type %d count %d", r[0], r[1]) << r[0] << r[1] << r[2];
    }
    void byteLength()
    {
        QFETCH(int, type);
        QFETCH(int, count);
        QTEST(AddressGrammar::byteLength(type, count), "bytes");
    }

    void classify_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<AddressGrammar::Form>("form");
        QTest::addColumn<QString>("canonical");
        const Form ok = Form::WellFormed, bad = Form::Malformed, none = Form::NoArea;
        auto row = [](const char *a, Form f, const char *canonical = nullptr) {
            QTest::newRow(*a ? a : "empty") << QString::fromLatin1(a) << f
                                            << QString::fromLatin1(canonical ? canonical : a);
        };
        for (const char *a : {"I0.3", "i0.3", "Q1", "M10.7", "V100", "V100.2", "M-5", "DB5.DBW20",
                              "DB5.DBX20.3", "db5.dbx20.3", "DB5_DBD8", "DB5:DBB8", "DB5;DBW2",
                              "DB100", "DB65535.DBW0", "V_or_DB100", "V_or_DB5.20", "V_or_DB5_20", "V_or_DB5.20.3"})
            row(a, ok);
        row("MW10", ok, "M10");
        row("VB100", ok, "V100");
        row("QD4", ok, "Q4");
        row("IX0.3", ok, "I0.3");
        row("mb10", ok, "m10");
        row("X5", none);
        row("", none);
        for (const char *a : {"DB5_DBX2.3", "DB5.DBX20.12", "M1.2.3", "M10.8", "M10.x", "I0.3.5",
                              "DB5.DBW", "M", "MWX10", "V_or_DB5.20.9", "IX0", "MW10.2", " M10",
                              "M10 ", "M10\n", "DB5.DBQ2", "M12345678901", "DB65536.DBW0",
                              "DB70000", "V_or_DB70000.2"})
            row(a, bad);
    }
    void classify()
    {
        QFETCH(QString, address);
        QString canonical;
        QTEST(AddressGrammar::classify(address, &canonical), "form");
        QTEST(canonical, "canonical");
    }
};

QTEST_MAIN(TstAddressing)
#include "tst_addressing.moc"
