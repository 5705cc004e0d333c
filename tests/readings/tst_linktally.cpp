// Every command counted and timed: a reply, a command that got none, a line
// nobody asked for, a line that is no reading, and bytes the collector
// discarded; reply times told back as median, 95th percentile and worst.
#include "readings/LinkTally.h"
#include "readings/ReplyDecoder.h"

#include <QtTest>

using namespace ondril;

namespace {

constexpr qint64 ms = 1'000'000;
const QByteArray reading("     +  152.37 g\r\n");

// A line as the Readings log gives it to the tally: decoded.
void line(LinkTally &tally, QByteArrayView bytes, qint64 at)
{
    tally.lineDecoded(decodeReply(bytes).shape != ReplyShape::NotAReading, at);
}

// Plays a script of events, each "<what><index>@<ms>": c = command sent,
// r = a reading arrives, t = a line of text arrives, s = a reading read at
// that time whose bytes waited since a second before it, d = bytes discarded
// (the number after @ is the count), x = the clock reaches that time.
void play(LinkTally &tally, const QString &script)
{
    for (const QString &event : script.split(u' ', Qt::SkipEmptyParts)) {
        const QChar what = event.at(0);
        const int index = event.mid(1, event.indexOf(u'@') - 1).toInt();
        const qint64 at = event.mid(event.indexOf(u'@') + 1).toLongLong();
        if (what == u'c')
            tally.commandSent(index, at * ms);
        else if (what == u'r')
            line(tally, reading, at * ms);
        else if (what == u't')
            line(tally, "BALANCE READY\r\n", at * ms);
        else if (what == u's')
            tally.lineDecoded(true, at * ms, (at - 1000) * ms);
        else if (what == u'd')
            tally.discarded(at);
        else
            tally.expire(at * ms);
    }
}

} // namespace

class TestLinkTally : public QObject {
    Q_OBJECT
private slots:
    void shouldCountEveryCommandAndLine_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<qint64>>("counts"); // sent, replies, no reply, unasked, not a reading, discarded, late
        QTest::addColumn<double>("medianMs");
        QTest::newRow("a reply") << "c0@0 r@150" << QList<qint64>{1, 1, 0, 0, 0, 0, 0} << 150.0;
        QTest::newRow("none within two seconds") << "c0@0 x@2500 r@2600" << QList<qint64>{1, 0, 1, 1, 0, 0, 0} << 0.0;
        QTest::newRow("the next command came first") << "c0@0 c3@500 r@700" << QList<qint64>{2, 1, 1, 0, 0, 0, 0} << 200.0;
        QTest::newRow("a balance printing by itself") << "r@0 r@100" << QList<qint64>{0, 0, 0, 2, 0, 0, 0} << 0.0;
        QTest::newRow("a reply that is no reading") << "c1@0 t@40" << QList<qint64>{1, 1, 0, 0, 1, 0, 0} << 40.0;
        QTest::newRow("bytes discarded after replies") << "c0@0 r@100 d@12 c0@1000 r@1120 d@3"
                                                       << QList<qint64>{2, 2, 0, 0, 0, 15, 0} << 100.0;
        // A port that never says when bytes come (Wine's on a pseudo-terminal):
        // the reply to the first PRINT is read only with the next command.
        QTest::newRow("a stale reply is no answer") << "c0@0 x@2500 c0@20000 s@20004 r@20150"
                                                     << QList<qint64>{2, 1, 1, 0, 0, 0, 1} << 150.0;
        QTest::newRow("only the first line answers") << "c0@0 r@100 r@110" << QList<qint64>{1, 1, 0, 1, 0, 0, 0} << 100.0;
    }
    void shouldCountEveryCommandAndLine()
    {
        QFETCH(QString, script);
        QFETCH(QList<qint64>, counts);
        QFETCH(double, medianMs);
        LinkTally tally;
        play(tally, script);
        const LinkTally::PerCommand all = tally.total();
        const QList<qint64> got{all.sent, all.replies, all.noReply, tally.unasked(), tally.notAReading(),
                                tally.discardedBytes(), tally.late()};
        QCOMPARE(got, counts);
        QVERIFY2(qAbs(all.times.percentileMs(0.5) - medianMs) <= medianMs * 0.01,
                 qPrintable(QString::number(all.times.percentileMs(0.5))));
    }

    void shouldTellReplyTimesPerCommandAndInAll()
    {
        LinkTally tally;
        // PRINT answered in 1 to 100 ms, TARE always in 300 ms.
        for (int i = 1; i <= 100; ++i) {
            tally.commandSent(0, i * 10'000 * ms);
            line(tally, reading, (i * 10'000 + i) * ms);
        }
        tally.commandSent(4, 2'000'000 * ms);
        line(tally, reading, 2'000'300 * ms);
        const ReplyTimes &print = tally.command(0).times;
        QCOMPARE(print.count(), 100);
        QVERIFY(qAbs(print.percentileMs(0.5) - 50) <= 0.5);
        QVERIFY(qAbs(print.percentileMs(0.95) - 95) <= 0.95);
        QCOMPARE(print.worstMs(), 100.0);
        QCOMPARE(tally.command(4).times.worstMs(), 300.0);
        QCOMPARE(tally.command(4).times.percentileMs(0.5), 300.0); // one reply: the same in every column
        QCOMPARE(tally.total().times.count(), 101);
        QCOMPARE(tally.total().times.worstMs(), 300.0);
        tally.reset();
        QCOMPARE(tally.total().sent, 0);
    }
};

QTEST_APPLESS_MAIN(TestLinkTally)
#include "tst_linktally.moc"
