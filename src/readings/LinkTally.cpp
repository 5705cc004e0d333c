#include "LinkTally.h"

#include "ReplyDecoder.h"

namespace ondril {

void LinkTally::commandSent(int command, qint64 at)
{
    if (command < 0 || command >= commandCount)
        return;
    giveUp(); // the one before it had its chance
    ++m_commands[size_t(command)].sent;
    m_pending = Pending{command, at};
}

void LinkTally::lineCompleted(QByteArrayView line, qint64 at)
{
    if (decodeReply(line).shape == ReplyShape::NotAReading)
        ++m_notAReading;
    expire(at);
    if (!m_pending) {
        ++m_unasked;
        return;
    }
    PerCommand &c = m_commands[size_t(m_pending->command)];
    ++c.replies;
    c.times.add(at - m_pending->at);
    m_pending.reset();
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
