// What the journal costs: the process's processor time on a stream of 60
// lines a second with the journal kept and without, in turns, the worst
// time from a line written to the journal to that line on the disk, and the
// processor time of one line's write. And what a folder of large journals
// costs: the Tools menu's opening, and the recovery of a large one.
#include "Application.h"
#include "BenchSupport.h"
#include "journal/Journal.h"
#include "journal/JournalFolder.h"
#include "journal/JournalMenu.h"
#include "readings/ReadingsWindow.h"
#include "receivebox/ReceiveBox.h"
#include "window/KeptChoices.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <thread>

namespace bench {

void journalCost()
{
    QTemporaryDir state;
    Wired w;
    w.form.show();
    ondril::Journal journal(state.path());
    bool keep = false;
    QObject::connect(&w.form, &ondril::Form1::lineCompleted, &journal, [&](const QString &, const QString &added) {
        if (keep)
            journal.add(added.toLatin1(), QStringLiteral("COM 1"));
    });
    std::atomic<bool> streaming{true};
    std::thread balance([&] {
        auto next = Clock::now();
        while (streaming) {
            w.pty.send("     +  152.37 g\r\n");
            next += std::chrono::microseconds(1'000'000 / 60);
            std::this_thread::sleep_until(next);
        }
    });
    double with = 0;
    double without = 0;
    for (int round = 0; round < 10; ++round) {
        keep = round % 2 == 0;
        if (!keep)
            journal.end();
        runFor(500);
        const double cpu0 = processCpuSeconds();
        runFor(6000);
        (keep ? with : without) += processCpuSeconds() - cpu0;
    }
    streaming = false;
    balance.join();
    // What one line costs the journal alone: its write into the file.
    ondril::Journal alone(state.filePath(QStringLiteral("alone")));
    alone.add("     +  152.37 g\r\n", QStringLiteral("COM 1"));
    constexpr int lines = 20000;
    const double cpu0 = processCpuSeconds();
    for (int i = 0; i < lines; ++i)
        alone.add("     +  152.37 g\r\n", QStringLiteral("COM 1"));
    const double perLineUs = (processCpuSeconds() - cpu0) / lines * 1e6;
    alone.end();
    std::printf("journal: a line's write into the file costs %.1f us of processor time\n", perLineUs);
    std::printf("journal on a stream of 60 lines a second, 5 turns of 6 s each way: %.3f %% of a core kept, "
                "%.3f %% not (x %.2f); worst from a line written to it on the disk: %.1f ms\n",
                100 * with / 30, 100 * without / 30, with / without, journal.worstSyncLagNs() / 1e6);
}

namespace {

void writeJournal(const QString &folder, const QDateTime &started, int pid, qint64 bytes, bool ended)
{
    const QString base = folder + u'/' + ondril::journalBaseName(started, QStringLiteral("COM 1"), pid);
    QFile text(base + QLatin1String(ondril::journalTextSuffix));
    text.open(QIODevice::WriteOnly);
    const QByteArray block = QByteArray("2026-12-07 14:03:27      +  152.37 g\r\n").repeated(1 << 16);
    for (qint64 done = 0; done < bytes; done += block.size())
        text.write(block);
    QFile companion(base + QLatin1String(ondril::journalCompanionSuffix));
    companion.open(QIODevice::WriteOnly);
    companion.write(QByteArray(ondril::journalMagic) + "\nstarted " + started.toString(Qt::ISODate).toLatin1()
                    + "\nport COM 1\n" + (ended ? "ended x\n" : ""));
}

} // namespace

void recoverCost(qint64 megabytes)
{
    QTemporaryDir state(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    const QString folder = state.filePath(QStringLiteral("journal"));
    QDir().mkpath(folder);
    // 50 journals of 20 MB that ended cleanly, and the last run's, killed.
    const QDateTime first(QDate(2026, 11, 1), QTime(8, 0));
    for (int i = 0; i < 50; ++i)
        writeJournal(folder, first.addSecs(3600 * i), 100 + i, 20 << 20, true);
    writeJournal(folder, first.addDays(10), 200, megabytes << 20, false);

    Wired w;
    w.form.show();
    ondril::ReadingsWindow readings(&w.form, &w.dialogs);
    ondril::Journal journal(folder);
    QMenu *tools = ondril::toolsMenu(&w.form);
    ondril::JournalMenu menu(&w.form, &journal, &w.dialogs, tools);
    QObject::connect(&menu, &ondril::JournalMenu::recoveryStarted, &readings,
                     [&readings](const ondril::JournalRun &run, qint64 firstLine) {
                         readings.beginEarlier(run.readings, firstLine, run.rowsFromLine, run.started);
                     });
    QObject::connect(&menu, &ondril::JournalMenu::recoveredPiece, &readings, &ondril::ReadingsWindow::addEarlier);
    QObject::connect(&menu, &ondril::JournalMenu::recovered, &readings, &ondril::ReadingsWindow::endEarlier);

    auto t0 = Clock::now();
    menu.look(); // what start-up does in the background
    const double lookMs = msSince(t0);
    t0 = Clock::now();
    emit tools->aboutToShow();
    QCoreApplication::processEvents();
    const double openMs = msSince(t0);
    std::printf("Tools menu with 50 journals of 20 MB and one of %lld MB to recover: opening it %.2f ms; "
                "looking for what to recover (at start-up, in the background) %.0f ms\n",
                static_cast<long long>(megabytes), openMs, lookMs);

    QEventLoop loop;
    QObject::connect(&menu, &ondril::JournalMenu::recovered, &loop, &QEventLoop::quit);
    const long before = statusKb("VmRSS:");
    const qint64 boxBefore = w.form.Text2->bytes().size();
    t0 = Clock::now();
    const LoopWatch watch;
    menu.recover();
    loop.exec();
    const double seconds = msSince(t0) / 1000;
    const double boxMb = double(w.form.Text2->bytes().size() - boxBefore) / (1 << 20);
    std::printf("Recover of %lld MB (%lld readings): %.1f s, the window's longest wait for a turn %.1f ms; "
                "memory %+.0f MB (peak %.0f MB), of which the box's text %.0f MB\n",
                static_cast<long long>(megabytes), static_cast<long long>(readings.log().size()), seconds, watch.worstMs(),
                (statusKb("VmRSS:") - before) / 1024.0, statusKb("VmHWM:") / 1024.0, boxMb);
}

} // namespace bench
