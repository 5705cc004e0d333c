#pragma once

#include <QtGlobal>

#include <array>

namespace ondril {

// Reply times in constant room: a count per step of 1 % from 1 µs to about
// 100 s, so that the median and the 95th percentile of millions of replies
// come within 1 % of the truth at once; the worst is kept exactly.
class ReplyTimes {
public:
    void add(qint64 ns);
    void merge(const ReplyTimes &other);
    qint64 count() const { return m_count; }
    // 0 with no replies.
    double percentileMs(double p) const;
    double worstMs() const { return double(m_worstNs) / 1e6; }

private:
    static constexpr int steps = 1852; // 1.01^1852 µs is past 100 s
    std::array<quint32, steps> m_steps{};
    qint64 m_count = 0;
    qint64 m_worstNs = 0;
};

} // namespace ondril
