#include "ReplyTimes.h"

#include <algorithm>
#include <cmath>

namespace ondril {

namespace {

const double stepLog = std::log(1.01);

} // namespace

void ReplyTimes::add(qint64 ns)
{
    const double us = std::max(1.0, double(ns) / 1000.0);
    const int step = std::min(steps - 1, int(std::log(us) / stepLog));
    ++m_steps[size_t(step)];
    ++m_count;
    m_worstNs = std::max(m_worstNs, ns);
}

void ReplyTimes::merge(const ReplyTimes &other)
{
    for (size_t i = 0; i < m_steps.size(); ++i)
        m_steps[i] += other.m_steps[i];
    m_count += other.m_count;
    m_worstNs = std::max(m_worstNs, other.m_worstNs);
}

double ReplyTimes::percentileMs(double p) const
{
    if (m_count == 0)
        return 0;
    // The step that holds the reply of that rank, told as its middle.
    const qint64 rank = std::clamp<qint64>(qint64(std::ceil(p * double(m_count))), 1, m_count);
    if (rank == m_count)
        return worstMs(); // the slowest, kept exactly: one reply reads the same in every column
    qint64 seen = 0;
    for (int step = 0; step < steps; ++step) {
        seen += m_steps[size_t(step)];
        if (seen >= rank)
            return std::min(std::exp((step + 0.5) * stepLog) / 1000.0, worstMs());
    }
    return worstMs();
}

} // namespace ondril
