// Figures for line reception: processor use while a line collector waits,
// the cost of one append to a short and to a long receive box, the memory a
// long box takes, the time from a CR LF on the port to the line on screen,
// and how the window fares under faults (a vanished device, a reply without
// a line end, a burst of lines).
//
//   ondril-bench [idle] [latency] [box] [faults] [--lines N]
//
// With no section named it runs them all; the long box has 300,000 lines
// unless told. It runs offscreen when there is no display.
#include "Pty.h"
#include "reception/ReceiveBox.h"
#include "serial/SerialComm.h"
#include "window/Dialogs.h"
#include "window/Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <time.h>
#include <vector>

using namespace ondril;
using Clock = std::chrono::steady_clock;

namespace {

class StderrDialogs : public Dialogs {
public:
    void message(QWidget *, const QString &text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString openFile(QWidget *, const FileDialogRequest &) override { return {}; }
};

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

long statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// Runs the event loop for `ms` milliseconds, then `then`.
void runFor(int ms, const std::function<void()> &then = {})
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&] {
        if (then)
            then();
        loop.quit();
    });
    loop.exec();
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

struct Wired {
    Pty pty;
    StderrDialogs dialogs;
    SerialComm comm{PortMap::fromList(pty.path())};
    Form1 form{&comm, &dialogs};
    bool loaded = form.Form_Load();
};

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
    const bool ended = w.form.Text2->toPlainText().contains(QLatin1String("152.37 g"));
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
    // Each change of the box with its paragraph count: line i has been shown
    // once the box holds i + 2 paragraphs, even when one read brought two lines.
    std::vector<std::pair<Clock::time_point, int>> changes;
    changes.reserve(samples);
    std::atomic<int> ready{0};
    QTextDocument *box = w.form.Text2->document();
    QObject::connect(box, &QTextDocument::contentsChanged,
                     [&] { changes.emplace_back(Clock::now(), box->blockCount()); });
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

struct BoxCost {
    double appendUs; // the insert and the event pass after it, paced painting included
    double paintUs;  // painting the whole box once
};

// Median costs with `lines` already shown.
BoxCost boxCost(Form1 &form, int lines, int &shownLines)
{
    const QString line = QStringLiteral("2026-12-07 14:03:27      +  152.37 g\r\n");
    for (; shownLines < lines; ++shownLines) {
        appendToBox(form.Text2, line);
        if (shownLines % 1000 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    std::vector<double> appends, paints;
    for (int i = 0; i < 500; ++i, ++shownLines) {
        const auto t0 = Clock::now();
        appendToBox(form.Text2, line);
        QCoreApplication::processEvents();
        appends.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    runFor(300); // the pacing interval has passed: the box paints again
    for (int i = 0; i < 50; ++i) {
        const auto t0 = Clock::now();
        form.Text2->repaint();
        paints.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return {percentile(appends, 0.5), percentile(paints, 0.5)};
}

void longBox(int lines)
{
    const long before = statusKb("VmRSS:");
    Wired w;
    w.form.show();
    int shown = 0;
    const BoxCost small = boxCost(w.form, 1000, shown);
    const BoxCost large = boxCost(w.form, lines, shown);
    std::printf("one append with 1,000 lines in the box: %.1f us; with %d lines: %.1f us "
                "(ratio %.2f)\n",
                small.appendUs, lines, large.appendUs, large.appendUs / small.appendUs);
    std::printf("painting the whole box with 1,000 lines: %.1f us; with %d lines: %.1f us "
                "(ratio %.2f)\n",
                small.paintUs, lines, large.paintUs, large.paintUs / small.paintUs);
    std::printf("memory with %d lines in the box: %.1f MB resident (%.1f MB before the box, "
                "peak %.1f MB)\n",
                shown, statusKb("VmRSS:") / 1024.0, before / 1024.0, statusKb("VmHWM:") / 1024.0);
}

// The longest stretch the event loop went without a turn, watched by a 10 ms timer.
class LoopWatch {
public:
    LoopWatch()
    {
        m_last = Clock::now();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            m_worstMs = std::max(m_worstMs, std::chrono::duration<double, std::milli>(now - m_last).count() - 10);
            m_last = now;
        });
        m_timer.start(10);
    }
    double worstMs() const { return m_worstMs; }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    double m_worstMs = 0;
};

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

void mebibyteWithoutLineEnd()
{
    Wired w;
    w.form.show();
    LoopWatch watch;
    std::atomic<bool> sent{false};
    Clock::time_point lineEnd;
    std::thread balance([&] {
        const QByteArray piece(4096, 'A');
        for (int i = 0; i < 256; ++i)
            w.pty.send(piece);
        lineEnd = Clock::now();
        w.pty.send("\r\n");
        sent = true;
    });
    while (!sent || w.form.Text2->document()->isEmpty())
        runFor(5);
    const auto shown = Clock::now();
    runFor(100); // the watch sees a stall that showing the line caused
    balance.join();
    std::printf("1 MiB without a line end: longest the window went without a turn %.1f ms; "
                "the line showed %.1f ms after its CR LF\n",
                watch.worstMs(), std::chrono::duration<double, std::milli>(shown - lineEnd).count());
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
    std::printf("burst of 100,000 lines (2.0 MB) read in %.2f s: %d lines shown (%.2f MB); longest the "
                "window went without a turn %.1f ms; resident memory %+.1f MB\n",
                seconds, w.form.Text2->document()->blockCount() - 1,
                double(boxBytes(*w.form.Text2->document()).size()) / 1e6, watch.worstMs(),
                (statusKb("VmRSS:") - before) / 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int lines = 300000;
    QStringList sections;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--lines") && i + 1 < args.size())
            lines = args[++i].toInt();
        else if (QStringList{"idle", "latency", "box", "faults"}.contains(args[i]))
            sections << args[i];
        else {
            std::fprintf(stderr, "usage: ondril-bench [idle] [latency] [box] [faults] [--lines N]\n");
            return 2;
        }
    }
    const auto wanted = [&](const char *s) { return sections.isEmpty() || sections.contains(QLatin1String(s)); };
    if (wanted("idle"))
        idleWhileWaiting();
    if (wanted("latency"))
        latency();
    if (wanted("box"))
        longBox(lines);
    if (wanted("faults")) {
        idleAfterLoss();
        mebibyteWithoutLineEnd();
        burst();
    }
    return 0;
}
