#include "TrendIndex.h"

#include <algorithm>

namespace ondril {

namespace {

void widen(quint32 &count, double &low, double &high, quint32 more, double moreLow, double moreHigh)
{
    if (more == 0)
        return;
    if (count == 0) {
        low = moreLow;
        high = moreHigh;
    } else {
        low = std::min(low, moreLow);
        high = std::max(high, moreHigh);
    }
    count += more;
}

} // namespace

void TrendColumn::add(const ReadingsLog::Record &r, quint8 unit, ReadingStats &stats)
{
    const ReadingStatus status = r.status();
    if (status == ReadingStatus::Overload || status == ReadingStatus::Underload) {
        (status == ReadingStatus::Overload ? overload : underload) = true;
        return;
    }
    if (r.unit != unit || !r.isWeighing() || !r.hasValue())
        return;
    const bool isStable = status == ReadingStatus::Stable;
    const double v = r.value().toDouble();
    stats.add(r.value(), isStable);
    if (isStable)
        widen(stable, stableLow, stableHigh, 1, v, v);
    else
        widen(moving, movingLow, movingHigh, 1, v, v);
}

void TrendColumn::merge(const TrendColumn &o)
{
    widen(stable, stableLow, stableHigh, o.stable, o.stableLow, o.stableHigh);
    widen(moving, movingLow, movingHigh, o.moving, o.movingLow, o.movingHigh);
    overload = overload || o.overload;
    underload = underload || o.underload;
}

void TrendIndex::add(Summary &s, const ReadingsLog::Record &r)
{
    s.lastMs = r.wallMs;
    if (r.isWeighing() && r.hasValue() && r.unit != Summary::noUnit) {
        if (s.unit == Summary::noUnit)
            s.unit = r.unit;
        else if (s.unit != r.unit)
            s.unit = Summary::mixedUnits;
    }
    // A block of several units is never taken whole: its column need not be right.
    s.column.add(r, s.unit == Summary::mixedUnits ? r.unit : s.unit, s.stats);
}

void TrendIndex::catchUp(const ReadingsLog &log)
{
    if (log.layout() != m_layout || log.size() < m_lines) {
        m_layout = log.layout();
        m_lines = 0;
        m_broken = false;
        m_small.clear();
        m_large.clear();
    }
    if (m_broken)
        return;
    for (; m_lines < log.size(); ++m_lines) {
        const ReadingsLog::Record &r = log.record(m_lines);
        const size_t at = size_t(m_lines / smallBlock);
        if (at == m_small.size()) {
            if (!m_small.reserve(at + 1)) {
                m_broken = true; // no memory: the trend reads the lines themselves
                return;
            }
            *m_small.open(at, 1) = Summary{r.wallMs, r.wallMs, Summary::noUnit, {}, {}};
        }
        add(m_small[at], r);
        // A large block is the small ones it holds, each taken once whole.
        if ((m_lines + 1) % smallBlock != 0)
            continue;
        const size_t large = size_t(m_lines / largeBlock);
        if (large == m_large.size()) {
            if (!m_large.reserve(large + 1)) {
                m_broken = true;
                return;
            }
            *m_large.open(large, 1) = m_small[at];
        } else {
            merge(m_large[large], m_small[at]);
        }
    }
}

void TrendIndex::merge(Summary &s, const Summary &o)
{
    s.lastMs = o.lastMs;
    if (o.unit != Summary::noUnit)
        s.unit = s.unit == Summary::noUnit || s.unit == o.unit ? o.unit : Summary::mixedUnits;
    s.column.merge(o.column);
    s.stats.merge(o.stats);
}

const TrendIndex::Summary *TrendIndex::block(qint64 first, qint64 size) const
{
    const BigArray<Summary> &blocks = size == largeBlock ? m_large : m_small;
    if (m_broken || first % size != 0 || first + size > m_lines)
        return nullptr;
    return &blocks[size_t(first / size)];
}

} // namespace ondril
