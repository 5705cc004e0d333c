// Figures for line reception: processor use while a line collector waits,
// the time from a CR LF on the port to the line in the receive box, the cost
// of an append and its paint with a short and a long box, the memory a long
// box takes, Save and Clear of it, and how the window fares under faults (a
// vanished device, a reply without a line end, a burst of lines).
//
//   ondril-bench [idle] [latency] [box] [line] [faults] [reopen] [decoder] [trend] [readings] [journal] [recover] [scan] [link] [--lines N] [--line-mb N]
//
// With no section named it runs them all. The box section runs with 300,000
// and with 3,000,000 lines, and the line section with one line of --line-mb
// megabytes (100), each in a process of its own so that its memory figure is
// its own; --lines runs one size. The reopen section times a returning device
// that its user may open only a moment after it is back (as udev hands a new
// adapter to its group); as root, it runs as the user nobody. It runs
// offscreen when there is no display.
#include "BenchSupport.h"
#include "receivebox/ReceiveBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

using namespace ondril;
using namespace bench;

namespace {

void idleWhileWaiting()
{
    Wired w;
    w.form.show();
    w.pty.send("     +  152.");
    double cpu0 = 0, wall0 = 0, cpu1 = 0, wall1 = 0;
    QElapsedTimer wall;
    wall.start();
    // The collector starts within the first pass; measure well inside its wait.
    QTimer::singleShot(500, [&] { cpu0 = processCpuSeconds(); wall0 = wall.elapsed() / 1000.0; });
    runFor(5500, [&] {
        cpu1 = processCpuSeconds();
        wall1 = wall.elapsed() / 1000.0;
        w.pty.send("37 g\r\n");
    });
    runFor(100);
    const bool ended = w.form.Text2->text().contains(QLatin1String("152.37 g"));
    std::printf("idle while a line collector waits: %.3f %% of one core over %.1f s%s\n",
                100.0 * (cpu1 - cpu0) / (wall1 - wall0), wall1 - wall0,
                ended ? "" : " (the line never arrived!)");
}

void latency()
{
    Wired w;
    w.form.show();
    constexpr int samples = 2000;
    std::vector<Clock::time_point> sent(samples);
    // Each change of the box with its line count: line i has been shown once
    // the box holds i + 2 lines, even when one read brought two lines.
    std::vector<std::pair<Clock::time_point, qint64>> changes;
    changes.reserve(samples);
    std::atomic<int> ready{0};
    const ReceiveBox *box = w.form.Text2;
    QObject::connect(box, &ReceiveBox::changed,
                     [&] { changes.emplace_back(Clock::now(), box->content().lineCount()); });
    std::thread balance([&] {
        const QByteArray line("     +  152.37 g\r\n");
        for (int i = 0; i < samples; ++i) {
            // The line's body first, its CR LF alone: the clock starts at the CR LF.
            w.pty.send(line.left(line.size() - 2));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            sent[size_t(i)] = Clock::now();
            w.pty.send("\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(8));
        }
        ready = 1;
    });
    while (!ready)
        runFor(100);
    balance.join();
    runFor(100);
    std::vector<double> ms;
    size_t c = 0;
    for (int i = 0; i < samples; ++i) {
        while (c < changes.size() && changes[c].second < i + 2)
            ++c;
        if (c == changes.size())
            break;
        ms.push_back(std::chrono::duration<double, std::milli>(changes[c].first - sent[size_t(i)]).count());
    }
    std::printf("CR LF on the port to the line in the box (%zu of %d lines): median %.3f ms, "
                "99th percentile %.3f ms, worst %.3f ms\n",
                ms.size(), samples, percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
}

void idleAfterLoss()
{
    Wired w;
    w.form.show();
    w.pty.send("     +  15");
    // The collector waits inside this run: the device goes from there.
    runFor(100, [&] { w.pty.closeMaster(); });
    runFor(500);
    const double cpu0 = processCpuSeconds();
    runFor(5000);
    std::printf("idle after the device vanished mid-line: %.3f %% of one core over 5 s (port %s)\n",
                100.0 * (processCpuSeconds() - cpu0) / 5.0, w.comm.portOpen() ? "still open!" : "closed");
}

void burst()
{
    const long before = statusKb("VmRSS:");
    Wired w;
    w.form.show();
    LoopWatch watch;
    constexpr int lines = 100000;
    std::atomic<bool> sent{false};
    const auto start = Clock::now();
    std::thread balance([&] {
        for (int n = 0; n < lines; n += 1000) {
            QByteArray chunk;
            for (int i = n; i < n + 1000; ++i)
                chunk += QByteArray::number(i).rightJustified(6, '0') + " +  152.37 g\r\n";
            w.pty.send(chunk);
        }
        sent = true;
    });
    while (!sent || w.comm.inBufferCount() > 0)
        runFor(5);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    balance.join();
    runFor(200);
    std::printf("burst of 100,000 lines (2.0 MB) read in %.2f s: %lld lines shown (%.2f MB); longest the "
                "window went without a turn %.1f ms; resident memory %+.1f MB\n",
                seconds, w.form.Text2->content().lineCount() - 1,
                double(w.form.Text2->bytes().size()) / 1e6, watch.worstMs(),
                (statusKb("VmRSS:") - before) / 1024.0);
}

// A link to a pseudo-terminal, lost and made again to a new one that is
// root's alone at first: the time from its mode letting the user in to the
// port being open.
void reopenWhenAllowed()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyBalance"));
    auto pty = std::make_unique<Pty>();
    QFile::link(pty->path(), link);
    StderrDialogs dialogs;
    SerialComm comm(PortMap::fromList(link));
    Form1 form(&comm, &dialogs);
    if (!form.Form_Load())
        return;
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        pty->closeMaster();
        runFor(50);
        pty = std::make_unique<Pty>();
        const QByteArray node = QFile::encodeName(pty->path());
        ::chmod(node.constData(), 0);
        QFile::remove(link);
        QFile::link(pty->path(), link);
        runFor(300); // found, and refused
        if (comm.portOpen()) {
            std::printf("reopen once allowed: the mode did not bind this user\n");
            return;
        }
        const auto allowed = Clock::now();
        ::chmod(node.constData(), 0600);
        QTimer tick;
        tick.start(1);
        while (!comm.portOpen() && msSince(allowed) < 3000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!comm.portOpen()) {
            std::printf("returning device: still closed 3 s after the user may open it\n");
            return;
        }
        ms.push_back(msSince(allowed));
    }
    std::printf("returning device, from \"the user may open it\" to the port open (%zu times): median %.1f ms, "
                "worst %.1f ms\n",
                ms.size(), percentile(ms, 0.5), percentile(ms, 1.0));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "line-alone") == 0) {
        longLine(std::atoi(argv[2]));
        return 0;
    }
    int lines = 0;
    int lineMb = 100;
    QStringList sections;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--lines") && i + 1 < args.size())
            lines = args[++i].toInt();
        else if (args[i] == QLatin1String("--line-mb") && i + 1 < args.size())
            lineMb = args[++i].toInt();
        else if (QStringList{"idle", "latency", "box", "line", "faults", "reopen", "decoder", "trend", "readings", "journal", "recover", "scan", "link"}.contains(args[i]))
            sections << args[i];
        else {
            std::fprintf(stderr, "usage: ondril-bench [idle] [latency] [box] [line] [faults] [reopen] [decoder] [trend] [readings] [journal] [recover] [scan] [link] [--lines N] [--line-mb N]\n");
            return 2;
        }
    }
    const auto wanted = [&](const char *s) { return sections.isEmpty() || sections.contains(QLatin1String(s)); };
    if (wanted("idle"))
        idleWhileWaiting();
    if (wanted("latency"))
        latency();
    if (wanted("box") && lines > 0)
        longBox(lines);
    else if (wanted("box"))
        for (const char *size : {"300000", "3000000"}) {
            std::fflush(stdout);
            QProcess::execute(QCoreApplication::applicationFilePath(),
                              {QStringLiteral("box"), QStringLiteral("--lines"), QLatin1String(size)});
        }
    if (wanted("line")) {
        std::fflush(stdout); // a process of its own, as the box's sizes
        QProcess::execute(QCoreApplication::applicationFilePath(),
                          {QStringLiteral("line-alone"), QString::number(lineMb)});
    }
    if (wanted("faults")) {
        idleAfterLoss();
        mebibyteWithoutLineEnd();
        burst();
    }
#ifdef ONDRIL_BENCH_READINGS
    if (wanted("decoder"))
        decoderSpeed();
    if (wanted("trend")) {
        trendRedraw(lines > 0 ? lines : 1000000);
        readingsWindowRefresh();
    }
    if (wanted("readings") && lines > 0)
        readingsMemory(lines);
    else if (wanted("readings")) {
        std::fflush(stdout); // a process of its own, for its own peak
        QProcess::execute(QCoreApplication::applicationFilePath(),
                          {QStringLiteral("readings"), QStringLiteral("--lines"), QStringLiteral("10000000")});
    }
#endif
#ifdef ONDRIL_BENCH_JOURNAL
    if (wanted("journal"))
        journalCost();
    if (wanted("recover") && lines > 0) {
        recoverCost(lines);
    } else if (wanted("recover")) {
        std::fflush(stdout); // a process of its own, for its own peak
        QProcess::execute(QCoreApplication::applicationFilePath(),
                          {QStringLiteral("recover"), QStringLiteral("--lines"), QStringLiteral("1024")});
    }
#endif
#ifdef ONDRIL_BENCH_SCAN
    if (wanted("scan"))
        scanTimes();
#endif
#ifdef ONDRIL_BENCH_LINK
    if (wanted("link"))
        linkFigures();
#endif
    if (wanted("reopen") && ::geteuid() != 0) {
        reopenWhenAllowed();
    } else if (wanted("reopen")) {
        // File modes do not bind root.
        std::fflush(stdout);
        QProcess::execute(QStringLiteral("setpriv"),
                          {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                           QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                           QStringLiteral("reopen")});
    }
    return 0;
}
