// The parse cache in front of the address notation: each text gets its own parse's result, the
// same text is parsed once, memory stays bounded, and a host's reused text buffer cannot change
// what was kept.
#include <QtTest>

#include "ParseCache.h"

namespace {

// A stand-in for the address parse: a result that tells the texts apart, and a count of calls.
struct CountingParse {
    int calls = 0;
    QString operator()(const QString &text)
    {
        ++calls;
        return QStringLiteral("<%1>").arg(text);
    }
};

} // namespace

class TestParseCache : public QObject
{
    Q_OBJECT
private slots:
    void eachTextParsedOnce();
    void boundedInMemory();
    void keptTextIsItsOwn();
};

void TestParseCache::eachTextParsedOnce()
{
    ParseCache<QString> cache;
    CountingParse parse;
    // Texts that differ in case, by one character or by a suffix are different texts.
    const QStringList texts = {QStringLiteral("DB1.DBB0"), QStringLiteral("db1.dbb0"), QStringLiteral("DB1.DBB00"),
                               QStringLiteral("M1"), QStringLiteral("M10"), QStringLiteral("M1 "), QString(),
                               QStringLiteral("V_or_DB5.20.3")};
    for (int round = 0; round < 5; ++round)
        for (const QString &text : texts)
            QCOMPARE(cache.get(text, parse), QStringLiteral("<%1>").arg(text));
    QCOMPARE(parse.calls, texts.size());
}

void TestParseCache::boundedInMemory()
{
    using Cache = ParseCache<QString>;
    Cache cache;
    CountingParse parse;
    for (int i = 0; i < 3 * Cache::Capacity + 17; ++i) {
        const QString text = QStringLiteral("DB%1.DBW0").arg(i);
        QCOMPARE(cache.get(text, parse), QStringLiteral("<%1>").arg(text));
        QVERIFY(cache.size() <= Cache::Capacity);
    }
    // Texts seen before the cache started afresh still get their own result.
    for (int i = 0; i < 3 * Cache::Capacity + 17; i += 97)
        QCOMPARE(cache.get(QStringLiteral("DB%1.DBW0").arg(i), parse), QStringLiteral("<DB%1.DBW0>").arg(i));

    // A text longer than any address is answered but not kept.
    const QString huge(100000, QLatin1Char('M'));
    const int before = cache.size();
    QCOMPARE(cache.get(huge, parse), QStringLiteral("<%1>").arg(huge));
    QCOMPARE(cache.get(huge, parse), QStringLiteral("<%1>").arg(huge));
    QCOMPARE(cache.size(), before);
}

void TestParseCache::keptTextIsItsOwn()
{
    ParseCache<QString> cache;
    CountingParse parse;
    // A host that hands over its own buffer without a copy, then reuses it for the next tag.
    QChar buffer[] = {QLatin1Char('M'), QLatin1Char('1'), QLatin1Char('0')};
    QCOMPARE(cache.get(QString::fromRawData(buffer, 3), parse), QStringLiteral("<M10>"));
    buffer[1] = QLatin1Char('2');
    QCOMPARE(cache.get(QString::fromRawData(buffer, 3), parse), QStringLiteral("<M20>"));
    QCOMPARE(cache.get(QStringLiteral("M10"), parse), QStringLiteral("<M10>"));
    QCOMPARE(cache.get(QStringLiteral("M20"), parse), QStringLiteral("<M20>"));
    QCOMPARE(parse.calls, 2);
}

QTEST_GUILESS_MAIN(TestParseCache)
#include "tst_parsecache.moc"
