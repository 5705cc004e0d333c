#include "ScanPlan.h"

#include "readings/ReplyDecoder.h"

#include <QStringList>
#include <QtAlgorithms>

#include <algorithm>

namespace ondril {

static QByteArrayView upToLineEnd(QByteArrayView reply)
{
    for (qsizetype i = 0; i < reply.size(); ++i)
        if (endsReply(reply[i]))
            return reply.first(i + 1);
    return reply;
}

QByteArray withoutBit7(QByteArrayView reply)
{
    QByteArray low(reply.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < reply.size(); ++i)
        low[i] = char(reply[i] & 0x7f);
    return low;
}

bool isReadableReading(QByteArrayView reply)
{
    const QByteArrayView line = upToLineEnd(reply);
    if (!line.endsWith('\n'))
        return false;
    for (const char c : line)
        if ((quint8(c) < 0x20 && c != '\r' && c != '\n') || quint8(c) > 0x7e)
            return false;
    const Reply r = decodeReply(line);
    return r.shape != ReplyShape::NotAReading;
}

std::optional<LineSettings> framingFromTopBits(QByteArrayView reply, qint32 baud)
{
    const QByteArrayView line = upToLineEnd(reply);
    const QByteArray low = withoutBit7(line);
    bool even = true, odd = true, set = true;
    for (const char c : line) {
        const quint8 b = quint8(c);
        const bool top = b & 0x80;
        const bool onesOdd = qPopulationCount(quint8(b & 0x7f)) & 1;
        even = even && top == onesOdd;
        odd = odd && top != onesOdd;
        set = set && top;
    }
    if (low == line || !isReadableReading(low))
        return std::nullopt;
    LineSettings s;
    s.baud = baud;
    s.dataBits = 7;
    if (odd)
        s.parity = 'o';
    else if (even)
        s.parity = 'e';
    else if (set)
        s.stopBitsTimesTwo = 4;
    else
        return std::nullopt;
    return s;
}

static LineSettings framing(const char *name)
{
    LineSettings s;
    s.dataBits = name[0] - '0';
    s.parity = char(QChar::fromLatin1(name[1]).toLower().toLatin1());
    s.stopBitsTimesTwo = 2 * (name[2] - '0');
    return s;
}

ScanPlan::ScanPlan(const QList<qint32> &speeds)
{
    static const qint32 common[] = {9600, 1200, 2400, 4800, 600, 19200};
    QList<qint32> order;
    for (const qint32 s : common)
        if (speeds.contains(s))
            order << s;
    for (const qint32 s : speeds)
        if (!order.contains(s))
            order << s;
    static const char *const phases[][4] = {{"8N1", "7E1", "7O1", nullptr}, {"8E1", "8O1", "7N2", "8N2"}};
    QStringList names;
    for (const auto &phase : phases)
        for (const qint32 baud : order)
            for (const char *name : phase) {
                if (!name)
                    continue;
                LineSettings s = framing(name);
                s.baud = baud;
                m_tries << s;
                if (baud == order.first())
                    names << QString::fromLatin1(name);
            }
    const auto [low, high] = std::minmax_element(order.begin(), order.end());
    m_coverage = order.isEmpty() ? QString()
                                 : QStringLiteral("%1 to %2 baud; %3").arg(*low).arg(*high).arg(names.join(QStringLiteral(", ")));
}

bool ScanPlan::next(LineSettings *out)
{
    if (m_tries.isEmpty())
        return false;
    *out = m_tries.takeFirst();
    ++m_made;
    return true;
}

bool ScanPlan::heard(const LineSettings &tried, QByteArrayView reply)
{
    if (tried.dataBits != 8 || tried.parity != 'n')
        return false;
    const std::optional<LineSettings> pointed = framingFromTopBits(reply, tried.baud);
    if (!pointed)
        return false;
    const auto at = std::find_if(m_tries.begin(), m_tries.end(), [&](const LineSettings &s) {
        return s.baud == pointed->baud && s.sameFraming(*pointed);
    });
    if (at == m_tries.end())
        return false;
    std::rotate(m_tries.begin(), at, at + 1);
    return true;
}

double charMs(const LineSettings &line)
{
    const int bits = 1 + line.dataBits + (line.parity != 'n') + line.stopBitsTimesTwo / 2;
    return 1000.0 * bits / line.baud;
}

} // namespace ondril
