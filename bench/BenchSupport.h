#pragma once
// What the benchmark sections share: clocks, the process's own figures, an
// event loop run for a while, and a window wired to a pseudo-terminal.
#include "Pty.h"
#include "serial/SerialComm.h"
#include "window/Dialogs.h"
#include "window/Form1.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0);
double processCpuSeconds();
// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:").
long statusKb(const char *field);
// Runs the event loop for `ms` milliseconds, then `then`.
void runFor(int ms, const std::function<void()> &then = {});
double percentile(std::vector<double> v, double p);

class StderrDialogs : public ondril::Dialogs {
public:
    using ondril::Dialogs::message;
    void message(QWidget *, const QString &text, const QString &details) override;
    QString openFile(QWidget *, const ondril::FileDialogRequest &) override { return {}; }
    void notice(QWidget *parent, const QString &text) override { message(parent, text); }
    QString textInput(QWidget *, const QString &, const QString &) override { return {}; }
    void offer(QWidget *parent, const QString &text, const QString &, std::function<void()>) override
    {
        message(parent, text);
    }
};

struct Wired {
    Pty pty;
    StderrDialogs dialogs;
    ondril::SerialComm comm{ondril::PortMap::fromList(pty.path())};
    ondril::Form1 form{&comm, &dialogs};
    bool loaded = form.Form_Load();
};

// The longest stretch the event loop went without a turn, watched by a 10 ms timer.
class LoopWatch {
public:
    LoopWatch();
    double worstMs() const { return m_worstMs; }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    double m_worstMs = 0;
};

// The sections of the receive box (box_bench.cpp).
void longBox(int lines);
void longLine(int megabytes);
// The reply decoder (readings_bench.cpp).
void decoderSpeed();
void readingsMemory(qint64 readings);
void trendRedraw(qint64 readings);
void readingsWindowRefresh();
// The journal (journal_bench.cpp).
void journalCost();
// The Tools menu and Recover with a folder of large journals, one of `megabytes` to recover.
void recoverCost(qint64 megabytes);
void scanTimes();
void linkFigures();
void mebibyteWithoutLineEnd();

} // namespace bench
