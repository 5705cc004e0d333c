// How fast the reply decoder reads lines of each shape, on one core.
#include "BenchSupport.h"
#include "readings/CsvExport.h"
#include "readings/ReadingsLog.h"
#include "readings/ReadingsWindow.h"
#include "readings/ReplyDecoder.h"
#include "readings/TrendView.h"
#include "receivebox/ReceiveBox.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace bench {

void decoderSpeed()
{
    const QByteArray lines[] = {"     +  152.37 g\r\n", "N     +    12.3 kg\r\n", "S S      100.00 g\r\n",
                                "ST,+00123.45  g\r\n",  "Net: 152.37 g\r\n",    "BALANCE READY\r\n"};
    constexpr int rounds = 1000000;
    qint64 sum = 0; // keeps the work from being optimised away
    const auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i)
        for (const QByteArray &line : lines)
            sum += qint64(ondril::decodeReply(line).status) + ondril::decodeReply(line).value.mantissa % 7;
    const double seconds = msSince(t0) / 1000.0 / 2; // each line decoded twice
    const double perSecond = double(rounds) * double(std::size(lines)) / seconds;
    std::printf("reply decoder: %.1f million lines a second on one core (six shapes in turn; check %lld)\n",
                perSecond / 1e6, static_cast<long long>(sum % 10));
}

// A long run's readings: the box that holds their lines and the log that
// decodes them, and what they take of the process's memory.
void readingsMemory(qint64 readings)
{
    const long before = statusKb("VmRSS:");
    ondril::ReceiveBox box;
    ondril::ReadingsLog log;
    char line[32];
    qint64 kept = 0;
    for (qint64 i = 0; i < readings; ++i) {
        // A reading that wanders a little, as a balance's does.
        const int n = std::snprintf(line, sizeof line, "     +  %3d.%02d g\r\n", 150 + int(i % 7), int(i * 37 % 100));
        box.append(QString::fromLatin1(line, n));
        kept += log.received(QByteArrayView(line, n), i * 1000000, i) ? 1 : 0;
        if (i % 65536 == 0)
            QCoreApplication::processEvents();
    }
    const long after = statusKb("VmRSS:");
    std::printf("%lld readings (%lld kept) with the box that holds them: %.1f MB resident, peak %.1f MB "
                "(%.1f MB before; the box %.1f MB of text)\n",
                static_cast<long long>(readings), static_cast<long long>(kept), after / 1024.0,
                statusKb("VmHWM:") / 1024.0, before / 1024.0, double(box.bytes().size()) / 1e6);
}

// Redrawing the trend of a long run, zoomed out to all of it and in to a
// minute of it (medians).
void trendRedraw(qint64 readings)
{
    ondril::ReadingsLog log;
    char line[32];
    for (qint64 i = 0; i < readings; ++i) {
        const char *shape = i % 5000 == 0 ? "S +\r\n" : i % 9 == 0 ? "S D %7d.%02d g\r\n" : "S S %7d.%02d g\r\n";
        const int n = std::snprintf(line, sizeof line, shape, 150 + int(i % 7), int(i * 37 % 100));
        log.received(QByteArrayView(line, n), i * 100000000, 1'700'000'000'000 + i * 100); // ten a second
    }
    ondril::TrendView view(&log);
    view.resize(1200, 400);
    QImage image(view.size(), QImage::Format_RGB32);
    const auto median = [&](const std::function<void()> &work) {
        std::vector<double> ms;
        for (int i = 0; i < 21; ++i) {
            const auto t0 = Clock::now();
            work();
            ms.push_back(msSince(t0));
        }
        return percentile(ms, 0.5);
    };
    const auto draw = [&] { view.render(&image); };
    const double columns = median([&] {
        ondril::trendColumns(log, log.currentUnit(), view.fromMs(), view.toMs(), 1100);
    });
    const double whole = median(draw);
    view.showSpan(view.fromMs() + (view.toMs() - view.fromMs()) / 2, view.fromMs() + (view.toMs() - view.fromMs()) / 2 + 60000);
    const double minute = median(draw);
    std::printf("trend of %lld readings in 1200 x 400: %.1f ms to redraw all of them (%.1f ms to sort them into 1,100 "
                "columns alone), %.2f ms zoomed in to a minute\n",
                static_cast<long long>(readings), whole, columns, minute);

    // Export CSV of them all, the window's longest wait for a turn meanwhile.
    QTemporaryDir dir;
    ondril::CsvExport csv(&log, dir.filePath(QStringLiteral("run.csv")));
    QEventLoop loop;
    QObject::connect(&csv, &ondril::CsvExport::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(1);
    auto last = Clock::now();
    double longest = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, msSince(last));
        last = Clock::now();
    });
    const auto t0 = Clock::now();
    tick.start();
    loop.exec();
    std::printf("Export CSV of %lld readings: %.1f s, the window's longest wait for a turn %.1f ms\n",
                static_cast<long long>(readings), msSince(t0) / 1000, longest);
}

// What the Readings window costs while open: its refresh each second, with
// the trend following a run of lines as they come.
void readingsWindowRefresh()
{
    Wired w;
    ondril::ReadingsWindow window(&w.form, &w.dialogs);
    window.show();
    runFor(300);
    std::vector<double> ms;
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 43; ++j) // a second of compare.sh's stream
            emit w.form.lineCompleted(QStringLiteral("     +  152.37 g  \r\n"), {}, 0, 0, 0);
        QCoreApplication::processEvents();
        const double cpu0 = processCpuSeconds();
        window.refresh();
        QCoreApplication::processEvents(); // its paint
        ms.push_back((processCpuSeconds() - cpu0) * 1000);
    }
    std::printf("Readings window open: %.2f ms of processor time a second to refresh it and paint the trend "
                "(median of 40 seconds of a 43-lines-a-second stream)\n", percentile(ms, 0.5));
}

} // namespace bench
