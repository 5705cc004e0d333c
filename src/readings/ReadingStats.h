#pragma once

#include "ReplyDecoder.h"

#include <optional>

namespace ondril {

// Count, mean, standard deviation, minimum, maximum and the share of stable
// readings of one unit, in one pass. The sums are kept exactly, in units of
// the finest digit the balance sent, as offsets from the first reading: they
// stay exact for millions of readings of any balance, and only the final
// division and square root round.
class ReadingStats {
public:
    void add(SentValue value, bool stable);
    // As if every reading of `other` had been added after these: exactly
    // where the sums allow it, else by Welford's combination.
    void merge(const ReadingStats &other);

    qint64 count() const { return m_count; }
    double mean() const;
    // The sample standard deviation (n - 1); 0 below two readings.
    double standardDeviation() const;
    std::optional<SentValue> minimum() const { return m_count ? std::optional(m_min) : std::nullopt; }
    std::optional<SentValue> maximum() const { return m_count ? std::optional(m_max) : std::nullopt; }
    double range() const { return m_high - m_low; }
    double stableShare() const { return m_count ? double(m_stable) / double(m_count) : 0; }
    // False once the exact sums would overflow; the figures then come from
    // Welford's running mean and variance in long double.
    bool exact() const { return m_exact; }

private:
    using Wide = __int128;
    // Adds `value` to the exact sums, rescaling them first when it has more
    // digits than any before it; false, with nothing changed, on overflow.
    bool addExactly(SentValue value);
    bool mergeExactly(const ReadingStats &other);
    void startWelford();
    // Mean and sum of squared deviations, however kept.
    void moments(long double *mean, long double *m2) const;

    qint64 m_count = 0;
    qint64 m_stable = 0;
    int m_decimals = 0;
    Wide m_first = 0; // in units of 10^-m_decimals
    Wide m_sum = 0;   // of offsets from the first
    Wide m_squares = 0;
    bool m_exact = true;
    long double m_mean = 0; // Welford, once the exact sums would overflow
    long double m_m2 = 0;
    SentValue m_min;
    SentValue m_max;
    double m_low = 0; // m_min and m_max as numbers
    double m_high = 0;
};

// The repeatability check: twice the standard deviation, taken as at least
// 0.41 scale intervals, against the nominal mass; within 0.10 % it passes.
struct Repeatability {
    double percent;
    bool passes;
};
Repeatability repeatability(double standardDeviation, double nominal, double scaleInterval);

} // namespace ondril
