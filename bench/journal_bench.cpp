// What the journal costs: the process's processor time on a stream of 60
// lines a second with the journal kept and without, in turns, and the worst
// time from a line written to the journal to that line on the disk.
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
    std::printf("journal on a stream of 60 lines a second, 5 turns of 6 s each way: %.3f %% of a core kept, "
                "%.3f %% not (x %.2f); worst from a line written to it on the disk: %.1f ms\n",
                100 * with / 30, 100 * without / 30, with / without, journal.worstSyncLagNs() / 1e6);
}

} // namespace bench
