// The lines of a run, each answered for and kept, and the CSV that holds
// them: one row a line, the raw bytes told back exactly, the values as sent.
#include "Files.h"
#include "readings/CsvExport.h"
#include "readings/ReadingsCsv.h"
#include "readings/RawLines.h"
#include "readings/ReadingsLog.h"
#include "readings/TrendIndex.h"
#include "readings/TrendView.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <random>

using namespace ondril;

namespace {
constexpr qint64 ms = 1'000'000;
constexpr qint64 wall = 1'796'650'000'000; // some time on 2026-12-07

// The columns that hold something, as "column:what", and the count shown.
QString describe(const TrendShown &shown)
{
    QStringList parts;
    for (size_t c = 0; c < shown.columns.size(); ++c) {
        const TrendColumn &col = shown.columns[c];
        QString what;
        if (col.stable)
            what += QStringLiteral("s%1-%2").arg(col.stableLow).arg(col.stableHigh);
        if (col.moving)
            what += QStringLiteral("m%1-%2").arg(col.movingLow).arg(col.movingHigh);
        if (col.overload)
            what += u'O';
        if (!what.isEmpty())
            parts << QStringLiteral("%1:%2").arg(c).arg(what);
    }
    return (parts << QStringLiteral("n%1").arg(shown.stats.count())).join(u' ');
}

// Export CSV to its end: empty when written, else why not.
QString exported(const ReadingsLog &log, const QString &path)
{
    CsvExport csv(&log, path);
    QSignalSpy done(&csv, &CsvExport::finished);
    if (!done.wait(10000))
        return QStringLiteral("no end");
    return done.at(0).at(0).toBool() ? QString() : done.at(0).at(1).toString();
}
}

class TestReadingsLog : public QObject {
    Q_OBJECT
private slots:
    // Lines kept as what they share with the one before come back byte for
    // byte, in any order: across whole-line restarts, shorter and longer
    // than the line before, empty, long, with any byte.
    void shouldTellEveryRawLineBack()
    {
        std::vector<QByteArray> lines;
        for (int i = 0; i < 300; ++i) {
            QByteArray line = QStringLiteral("     +  %1 g").arg(150 + i * 0.01, 0, 'f', 2).toLatin1();
            if (i % 17 == 0)
                line.truncate(i % 5); // shorter, or empty
            if (i % 41 == 0)
                line = QByteArray(70000, char(i)) + line; // longer than a byte can count
            if (i % 13 == 0)
                line += "\x00\xff\x80";
            lines.push_back(line);
        }
        RawLines raw;
        for (const QByteArray &line : lines)
            QVERIFY(raw.add(line));
        QCOMPARE(raw.size(), qint64(lines.size()));
        std::vector<qint64> order(lines.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = qint64(i);
        const auto check = [&] {
            for (const qint64 i : order)
                QCOMPARE(raw.at(i).toByteArray(), lines[size_t(i)]);
        };
        check();
        std::reverse(order.begin(), order.end());
        check();
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        check();
    }

    void shouldKeepEveryLineWithWhatItAnswers()
    {
        ReadingsLog log;
        log.commandSent(0, 0);
        // One read: the reply, a second line, and the start of a third, a
        // reading only once its end has come.
        QVERIFY(log.received("     +  152.370 g\r\nS +\r\n     +  15", 120 * ms, wall));
        QCOMPARE(log.size(), 2);
        QVERIFY(log.received("0.00 g\r\n", 130 * ms, wall + 10));
        log.commandSent(3, 1000 * ms);
        log.expire(4000 * ms);
        QVERIFY(log.received("ST,-00000.03  g\r\n", 5000 * ms, wall + 5000));
        QVERIFY(log.received("     +  152.38\r\n", 5100 * ms, wall + 5100)); // moving, in grams still
        QCOMPARE(log.size(), 5);
        QCOMPARE(log.record(0).command, qint8(0));
        QCOMPARE(log.record(0).replyUs, 120'000u);
        QCOMPARE(log.raw(0).toByteArray(), QByteArray("     +  152.370 g"));
        QCOMPARE(log.record(1).command, qint8(-1));
        QCOMPARE(log.raw(2).toByteArray(), QByteArray("     +  150.00 g"));
        QCOMPARE(log.tally().total().noReply, 1);
        QCOMPARE(log.tally().unasked(), 4);
        // The statistics count readings, by unit, with the digits sent.
        QCOMPARE(log.statsByUnit().size(), size_t(1));
        QCOMPARE(log.statsByUnit()[0].stats.count(), 4);
        QCOMPARE(log.statsByUnit()[0].stats.stableShare(), 3.0 / 4.0);
        QCOMPARE(log.record(0).value(), (SentValue{152370, 3}));
        QCOMPARE(sentText(*log.statsByUnit()[0].stats.maximum()), QByteArray("152.38"));

        // TARE's reply is shaped like a reading, and is none: it counts for
        // TARE in the tally, never in the weight statistics.
        log.commandSent(4, 6000 * ms);
        QVERIFY(log.received("     +    0.00 g\r\n", 6100 * ms, wall + 6100));
        QCOMPARE(log.tally().command(4).replies, 1);
        QCOMPARE(log.statsByUnit()[0].stats.count(), 4);
    }

    void shouldDrawAtMostAMinimumAndMaximumPerColumn_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("columns");
        QTest::newRow("each in its own") << wall << wall + 39 << 4
                                         << QStringLiteral("0:s100-100 1:m100.02-100.02 2:O 3:s100.04-100.04 n3");
        QTest::newRow("all in one") << wall << wall + 39 << 1 << QStringLiteral("0:s100-100.04m100.02-100.02O n3");
        QTest::newRow("a part") << wall + 5 << wall + 25 << 2 << QStringLiteral("0:m100.02-100.02 1:O n1");
        QTest::newRow("after the run") << wall + 40 << wall + 99 << 8 << QStringLiteral("n0");
        QTest::newRow("no room") << wall << wall + 39 << 0 << QStringLiteral("n0");
    }

    void shouldDrawAtMostAMinimumAndMaximumPerColumn()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, width);
        QFETCH(QString, columns);
        ReadingsLog log;
        log.received("     +  100.00 g\r\n", 0, wall);
        log.received("     +  100.02\r\n", 0, wall + 10); // moving, in grams
        log.received("S +\r\n", 0, wall + 20);              // overload
        log.received("     +    0.10 kg\r\n", 0, wall + 30); // another unit: not in the trend of grams
        log.received("     +  100.04 g\r\n", 0, wall + 39);
        QCOMPARE(describe(trendColumns(log, log.currentUnit(), from, to, width)), columns);
    }

    void shouldDrawTheSameFromTheIndex()
    {
        // Runs of readings in grams, a stretch in kilograms, moving ones,
        // overloads, replies to TARE and text, at uneven times.
        ReadingsLog log;
        TrendIndex index;
        char line[48];
        for (int i = 0; i < 30'000; ++i) {
            const bool kg = i >= 12'000 && i < 12'500;
            const char *shape = i % 997 == 0 ? "S +\r\n" : i % 13 == 0 ? "S D %5d.%02d g\r\n" : kg ? "S S 0.%05d%02d kg\r\n"
                                                                                           : "S S %5d.%02d g\r\n";
            const int n = std::snprintf(line, sizeof line, shape, 150 + i % 7, i * 37 % 100);
            if (i % 101 == 0)
                log.commandSent(4, qint64(i) * ms);
            log.received(QByteArrayView(line, n), qint64(i) * ms + 1, wall + i * 10 + (i / 1000) * 5000);
            if (i == 20'000)
                index.catchUp(log); // caught up in two goes
        }
        index.catchUp(log);
        const qint64 last = log.record(log.size() - 1).wallMs;
        for (const auto &[from, to, width] : {std::tuple{wall, last, 1100}, std::tuple{wall - 500, last + 500, 7},
                                               std::tuple{wall + 12345, wall + 200'000, 640},
                                               std::tuple{wall + 100'000, wall + 100'900, 300}}) {
            const TrendShown plain = trendColumns(log, log.currentUnit(), from, to, width);
            const TrendShown indexed = trendColumns(log, log.currentUnit(), from, to, width, &index);
            QCOMPARE(describe(indexed), describe(plain));
            QCOMPARE(indexed.stats.mean(), plain.stats.mean());
            QVERIFY(qAbs(indexed.stats.standardDeviation() - plain.stats.standardDeviation()) < 1e-9);
        }
        // Laid out anew, the index starts again.
        log.reset();
        log.received("     +  1.00 g\r\n", 0, wall);
        index.catchUp(log);
        QCOMPARE(describe(trendColumns(log, log.currentUnit(), wall - 10, wall + 10, 3, &index)),
                 QStringLiteral("1:s1-1 n1"));
    }

    void shouldWriteACsvThatTellsTheBytesBack()
    {
        ReadingsLog log;
        log.commandSent(0, 0);
        log.received("     +  152.370 g\r\n", 152'300'000, wall);
        log.received(QByteArray("a \"quoted\" \\ \x1b\xb5 line\r\n"), 200 * ms, wall + 200);
        log.received("S D      -0.05 g\r\n", 300 * ms, wall + 300);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("readings.csv"));
        const QString why = exported(log, path);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        const QList<QByteArray> rows = contents(path).split('\n');
        QCOMPARE(rows[0], QByteArray("time,command,reply_ms,raw,shape,status,value,unit\r"));
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(wall);
        const QByteArray time = local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
        QCOMPARE(rows[1], time + ",PRINT,152.300,\"     +  152.370 g\",sign value unit,stable,152.370,g\r");
        QVERIFY2(rows[2].endsWith(",,,\"a \"\"quoted\"\" \\x5C \\x1B\\xB5 line\",not a reading,not a reading,,\r"),
                 rows[2].constData());
        QVERIFY2(rows[3].endsWith(",\"S D      -0.05 g\",command status value,unstable,-0.05,g\r"), rows[3].constData());
        QCOMPARE(rows.size(), 5); // and the empty rest after the last CR LF

        // Told back by a journal, an earlier run's lines go before this run's.
        QVERIFY(!parseReadingsCsvRow(rows[0]));           // the header
        QVERIFY(!parseReadingsCsvRow(rows[1].left(40))); // cut off in its raw field
        std::vector<ReadingsLog::Earlier> earlier;
        for (int i = 1; i <= 3; ++i)
            earlier.push_back(parseReadingsCsvRow(rows[i] + '\n').value());
        ReadingsLog later;
        later.received("     +  152.40 g\r\n", 0, wall + 1000);
        QVERIFY(later.recoverEarlier(earlier));
        QCOMPARE(later.size(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(later.raw(i).toByteArray(), log.raw(i).toByteArray());
            QCOMPARE(later.record(i).wallMs, log.record(i).wallMs);
            QCOMPARE(later.record(i).command, log.record(i).command);
            QCOMPARE(later.record(i).replyUs, log.record(i).replyUs);
        }
        QCOMPARE(later.raw(3).toByteArray(), QByteArray("     +  152.40 g"));
        QCOMPARE(later.statsByUnit()[0].stats.count(), 3);

        // A folder where the file should be: the reason, and nothing half written.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.csv")));
        QVERIFY(!exported(log, dir.filePath(QStringLiteral("taken.csv"))).isEmpty());

        // Cancelled half way, or ended with the window: the file it would
        // replace stays as it was, and nothing else is left in its folder.
        for (int i = 0; i < 100'000; ++i)
            log.received("     +  152.37 g\r\n", 400 * ms + i, wall + 400 + i);
        const QString kept = dir.filePath(QStringLiteral("kept.csv"));
        put(kept, "the export before\n");
        for (const bool cancel : {true, false}) {
            CsvExport csv(&log, kept);
            QSignalSpy progress(&csv, &CsvExport::progress);
            QSignalSpy done(&csv, &CsvExport::finished);
            QVERIFY(progress.wait(5000));
            if (!cancel)
                break; // destroyed running
            csv.cancel();
            QVERIFY(done.wait(5000));
            QCOMPARE(done.at(0).at(0).toBool(), false);
            QCOMPARE(done.at(0).at(1).toString(), QString());
        }
        QCOMPARE(contents(kept), QByteArray("the export before\n"));
        QCOMPARE(entries(dir.path()), (QStringList{"kept.csv", "readings.csv", "taken.csv"}));
    }

    void shouldWriteLocalTimesAsQtDoes_data()
    {
        QTest::addColumn<QString>("utc");
        QTest::newRow("winter") << QStringLiteral("2026-01-15T11:59:59.999Z");
        QTest::newRow("summer time begins") << QStringLiteral("2026-03-29T00:59:59.500Z");
        QTest::newRow("an hour on") << QStringLiteral("2026-03-29T01:00:00.000Z");
        QTest::newRow("summer time ends") << QStringLiteral("2026-10-25T00:59:59.999Z");
        QTest::newRow("an hour back") << QStringLiteral("2026-10-25T01:00:00.001Z");
        QTest::newRow("before 1970") << QStringLiteral("1969-12-31T23:59:59.999Z");
    }

    void shouldWriteLocalTimesAsQtDoes()
    {
        // In a zone with summer time, where the offset changes.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QFETCH(QString, utc);
        const qint64 at = QDateTime::fromString(utc, Qt::ISODateWithMs).toMSecsSinceEpoch();
        ReadingsLog log;
        log.received("     +  152.37 g\r\n", 0, at - 3'600'000); // the hour before, in the same run
        log.received("     +  152.37 g\r\n", 0, at);
        const QByteArray before = readingsCsvRow(log, 0);
        const QByteArray row = readingsCsvRow(log, 1);
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(at);
        QCOMPARE(row.left(row.indexOf(',')),
                 local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1());
        // Read back, each names its own instant, also in the hour autumn repeats.
        QCOMPARE(parseReadingsCsvRow(before)->wallMs, at - 3'600'000);
        QCOMPARE(parseReadingsCsvRow(row)->wallMs, at);
    }

    void shouldWriteValuesAsSent_data()
    {
        QTest::addColumn<qint64>("mantissa");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("trailing zero") << qint64(152370) << 3 << QByteArray("152.370");
        QTest::newRow("below one") << qint64(-3) << 2 << QByteArray("-0.03");
        QTest::newRow("whole") << qint64(12) << 0 << QByteArray("12");
        QTest::newRow("small") << qint64(2) << 5 << QByteArray("0.00002");
    }
    void shouldWriteValuesAsSent()
    {
        QFETCH(qint64, mantissa);
        QFETCH(int, decimals);
        QFETCH(QByteArray, text);
        QCOMPARE(sentText({mantissa, qint8(decimals)}), text);
    }
};

QTEST_GUILESS_MAIN(TestReadingsLog)
#include "tst_readingslog.moc"
