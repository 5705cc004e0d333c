// Statistics of the readings against worked examples, exact with the digits
// the balance sent, and the repeatability check.
#include "readings/ReadingStats.h"

#include <QtTest>

using namespace ondril;

namespace {

SentValue sent(const char *text)
{
    return decodeReply(QByteArray("+ ") + text + " g").value;
}

} // namespace

class TestReadingStats : public QObject {
    Q_OBJECT
private slots:
    void shouldMatchAWorkedExample()
    {
        // 100.00, 100.01, 99.99, 100.02, 99.98: mean 100, squares of the
        // offsets 0 + 1 + 1 + 4 + 4 (in 0.0001), s = sqrt(0.0010 / 4).
        ReadingStats stats;
        for (const char *v : {"100.00", "100.01", "99.99", "100.02", "99.98"})
            stats.add(sent(v), true);
        stats.add(sent("100.000"), false); // a finer digit: the sums follow it
        QCOMPARE(stats.count(), 6);
        QCOMPARE(stats.mean(), 100.0);
        QVERIFY(qAbs(stats.standardDeviation() - std::sqrt(0.0010 / 5)) < 1e-12);
        QCOMPARE(stats.minimum()->toDouble(), 99.98);
        QCOMPARE(stats.maximum()->toDouble(), 100.02);
        QVERIFY(qAbs(stats.range() - 0.04) < 1e-12);
        QCOMPARE(stats.stableShare(), 5.0 / 6.0);
        QVERIFY(stats.exact());
    }

    void shouldStayExactForMillionsOfReadings()
    {
        // Two million readings around 200 g, alternately 0.001 g above and below:
        // a running sum of doubles would drift, the exact sums do not.
        ReadingStats stats;
        for (int i = 0; i < 2'000'000; ++i)
            stats.add({i % 2 ? 200'001 : 199'999, 3}, true);
        QCOMPARE(stats.mean(), 200.0);
        QVERIFY(qAbs(stats.standardDeviation() - 0.001 * std::sqrt(2'000'000.0 / 1'999'999.0)) < 1e-15);
    }

    void shouldGoOnWhenTheExactSumsWouldOverflow()
    {
        // Offsets near 10^18: their squares fill 128 bits after a few hundred.
        ReadingStats stats;
        constexpr qint64 big = 999'999'999'999'999'998;
        for (int i = 0; i < 1000; ++i)
            stats.add({i % 2 ? big : 0, 0}, true);
        QVERIFY(!stats.exact());
        QVERIFY(qAbs(stats.mean() / (big / 2.0) - 1) < 1e-12);
        QVERIFY(qAbs(stats.standardDeviation() / (big / 2.0 * std::sqrt(1000.0 / 999.0)) - 1) < 1e-12);
        QCOMPARE(stats.maximum()->mantissa, big);
    }

    void shouldKeepTheSpreadWhereOnlyItsLastStepWouldOverflow()
    {
        // One reading with twelve decimals makes every later one a big
        // number of picograms: the sums still fit, n·Σx² does not.
        ReadingStats stats;
        stats.add({1'000'000'000'000'001, 12}, true); // 1000.000000000001
        for (int i = 0; i < 2000; ++i)
            stats.add({i % 2 ? 200'000 : 100'000, 0}, true);
        QVERIFY(stats.exact());
        QVERIFY2(qAbs(stats.standardDeviation() / 50110.8266996638 - 1) < 1e-9, qPrintable(QString::number(stats.standardDeviation())));
        QVERIFY(!repeatability(stats.standardDeviation(), 150'000, 1).passes);
    }

    void shouldCheckRepeatability_data()
    {
        QTest::addColumn<double>("s");
        QTest::addColumn<double>("nominal");
        QTest::addColumn<double>("d");
        QTest::addColumn<double>("percent");
        QTest::addColumn<bool>("passes");
        QTest::newRow("well within") << 0.01 << 100.0 << 0.01 << 0.02 << true;
        QTest::newRow("s below 0.41 d counts as 0.41 d") << 0.0 << 10.0 << 0.01 << 0.082 << true;
        QTest::newRow("too much scatter") << 0.06 << 100.0 << 0.01 << 0.12 << false;
        QTest::newRow("no nominal") << 0.01 << 0.0 << 0.01 << 0.0 << false;
    }
    void shouldCheckRepeatability()
    {
        QFETCH(double, s);
        QFETCH(double, nominal);
        QFETCH(double, d);
        QFETCH(double, percent);
        QFETCH(bool, passes);
        const Repeatability r = repeatability(s, nominal, d);
        QVERIFY(qAbs(r.percent - percent) < 1e-9);
        QCOMPARE(r.passes, passes);
    }
};

QTEST_APPLESS_MAIN(TestReadingStats)
#include "tst_readingstats.moc"
