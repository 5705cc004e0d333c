#include "CycleInterval.h"

namespace ondril {

namespace {

enum class Fraction { Zero, BelowHalf, Half, AboveHalf };

// The leading number, read exactly from its digits: the whole part (saturated,
// since anything past the limit is clamped anyway) and how its fraction
// compares to one half.
struct LeadingNumber {
    bool negative = false;
    qint64 whole = 0;
    Fraction fraction = Fraction::Zero;
};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

LeadingNumber readLeadingNumber(const QString &text)
{
    constexpr qint64 saturated = qint64(longestCycleMs) * 10;
    LeadingNumber n;
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    if (i < size && (text[i] == u'+' || text[i] == u'-'))
        n.negative = text[i++] == u'-';
    for (; i < size && isDigit(text[i]); ++i)
        n.whole = qMin(saturated, n.whole * 10 + (text[i].unicode() - u'0'));
    if (i < size && text[i] == u'.') {
        const qsizetype first = ++i;
        bool restNonZero = false;
        for (; i < size && isDigit(text[i]); ++i)
            restNonZero = restNonZero || (i > first && text[i] != u'0');
        if (i > first) {
            const QChar d = text[first];
            n.fraction = d > u'5' || (d == u'5' && restNonZero) ? Fraction::AboveHalf
                       : d == u'5'                              ? Fraction::Half
                       : d > u'0' || restNonZero                ? Fraction::BelowHalf
                                                                : Fraction::Zero;
        }
    }
    return n;
}

} // namespace

CycleInterval cycleInterval(const QString &text)
{
    const LeadingNumber n = readLeadingNumber(text);
    if (n.negative || n.whole < shortestCycleMs) // a negative value is below 100 too
        return {shortestCycleMs, QString::number(shortestCycleMs)};
    if (n.whole > longestCycleMs || (n.whole == longestCycleMs && n.fraction != Fraction::Zero))
        return {longestCycleMs, QString::number(longestCycleMs)};
    const bool up = n.fraction == Fraction::AboveHalf || (n.fraction == Fraction::Half && n.whole % 2 == 1);
    return {int(n.whole) + (up ? 1 : 0), QString()};
}

} // namespace ondril
