#include "ReadingStats.h"

#include <algorithm>
#include <cmath>

namespace ondril {

void ReadingStats::add(SentValue value, bool stable)
{
    const double x = value.toDouble();
    if (m_count == 0) {
        m_decimals = value.decimals;
        m_first = value.mantissa;
        m_min = m_max = value;
        m_low = m_high = x;
    }
    if (m_exact && !addExactly(value))
        startWelford();
    ++m_count;
    if (stable)
        ++m_stable;
    if (!m_exact) {
        const long double delta = x - m_mean;
        m_mean += delta / m_count;
        m_m2 += delta * (x - m_mean);
    }
    if (x < m_low) {
        m_min = value;
        m_low = x;
    } else if (x > m_high) {
        m_max = value;
        m_high = x;
    }
}

namespace {
// `first`, `sum` and `squares` in a unit `digits` decimals finer.
bool rescale(__int128 &first, __int128 &sum, __int128 &squares, int digits)
{
    for (int d = 0; d < digits; ++d)
        if (__builtin_mul_overflow(first, __int128(10), &first) || __builtin_mul_overflow(sum, __int128(10), &sum)
            || __builtin_mul_overflow(squares, __int128(100), &squares))
            return false;
    return true;
}
} // namespace

bool ReadingStats::addExactly(SentValue value)
{
    // A reading is a merge of one.
    ReadingStats one;
    one.m_count = 1;
    one.m_decimals = value.decimals;
    one.m_first = value.mantissa;
    return mergeExactly(one);
}

void ReadingStats::moments(long double *mean, long double *m2) const
{
    if (!m_exact) {
        *mean = m_mean;
        *m2 = m_m2;
        return;
    }
    const long double unit = std::pow(10.0L, -m_decimals);
    const long double n = m_count;
    const long double sum = static_cast<long double>(m_sum);
    *mean = (static_cast<long double>(m_first) + sum / n) * unit;
    *m2 = (static_cast<long double>(m_squares) - sum * sum / n) * unit * unit;
}

// The exact sums would overflow: Welford's running mean and variance take
// over from what they hold.
void ReadingStats::startWelford()
{
    moments(&m_mean, &m_m2);
    m_exact = false;
}

bool ReadingStats::mergeExactly(const ReadingStats &o)
{
    const int decimals = std::max(m_decimals, o.m_decimals);
    Wide first = m_first, sum = m_sum, squares = m_squares;
    Wide oFirst = o.m_first, oSum = o.m_sum, oSquares = o.m_squares;
    if (!rescale(first, sum, squares, decimals - m_decimals) || !rescale(oFirst, oSum, oSquares, decimals - o.m_decimals))
        return false;
    // The other's offsets, from this first reading: x − a = (x − b) + δ.
    const Wide n = o.m_count;
    const Wide delta = oFirst - first;
    Wide t;
    if (__builtin_mul_overflow(n, delta, &t) || __builtin_add_overflow(sum, oSum, &sum)
        || __builtin_add_overflow(sum, t, &sum))
        return false;
    // Σ(x − a)² = Σ(x − b)² + 2δ·Σ(x − b) + n·δ²
    Wide cross, square;
    if (__builtin_mul_overflow(delta, oSum, &cross) || __builtin_mul_overflow(cross, Wide(2), &cross)
        || __builtin_mul_overflow(delta, delta, &square) || __builtin_mul_overflow(square, n, &square)
        || __builtin_add_overflow(squares, oSquares, &squares) || __builtin_add_overflow(squares, cross, &squares)
        || __builtin_add_overflow(squares, square, &squares))
        return false;
    m_decimals = decimals;
    m_first = first;
    m_sum = sum;
    m_squares = squares;
    return true;
}

void ReadingStats::merge(const ReadingStats &o)
{
    if (o.m_count == 0)
        return;
    if (m_count == 0) {
        *this = o;
        return;
    }
    if (!(m_exact && o.m_exact && mergeExactly(o))) {
        // Chan's combination of two means and sums of squared deviations.
        long double mean, m2, oMean, oM2;
        moments(&mean, &m2);
        o.moments(&oMean, &oM2);
        const long double n = m_count, on = o.m_count, all = n + on;
        const long double delta = oMean - mean;
        m_mean = mean + delta * on / all;
        m_m2 = m2 + oM2 + delta * delta * n * on / all;
        m_exact = false;
    }
    m_count += o.m_count;
    m_stable += o.m_stable;
    if (o.m_low < m_low) {
        m_min = o.m_min;
        m_low = o.m_low;
    }
    if (o.m_high > m_high) {
        m_max = o.m_max;
        m_high = o.m_high;
    }
}

double ReadingStats::mean() const
{
    if (m_count == 0)
        return 0;
    if (!m_exact)
        return double(m_mean);
    const long double unit = std::pow(10.0L, -m_decimals);
    return double((static_cast<long double>(m_first) + static_cast<long double>(m_sum) / m_count) * unit);
}

double ReadingStats::standardDeviation() const
{
    if (m_count < 2)
        return 0;
    if (!m_exact)
        return double(std::sqrt(m_m2 / (m_count - 1)));
    // n·Σx² − (Σx)², exactly, over n(n − 1); where n·Σx² would overflow, the
    // same from the exact sums in long double (the offsets from the first
    // reading keep the two terms far enough apart).
    const Wide n = m_count;
    const long double unit = std::pow(10.0L, -m_decimals);
    Wide spread;
    long double variance;
    if (__builtin_mul_overflow(n, m_squares, &spread)) {
        const long double sum = static_cast<long double>(m_sum);
        variance = (static_cast<long double>(m_squares) - sum * sum / m_count) / (m_count - 1);
    } else {
        spread -= m_sum * m_sum; // fits: (Σx)² ≤ n·Σx²
        variance = static_cast<long double>(spread) / (static_cast<long double>(n) * (m_count - 1));
    }
    return double(std::sqrt(std::max(variance, 0.0L)) * unit);
}

Repeatability repeatability(double standardDeviation, double nominal, double scaleInterval)
{
    const double s = std::max(standardDeviation, 0.41 * scaleInterval);
    const double percent = nominal > 0 ? 200.0 * s / nominal : 0;
    return {percent, nominal > 0 && percent <= 0.10};
}

} // namespace ondril
