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

void TrendColumn::add(const ReadingsLog::Record &r, quint8 unit, ReadingStats *stats)
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
    if (stats)
        stats->add(r.value(), isStable);
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

void TrendIndex::add(Summary &s, ReadingStats &stats, const ReadingsLog::Record &r)
{
    s.lastMs = r.wallMs;
    if (r.isWeighing() && r.hasValue() && r.unit != Summary::noUnit) {
        if (s.unit == Summary::noUnit)
            s.unit = r.unit;
        else if (s.unit != r.unit)
            s.unit = Summary::mixedUnits;
    }
    // A block of several units is never taken whole: its column need not be right.
    s.column.add(r, s.unit == Summary::mixedUnits ? r.unit : s.unit, &stats);
}

void TrendIndex::catchUp(const ReadingsLog &log)
{
    if (log.layout() != m_layout || log.size() < m_lines) {
        m_layout = log.layout();
        m_lines = 0;
        m_broken = false;
        for (size_t level = 0; level < blockSizes.size(); ++level) {
            m_blocks[level].clear();
            m_stats[level].clear();
        }
    }
    // The block at `at` of `level` opened with the summary and statistics of
    // its first part; false without memory.
    const auto open = [this](size_t level, size_t at, const Summary &first, const ReadingStats &stats) {
        if (at < m_blocks[level].size())
            return true;
        if (!m_blocks[level].reserve(at + 1) || !m_stats[level].reserve(at + 1)) {
            m_broken = true; // the trend reads the lines themselves
            return false;
        }
        *m_blocks[level].open(at, 1) = first;
        *m_stats[level].open(at, 1) = stats;
        return true;
    };
    for (; !m_broken && m_lines < log.size(); ++m_lines) {
        const ReadingsLog::Record &r = log.record(m_lines);
        const size_t at = size_t(m_lines) >> blockShifts[0];
        if (!open(0, at, Summary{r.wallMs, r.wallMs, Summary::noUnit, {}}, {}))
            return;
        add(m_blocks[0][at], m_stats[0][at], r);
        // A larger block is the smallest ones it holds, each taken once whole.
        if ((m_lines + 1) % blockSizes[0] != 0)
            continue;
        for (size_t level = 1; level < blockSizes.size(); ++level) {
            const size_t upper = size_t(m_lines) >> blockShifts[level];
            if (upper < m_blocks[level].size())
                merge(m_blocks[level][upper], m_stats[level][upper], m_blocks[0][at], m_stats[0][at]);
            else if (!open(level, upper, m_blocks[0][at], m_stats[0][at]))
                return;
        }
    }
}

void TrendIndex::merge(Summary &s, ReadingStats &stats, const Summary &o, const ReadingStats &oStats)
{
    s.lastMs = o.lastMs;
    if (o.unit != Summary::noUnit)
        s.unit = s.unit == Summary::noUnit || s.unit == o.unit ? o.unit : Summary::mixedUnits;
    s.column.merge(o.column);
    stats.merge(oStats);
}

const TrendIndex::Summary *TrendIndex::block(size_t level, qint64 first) const
{
    // Shifts, not divisions: this is asked at each line a redraw walks.
    const qint64 size = blockSizes[level];
    if (m_broken || (first & (size - 1)) != 0 || first + size > m_lines)
        return nullptr;
    return &m_blocks[level][size_t(first) >> blockShifts[level]];
}

const ReadingStats &TrendIndex::statsOf(size_t level, qint64 first) const
{
    return m_stats[level][size_t(first) >> blockShifts[level]];
}

} // namespace ondril
