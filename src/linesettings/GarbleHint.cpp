#include "GarbleHint.h"

#include "ScanPlan.h"

namespace ondril {

// A reply cut off here when no line end comes (a wrong speed may lose it).
constexpr qsizetype longestReply = 80;

bool GarbleHint::looksGarbled(QByteArrayView reply)
{
    if (reply.isEmpty() || isReadableReading(reply))
        return false;
    qsizetype high = 0;
    QByteArray low(reply.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < reply.size(); ++i) {
        high += quint8(reply[i]) > 0x7f;
        low[i] = char(reply[i] & 0x7f);
    }
    return high * 4 >= reply.size() || (high > 0 && isReadableReading(low));
}

bool GarbleHint::feed(QByteArrayView bytes)
{
    if (m_told)
        return false;
    for (const char c : bytes) {
        m_reply += c;
        if ((quint8(c) & 0x7f) != '\n' && m_reply.size() < longestReply)
            continue;
        m_inARow = looksGarbled(m_reply) ? m_inARow + 1 : 0;
        m_reply.clear();
        if (m_inARow >= repliesInARow) {
            m_told = true;
            return true;
        }
    }
    return false;
}

void GarbleHint::reset()
{
    m_reply.clear();
    m_inARow = 0;
    m_told = false;
}

} // namespace ondril
