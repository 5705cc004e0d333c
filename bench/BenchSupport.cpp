#include "BenchSupport.h"

#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <time.h>

namespace bench {

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

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

void runFor(int ms, const std::function<void()> &then)
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

void StderrDialogs::message(QWidget *, const QString &text, const QString &)
{
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
}

LoopWatch::LoopWatch()
{
    m_last = Clock::now();
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        m_worstMs = std::max(m_worstMs, msSince(m_last) - 10);
        m_last = Clock::now();
    });
    m_timer.start(10);
}

} // namespace bench
