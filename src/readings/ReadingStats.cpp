#include "ReadingStats.h"

#include <algorithm>
#include <cmath>

namespace ondril {

namespace {

bool less(SentValue a, SentValue b)
{
    return a.toDouble() < b.toDouble();
}

} // namespace

ReadingStats::Wide ReadingStats::scaled(SentValue value)
{
    Wide v = value.mantissa;
    for (int d = value.decimals; d < m_decimals; ++d)
        v *= 10;
    return v;
}

void ReadingStats::add(SentValue value, bool stable)
{
    if (m_count == 0) {
        m_decimals = value.decimals;
        m_first = value.mantissa;
        m_min = m_max = value;
    }
    // A finer digit than before: everything so far in the finer unit.
    for (; m_decimals < value.decimals && m_exact; ++m_decimals) {
        Wide first, sum, squares;
        if (__builtin_mul_overflow(m_first, Wide(10), &first) || __builtin_mul_overflow(m_sum, Wide(10), &sum)
            || __builtin_mul_overflow(m_squares, Wide(100), &squares))
            m_exact = false;
        else
            m_first = first, m_sum = sum, m_squares = squares;
    }
    m_decimals = std::max<int>(m_decimals, value.decimals);
    if (m_exact) {
        const Wide offset = scaled(value) - m_first;
        Wide square, sum, squares;
        if (__builtin_mul_overflow(offset, offset, &square) || __builtin_add_overflow(m_sum, offset, &sum)
            || __builtin_add_overflow(m_squares, square, &squares))
            m_exact = false;
        else
            m_sum = sum, m_squares = squares;
    }
    ++m_count;
    if (stable)
        ++m_stable;
    const long double x = value.toDouble();
    const long double delta = x - m_mean;
    m_mean += delta / m_count;
    m_m2 += delta * (x - m_mean);
    if (less(value, m_min))
        m_min = value;
    if (less(m_max, value))
        m_max = value;
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
    // n·Σx² − (Σx)², exactly, over n(n − 1).
    const Wide n = m_count;
    Wide spread;
    if (__builtin_mul_overflow(n, m_squares, &spread))
        return double(std::sqrt(m_m2 / (m_count - 1)));
    spread -= m_sum * m_sum; // fits: (Σx)² ≤ n·Σx²
    const long double unit = std::pow(10.0L, -m_decimals);
    const long double variance = static_cast<long double>(spread) / (static_cast<long double>(n) * (m_count - 1));
    return double(std::sqrt(variance) * unit);
}

Repeatability repeatability(double standardDeviation, double nominal, double scaleInterval)
{
    const double s = std::max(standardDeviation, 0.41 * scaleInterval);
    const double percent = nominal > 0 ? 200.0 * s / nominal : 0;
    return {percent, nominal > 0 && percent <= 0.10};
}

} // namespace ondril
