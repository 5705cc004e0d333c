#include "LinkTally.h"

namespace ondril {

void LinkTally::commandSent(int command, qint64 at)
{
    if (command < 0 || command >= commandCount)
        return;
    giveUp(); // the one before it had its chance
    ++m_commands[size_t(command)].sent;
    m_pending = Pending{command, at};
}

std::optional<LinkTally::Answer> LinkTally::lineDecoded(bool reading, qint64 at, qint64 firstByte)
{
    if (!reading)
        ++m_notAReading;
    expire(at);
    if (m_pending && firstByte >= 0 && firstByte < m_pending->at) {
        ++m_late;
        return std::nullopt;
    }
    if (!m_pending) {
        ++m_unasked;
        return std::nullopt;
    }
    const Answer answer{m_pending->command, at - m_pending->at};
    PerCommand &c = m_commands[size_t(answer.command)];
    ++c.replies;
    c.times.add(answer.ns);
    m_pending.reset();
    return answer;
}

void LinkTally::expire(qint64 now)
{
    if (m_pending && now - m_pending->at > replyWindowNs)
        giveUp();
}

void LinkTally::giveUp()
{
    if (m_pending)
        ++m_commands[size_t(m_pending->command)].noReply;
    m_pending.reset();
}

LinkTally::PerCommand LinkTally::total() const
{
    PerCommand all;
    for (const PerCommand &c : m_commands) {
        all.sent += c.sent;
        all.replies += c.replies;
        all.noReply += c.noReply;
        all.times.merge(c.times);
    }
    return all;
}

} // namespace ondril
