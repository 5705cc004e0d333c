#pragma once

#include "ReplyTimes.h"
#include "commands/BalanceCommand.h"
#include "reception/CycleInterval.h"

#include <QString>

#include <optional>
#include <vector>

namespace ondril {

// How the link behaved: every command that went out, the first line that came
// after it as its reply and how long that took, the commands that got none
// within two seconds or before the next command, lines nobody asked for,
// lines that were no reading, and the bytes the line collector discarded.
// Times are nanoseconds on a steady clock, told by the caller.
class LinkTally {
public:
    static constexpr qint64 replyWindowNs = qint64(replyTimeoutMs) * 1'000'000;
    // The buttons' commands come first, in their order; commands sent from
    // elsewhere follow under their names, as many as a record can index.
    static constexpr int mostCommands = 127;

    LinkTally();

    struct PerCommand {
        QString name;
        bool asksWeight = false;
        qint64 sent = 0;
        qint64 replies = 0;
        qint64 noReply = 0;
        ReplyTimes times;
    };

    // The index of the command of that name, added when new (-1 when there
    // is no room); `asksWeight`: its replies are weighings, as PRINT's are.
    int commandNamed(const QString &name, bool asksWeight);
    int find(const QString &name) const; // -1: none of that name
    // `command`: a button's index, or one commandNamed gave.
    void commandSent(int command, qint64 at);
    // What a line answered: the command and how long it took.
    struct Answer {
        int command;
        qint64 ns;
    };
    // A line the collector completed, at its CR LF, already decoded: whether
    // it was a reading. A line whose first byte was there before the command
    // went out (`firstByte`, when known) is no answer to it: it came late,
    // for an earlier one, and the command still waits.
    std::optional<Answer> lineDecoded(bool reading, qint64 at, qint64 firstByte = -1);
    void discarded(qint64 bytes) { m_discardedBytes += bytes; }
    // A command still waiting at `now` has no reply once its time is up.
    void expire(qint64 now);
    void reset() { *this = LinkTally(); }

    int commandCount() const { return int(m_commands.size()); }
    const PerCommand &command(int index) const { return m_commands[size_t(index)]; }
    const QString &name(int index) const { return m_commands[size_t(index)].name; }
    bool asksWeight(int index) const { return m_commands[size_t(index)].asksWeight; }
    PerCommand total() const;
    qint64 unasked() const { return m_unasked; }
    qint64 late() const { return m_late; }
    qint64 notAReading() const { return m_notAReading; }
    qint64 discardedBytes() const { return m_discardedBytes; }
    bool awaitingReply() const { return m_pending.has_value(); }

private:
    struct Pending {
        int command;
        qint64 at;
    };
    void giveUp();

    std::vector<PerCommand> m_commands;
    std::optional<Pending> m_pending;
    qint64 m_unasked = 0;
    qint64 m_late = 0;
    qint64 m_notAReading = 0;
    qint64 m_discardedBytes = 0;
};

} // namespace ondril
