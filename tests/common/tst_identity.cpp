#include <QtTest>

#include "DriverIdentity.h"

class TstIdentity : public QObject
{
    Q_OBJECT
private slots:
    void buildDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("one-digit day") << "Dec  7 2026" << QDate(2026, 12, 7);
        QTest::newRow("two-digit day") << "Dec 18 2023" << QDate(2023, 12, 18);
        QTest::newRow("not a date") << "Foo 18 2023" << QDate();
        QTest::newRow("no such day") << "Feb 30 2024" << QDate();
    }
    void buildDate()
    {
        QFETCH(QString, text);
        QTEST(DriverIdentity::parseBuildDate(text), "date");
    }

    void debugCommand_data()
    {
        QTest::addColumn<int>("cmd");
        QTest::addColumn<bool>("flagBefore");
        QTest::addColumn<QString>("answer");   // "version" stands for the version text
        QTest::addColumn<bool>("flagAfter");
        QTest::newRow("start") << 0 << false << "StartDebug" << true;
        QTest::newRow("start twice") << 0 << true << "StartDebug" << true;
        QTest::newRow("stop") << 1 << true << "StopDebug" << false;
        QTest::newRow("version") << 2 << true << "version" << true;
        QTest::newRow("drive name") << 3 << false << "Siemens_S7" << false;
        QTest::newRow("4") << 4 << true << QString() << true;
        QTest::newRow("-1") << -1 << false << QString() << false;
    }
    void debugCommand()
    {
        QFETCH(int, cmd);
        QFETCH(bool, flagBefore);
        QFETCH(QString, answer);
        const QString tmpl = QStringLiteral("v1.8.4 %1 %2");
        bool flag = flagBefore;
        const QString got = DriverIdentity::debugCommand(cmd, QStringLiteral("Siemens_S7"), DriverIdentity::versionText(tmpl), &flag);
        if (answer == QLatin1String("version")) {
            QVERIFY(QRegularExpression(QStringLiteral("^v1\\.8\\.4 \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")).match(got).hasMatch());
            QCOMPARE(got, DriverIdentity::versionText(tmpl));
            QVERIFY(got.contains(DriverIdentity::buildDate().toString(Qt::ISODate)));
        } else {
            QCOMPARE(got, answer);
            QCOMPARE(got.isNull(), answer.isNull());
        }
        QTEST(flag, "flagAfter");
    }
};

QTEST_MAIN(TstIdentity)
#include "tst_identity.moc"
