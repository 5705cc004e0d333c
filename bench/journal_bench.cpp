// What the journal costs: the process's processor time on a stream of 60
// lines a second with the journal kept and without, in turns, the worst
// time from a line written to the journal to that line on the disk, and the
// processor time of one line's write.
#include "BenchSupport.h"
#include "journal/Journal.h"

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

} // namespace bench
