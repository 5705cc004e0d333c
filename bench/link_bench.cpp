// The Link window's figures, on a pseudo-terminal whose control lines come
// from the preloaded double: how long a change of a line from the far end
// takes to reach the window's thread, and how long the loopback self-test
// takes against the simulator as a plug (paced as a real line) and with
// nothing on the port.
#include "BenchSupport.h"
#include "link/LoopbackTest.h"
#include "serial/SerialComm.h"
#include "window/SteadyClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace bench {

namespace {

struct SimPort {
    explicit SimPort(const QStringList &args)
    {
        sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/balance-sim"), args);
        if (sim.waitForReadyRead(5000))
            device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    }
    ~SimPort()
    {
        sim.terminate();
        sim.waitForFinished(3000);
    }
    QProcess sim;
    QString device;
};

void lineLatency(const QString &far)
{
    SimPort plug({QStringLiteral("--loopback"), QStringLiteral("--lines"), far});
    ondril::SerialComm comm(ondril::PortMap::fromList(plug.device));
    comm.setPortOpen(true);
    comm.watchControlLines(true);
    std::vector<double> toWake, toWindow;
    qint64 wroteAt = 0;
    QEventLoop loop;
    QObject::connect(&comm, &ondril::MSComm::controlLinesChanged, &loop, [&](const ondril::ControlLines &, qint64 at) {
        toWake.push_back((at - wroteAt) / 1e6);
        toWindow.push_back((ondril::steadyNow() - wroteAt) / 1e6);
        loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (int i = 0; i < 200; ++i) {
        QSaveFile file(far);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("cts=1 dsr=1 dcd=1 ri=") + (i % 2 ? "0" : "1"));
        wroteAt = ondril::steadyNow();
        file.commit();
        guard.start(2000);
        loop.exec();
        runFor(10);
    }
    std::printf("link: a line change from the far end (200 changes): to the watch thread median %.3f ms, to the "
                "window's thread median %.3f / 99th %.3f / worst %.3f ms\n",
                percentile(toWake, 0.5), percentile(toWindow, 0.5), percentile(toWindow, 0.99),
                percentile(toWindow, 1.0));
}

void selfTest(const char *name, const QStringList &simArgs)
{
    SimPort sim(simArgs);
    ondril::SerialComm comm(ondril::PortMap::fromList(sim.device));
    comm.setPortOpen(true);
    ondril::LoopbackTest test(&comm, {600, 1200, 2400, 4800, 9600});
    QEventLoop loop;
    QString verdict;
    QObject::connect(&test, &ondril::LoopbackTest::finished, &loop, [&](const ondril::LoopbackResult &r) {
        verdict = ondril::loopbackVerdict(r);
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    test.start();
    loop.exec();
    std::printf("link: self-test, %s: %.2f s (target <= 10 s): %s\n", name, clock.nsecsElapsed() / 1e9,
                qPrintable(verdict));
}

} // namespace

void linkFigures()
{
    if (!qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("pty-as-serial"))) {
        // The double must be in place before the process starts.
        QProcess self;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(PTY_AS_SERIAL));
        self.setProcessEnvironment(env);
        self.setProcessChannelMode(QProcess::ForwardedChannels);
        std::fflush(stdout);
        self.start(QCoreApplication::applicationFilePath(), {QStringLiteral("link")});
        self.waitForFinished(-1);
        return;
    }
    QTemporaryDir dir;
    const QString far = dir.filePath(QStringLiteral("lines"));
    qputenv("ONDRIL_LINE_FILE", far.toLocal8Bit());
    lineLatency(far);
    selfTest("a plug, paced as a line", {QStringLiteral("--loopback"), QStringLiteral("--paced"),
                                         QStringLiteral("--lines"), far});
    selfTest("nothing on the port (a balance, silent)", {QStringLiteral("--lines"), far});
}

} // namespace bench
