// drvhost's command line and the statistics of its --repeat summary. The program against the
// simulator is checked by drvhost_commissioning.sh.
#include <QtTest>

#include "CallSummary.h"
#include "CommandLine.h"

class TestDrvhost : public QObject
{
    Q_OBJECT

private slots:
    void refusedCommandLines_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("error");
        const QString help = QStringLiteral(" (drvhost --help shows how to call it)");
        QTest::newRow("unknown option") << "p.so --frobnicate read M0 UInt8" << "unknown option '--frobnicate'" + help;
        QTest::newRow("single dash") << "p.so -x" << "unknown option '-x'" + help;
        QTest::newRow("option without value") << "p.so read M0 UInt8 --connect" << "--connect wants a value" + help;
        QTest::newRow("no plug-in") << "--connect 1.2.3.4:102" << "no plug-in file given" + help;
        QTest::newRow("unknown operation") << "p.so fetch M0 UInt8" << "unknown operation 'fetch' (read or write)" + help;
        QTest::newRow("unknown type") << "p.so read M0 Int17"
            << "unknown type 'Int17' (one of Bool Int8 UInt8 Int16 UInt16 Int32 UInt32 Float Int64 UInt64 Double String, or 1 to 12)";
        QTest::newRow("type 13 is no driver type") << "p.so read M0 13"
            << "unknown type '13' (one of Bool Int8 UInt8 Int16 UInt16 Int32 UInt32 Float Int64 UInt64 Double String, or 1 to 12)";
        QTest::newRow("read without type") << "p.so read M0" << "read wants ADDRESS TYPE [COUNT]";
        QTest::newRow("write without values") << "p.so write M0 UInt8" << "write wants ADDRESS TYPE V1,V2,...";
        QTest::newRow("value too large") << "p.so write M0 UInt8 1,256" << "write M0 UInt8: not a value of this type: 256";
        QTest::newRow("count past int") << "p.so read M0 UInt8 99999999999" << "not an element count: '99999999999'";
        QTest::newRow("repeat 0") << "p.so --repeat 0" << "--repeat wants a whole number from 1 to 1000000, not '0'";
        QTest::newRow("repeat too many") << "p.so --repeat 1000001" << "--repeat wants a whole number from 1 to 1000000, not '1000001'";
        QTest::newRow("repeat wraps int") << "p.so --repeat 4294967297" << "--repeat wants a whole number from 1 to 1000000, not '4294967297'";
        QTest::newRow("repeat not a number") << "p.so --repeat ten" << "--repeat wants a whole number from 1 to 1000000, not 'ten'";
        QTest::newRow("negative interval") << "p.so --interval -5" << "--interval wants milliseconds from 0 to 3600000, not '-5'";
    }

    void refusedCommandLines()
    {
        QFETCH(QString, args);
        QFETCH(QString, error);
        CommandLine cmd;
        QString got;
        QVERIFY(!parseCommandLine(args.split(QLatin1Char(' ')), &cmd, &got));
        QCOMPARE(got, error);
        QVERIFY(!got.contains(QLatin1Char('\n')));
    }

    void acceptedCommandLine()
    {
        CommandLine cmd;
        QString error;
        const QStringList args = {"libKorvane.so.1", "--connect", "192.0.2.10:102", "--repeat", "1000",
                                  "read", "DB5.DBW20", "int16", "2", "--interval", "100", "write", "M10",
                                  "UInt8", "7,8,9", "read", "V100", "8", "--station", "2", "--debug",
                                  "write", "VB300", "Int8", "-5"};
        QVERIFY2(parseCommandLine(args, &cmd, &error), qPrintable(error));
        QCOMPARE(cmd.plugin, QStringLiteral("libKorvane.so.1"));
        QCOMPARE(cmd.connectText, QStringLiteral("192.0.2.10:102"));
        QCOMPARE(cmd.station, QStringLiteral("2"));
        QCOMPARE(cmd.repeat, 1000);
        QCOMPARE(cmd.intervalMs, 100);
        QVERIFY(cmd.debug);
        QCOMPARE(cmd.operations.size(), 4);
        QCOMPARE(cmd.operations.at(0).label(), QStringLiteral("read DB5.DBW20 Int16 x2"));
        QCOMPARE(cmd.operations.at(1).label(), QStringLiteral("write M10 UInt8 x3"));
        QCOMPARE(cmd.operations.at(1).value.value.value<QList<unsigned char>>(), (QList<unsigned char>{7, 8, 9}));
        // A type number without a count: the count is 1.
        QCOMPARE(cmd.operations.at(2).label(), QStringLiteral("read V100 Float x1"));
        // A negative value after "write ADDR TYPE" is a value, not an option.
        QCOMPARE(cmd.operations.at(3).value.value.value<QList<char>>(), QList<char>{char(0xFB)});

        // String: one argument, its texts separated by "|", commas kept.
        QVERIFY(parseCommandLine({"libKorvane.so.1", "write", "DB5.STRING20[30]", "String", "a,b|c"}, &cmd, &error));
        QCOMPARE(cmd.operations.at(0).label(), QStringLiteral("write DB5.STRING20[30] String x2"));
        QCOMPARE(cmd.operations.at(0).value.value.value<QList<QString>>(), (QList<QString>{"a,b", "c"}));

        QVERIFY(parseCommandLine({"libKorvane.so.1", "read", "M0", "UInt8"}, &cmd, &error));
        QCOMPARE(cmd.repeat, 0);    // no --repeat: one run and no summary
        QVERIFY(parseCommandLine({"nothing.so", "--frobnicate", "--help"}, &cmd, &error));
        QVERIFY(cmd.help);
    }

    void statistics()
    {
        CallStats odd(QStringLiteral("read M0 UInt8 x1"));
        for (qint64 ns : {5000000, 1000000, 3000000, 9000000, 2000000})
            odd.record(0, ns);
        QCOMPARE(odd.calls(), 5);
        QCOMPARE(odd.minimum(), qint64(1000000));
        QCOMPARE(odd.median(), qint64(3000000));
        QCOMPARE(odd.maximum(), qint64(9000000));
        QCOMPARE(odd.failed(), 0);

        // An even number of calls: the mean of the two middle times.
        CallStats even;
        even.record(8, 2000000000);
        even.record(0, 100000);
        even.record(8, 2000500000);
        even.record(0, 300000);
        QCOMPARE(even.median(), qint64(1000150000));
        QCOMPARE(even.failed(), 2);

        QCOMPARE(CallStats().median(), qint64(0));
    }

    void summaryTable()
    {
        CallStats ok(QStringLiteral("read DB5.DBW20 Int16 x2"));
        ok.record(0, 250000);
        ok.record(0, 150000);
        ok.record(0, 200000);
        CallStats mixed(QStringLiteral("write M10 UInt8 x3"));
        mixed.record(9, 10000);
        mixed.record(0, 400000);
        mixed.record(8, 2001000000);
        RunTotals totals;
        totals.roundsAsked = 3;
        totals.roundsDone = 3;
        totals.intervalMs = 100;
        totals.elapsedMs = 2400;

        const QString text = summaryText({ok, mixed}, totals);
        QCOMPARE(text,
                 QStringLiteral(
                     "summary  3 rounds in 2.40 s, interval 100 ms\n"
                     "operation                  calls     min ms  median ms     max ms  results\n"
                     "read DB5.DBW20 Int16 x2        3      0.150      0.200      0.250  0 ok: 3\n"
                     "write M10 UInt8 x3             3      0.010      0.400   2001.000  0 ok: 1, 8 no answer: 1, 9 link not up: 1\n"
                     "2 of 6 calls failed\n"));

        totals.roundsDone = 2;
        QVERIFY(summaryText({ok}, totals).startsWith(QStringLiteral("summary  2 of 3 rounds (interrupted) in")));
        QVERIFY(summaryText({ok}, totals).endsWith(QStringLiteral("\nall 3 calls succeeded\n")));
    }
};

QTEST_GUILESS_MAIN(TestDrvhost)
#include "tst_drvhost.moc"
