#pragma once

#include "paged/BigArray.h"
#include "ReadingsLog.h"
#include "ReadingStats.h"

#include <array>

namespace ondril {

// The readings that fall in one pixel column of the trend: at most a
// minimum and a maximum of each kind, however many readings there are.
struct TrendColumn {
    double stableLow = 0, stableHigh = 0;
    double movingLow = 0, movingHigh = 0; // unstable, or of unknown stability
    quint32 stable = 0, moving = 0;
    bool overload = false, underload = false;

    // A line's part in the column of `unit`'s trend: an overload or an
    // underload marks it whatever its unit; a weighing in that unit widens
    // its kind's extremes and goes into `stats`, when given.
    void add(const ReadingsLog::Record &r, quint8 unit, ReadingStats *stats);
    // Another column's readings, and their statistics.
    void merge(const TrendColumn &other);
};

// What the trend needs of each run of 64, 512 and 4,096 lines of a log, kept up
// with the log as it grows, so that a trend of ten million readings is drawn
// from a few thousand summaries and a refresh costs what it costs with a
// thousand. Built when first asked, then only for the lines since.
class TrendIndex {
public:
    // Block sizes, smallest first; each holds a whole number of the one before.
    static constexpr std::array<qint64, 3> blockSizes{64, 512, 4096};
    static constexpr std::array<int, 3> blockShifts{6, 9, 12};
    static_assert(blockSizes[0] == 1 << blockShifts[0] && blockSizes[1] == 1 << blockShifts[1] &&
                  blockSizes[2] == 1 << blockShifts[2]);

    // What a redraw reads of each block it walks past; the statistics, read
    // only for the blocks taken, are kept apart so that these stay few cache
    // lines.
    struct Summary {
        qint64 firstMs = 0;
        qint64 lastMs = 0;
        quint8 unit = noUnit; // of its weighings
        TrendColumn column;   // with its weighings
        static constexpr quint8 noUnit = 255;
        static constexpr quint8 mixedUnits = 254;
    };

    // Takes in the lines the log has gained since; starts again after a
    // Reset or a recovery laid the log out anew.
    void catchUp(const ReadingsLog &log);
    // The summary of the block of blockSizes[level] lines from `first`, when
    // one starts there and all its lines are in.
    const Summary *block(size_t level, qint64 first) const;
    // The statistics of the weighings of that block, when block() gives it.
    const ReadingStats &statsOf(size_t level, qint64 first) const;

private:
    static void add(Summary &s, ReadingStats &stats, const ReadingsLog::Record &r);
    static void merge(Summary &s, ReadingStats &stats, const Summary &other, const ReadingStats &otherStats);

    quint64 m_layout = 0; // the log's layout it was built from
    qint64 m_lines = 0;
    bool m_broken = false; // no memory for it: unused until the log starts again
    std::array<BigArray<Summary>, blockSizes.size()> m_blocks;
    std::array<BigArray<ReadingStats>, blockSizes.size()> m_stats;
};

} // namespace ondril
