#include "GarbleHint.h"

#include "ScanPlan.h"

#include <algorithm>

namespace ondril {


bool GarbleHint::looksGarbled(QByteArrayView reply)
{
    if (reply.isEmpty() || isReadableReading(reply))
        return false;
    const qsizetype high = std::count_if(reply.begin(), reply.end(), [](char c) { return quint8(c) > 0x7f; });
    return high * 4 >= reply.size() || (high > 0 && isReadableReading(withoutBit7(reply)));
}

bool GarbleHint::feed(QByteArrayView bytes)
{
    if (m_told)
        return false;
    for (const char c : bytes) {
        m_reply += c;
        if (!endsReply(c) && m_reply.size() < longestReply)
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
