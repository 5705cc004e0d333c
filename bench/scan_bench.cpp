// How long "Find the balance's settings" takes against the simulator: from
// the start of the scan, on a port at 600 baud 8N1 as at start-up, to its end.
#include "BenchSupport.h"
#include "linesettings/LinkScan.h"
#include "send/CommandSets.h"
#include "serial/SerialComm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <cstdio>

namespace bench {

void scanTimes()
{
    struct Case {
        const char *name;
        QStringList args;
        double targetS;
    };
    // Replies take the time of their characters on the line and 100 ms of
    // the balance's own. A strict balance ignores commands it cannot read,
    // so every wrong setting costs a whole wait.
    const QStringList paced{"--paced", "--delay", "100"};
    const Case cases[] = {
        {"9600 8N1", paced + QStringList{"--baud", "9600"}, 2},
        {"1200 7O1", paced + QStringList{"--baud", "1200", "--framing", "7O1"}, 5},
        {"2400 7E1", paced + QStringList{"--baud", "2400", "--framing", "7E1"}, 5},
        {"1200 7O1, strict", paced + QStringList{"--baud", "1200", "--framing", "7O1", "--strict"}, 5},
        {"600 8N2, strict (the last round)", paced + QStringList{"--baud", "600", "--framing", "8N2", "--strict"}, 25},
        {"1200 7O1, asked with a word and CR LF, strict",
         paced + QStringList{"--commands", "word-crlf", "--baud", "1200", "--framing", "7O1", "--strict"}, 8},
        {"4800 7E1, asked with a letter and CR LF, strict",
         paced + QStringList{"--commands", "letter-crlf", "--baud", "4800", "--framing", "7E1", "--strict"}, 8},
        // Five lines a second, unasked; it answers nothing.
        {"2400 7E1, streaming", {"--paced", "--stream", "200", "--drop", "1", "--baud", "2400", "--framing", "7E1"}, 3},
        {"nothing answers", {"--drop", "1"}, 25},
    };
    const QString simPath = QCoreApplication::applicationDirPath() + QStringLiteral("/balance-sim");
    for (const Case &c : cases) {
        QProcess sim;
        sim.start(simPath, c.args);
        if (!sim.waitForReadyRead(5000)) {
            std::printf("scan: %s: the simulator did not start\n", c.name);
            continue;
        }
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
        ondril::SerialComm comm(ondril::PortMap::fromList(device));
        comm.setSettings(QStringLiteral("600,n,8,1"));
        comm.setPortOpen(true);
        ondril::LinkScan scan(&comm, {600, 1200, 2400, 4800, 9600});
        QEventLoop loop;
        std::optional<ondril::ScanFinding> found;
        QObject::connect(&scan, &ondril::LinkScan::finished, &loop, [&](std::optional<ondril::ScanFinding> f) {
            found = f;
            loop.quit();
        });
        QElapsedTimer clock;
        clock.start();
        scan.start();
        loop.exec();
        const double s = clock.nsecsElapsed() / 1e9;
        std::printf("scan: balance at %s: %s after %d of %d tries in %.2f s (target <= %.0f s)\n", c.name,
                    found ? qPrintable(QStringLiteral("found %1 %2, %3")
                                           .arg(found->line.baud)
                                           .arg(found->line.shortName(),
                                                found->streams() ? QStringLiteral("streaming")
                                                                 : QStringLiteral("asked with ")
                                                                       + ondril::spokenBytes(found->request)))
                          : "nothing found",
                    scan.plan().made(), scan.plan().count(), s, c.targetS);
        sim.terminate();
        sim.waitForFinished(3000);
    }
}

} // namespace bench
