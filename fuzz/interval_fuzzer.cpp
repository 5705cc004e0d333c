// The text of "Time interval" as typed: any text gives an interval within
// the limits, and a rewritten box shows exactly the value used. Texts short
// enough to read exactly are checked against a plain decimal reading.
#include "reception/CycleInterval.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

using namespace ondril;

namespace {

// The leading number in millionths, or -1 when it does not fit; sign apart.
struct Reading {
    bool negative = false;
    qint64 micro = -1;
};

Reading read(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[ \\t]*([+-]?)([0-9]*)(?:\\.([0-9]*))?"));
    const QRegularExpressionMatch m = number.match(text);
    Reading r;
    r.negative = m.captured(1) == QLatin1String("-");
    const QString whole = m.captured(2), fraction = m.captured(3);
    if (whole.size() > 9 || fraction.size() > 6)
        return r;
    r.micro = whole.toLongLong() * 1000000 + fraction.leftJustified(6, u'0').toLongLong();
    return r;
}

// The interval, and whether the box must be rewritten to show it.
CycleInterval expected(const Reading &r)
{
    const qint64 whole = r.micro / 1000000, part = r.micro % 1000000;
    if (r.negative || whole < shortestCycleMs)
        return {shortestCycleMs, QString::number(shortestCycleMs)};
    if (r.micro > qint64(longestCycleMs) * 1000000)
        return {longestCycleMs, QString::number(longestCycleMs)};
    const bool up = part > 500000 || (part == 500000 && whole % 2 == 1);
    return {int(whole) + (up ? 1 : 0), QString()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const CycleInterval got = cycleInterval(text);
    if (got.ms < shortestCycleMs || got.ms > longestCycleMs)
        std::abort();
    if (!got.clampedText.isEmpty() && got.clampedText != QString::number(got.ms))
        std::abort();
    const Reading r = read(text);
    if (r.micro >= 0) {
        const CycleInterval want = expected(r);
        if (got.ms != want.ms || got.clampedText != want.clampedText)
            std::abort();
    }
    return 0;
}
