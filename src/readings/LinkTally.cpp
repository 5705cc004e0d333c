#include "LinkTally.h"

namespace ondril {

namespace {

LinkTally::PerCommand named(const QString &name, bool asksWeight)
{
    LinkTally::PerCommand c;
    c.name = name;
    c.asksWeight = asksWeight;
    return c;
}

} // namespace

LinkTally::LinkTally()
{
    for (const BalanceCommand &c : balanceCommands)
        m_commands.push_back(named(QLatin1String(c.caption), &c == &printCommand));
}

int LinkTally::find(const QString &name) const
{
    for (size_t i = 0; i < m_commands.size(); ++i)
        if (m_commands[i].name == name)
            return int(i);
    return -1;
}

int LinkTally::commandNamed(const QString &name, bool asksWeight)
{
    if (const int known = find(name); known >= 0)
        return known;
    if (m_commands.size() >= size_t(mostCommands))
        return -1;
    m_commands.push_back(named(name, asksWeight));
    return int(m_commands.size()) - 1;
}

void LinkTally::commandSent(int command, qint64 at)
{
    if (command < 0 || command >= commandCount())
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
    PerCommand all = named(QStringLiteral("all"), false);
    for (const PerCommand &c : m_commands) {
        all.sent += c.sent;
        all.replies += c.replies;
        all.noReply += c.noReply;
        all.times.merge(c.times);
    }
    return all;
}

} // namespace ondril
