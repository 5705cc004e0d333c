#include "receivebox/ReceiveBox.h"
#include "serial/MSComm.h"
#include "window/Form1.h"
#include "window/SteadyClock.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QTime>
#include <QTimer>

#include <utility>

namespace ondril {

bool Form1::collectLine(const StopFlag &stop, int replyTimeoutMs)
{
    static const QString crLf = QStringLiteral("\r\n");
    QString pending = std::exchange(m_carried, {});
    qint64 firstByte = 0; // when the line's first byte came, as far as the port knows
    qint64 skipped = 0;   // the rest of a line whose start was thrown away
    // A device lost meanwhile ends the wait too: its partial line is stale,
    // even when the device is back before this wait looks again.
    const quint64 losses = m_losses;
    // A cycle tick gives its reply up in time, so that the next tick asks again.
    bool timedOut = false;
    QTimer deadline;
    if (replyTimeoutMs > 0) {
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, this, [&] {
            timedOut = true;
            m_waits.wake();
        });
        deadline.start(replyTimeoutMs);
    }
    // The first pass takes only what is queued already; later passes sleep
    // until something the wait looks at changes, costing no processor time.
    QCoreApplication::processEvents();
    for (;;) {
        if (stop == 1 || m_losses != losses || timedOut)
            return false;
        // The text before `searched` held no CR LF already.
        qsizetype searched = qMax<qsizetype>(0, pending.size() - 1);
        if (pending.isEmpty())
            firstByte = MSComm1->unreadSince();
        pending += MSComm1->input();
        if (m_midLine) {
            // The rest of a line whose start went with an earlier discard; a
            // CR at the end may start the CR LF that ends it.
            const qsizetype end = pending.indexOf(crLf);
            const qsizetype drop = end >= 0 ? end + 2 : pending.size() - (pending.endsWith(u'\r') ? 1 : 0);
            skipped += drop;
            pending.remove(0, drop);
            m_midLine = end < 0;
            searched = 0;
            firstByte = 0; // the line after it came in the same read: when, only its end tells
        }
        if (pending.indexOf(crLf, searched) >= 0)
            break;
        m_waits.sleep();
    }
    const qint64 completed = steadyNow();
    // Whole lines only: the start of a line that came after the last CR LF
    // goes with what still waits, so that a line in the box is always one
    // that was sent, never a head joined to a later line's tail. Unless what
    // goes ends a line, the next collector drops the rest of that line too.
    const qsizetype whole = pending.lastIndexOf(crLf) + 2;
    qint64 discarded = skipped;
    if (m_keepEveryLine) {
        // A balance that streams: what came after the line is the next line's start.
        m_carried = pending.sliced(whole);
    } else {
        const QString rest = pending.sliced(whole) + MSComm1->input();
        const qint64 held = MSComm1->waitingBytes(); // read by nobody yet: its end is unknown
        MSComm1->setInBufferCount(0);
        m_midLine = held > 0 || (!rest.isEmpty() && !rest.endsWith(crLf));
        discarded += rest.size() + held;
    }
    pending.truncate(whole);
    m_lineStarted = firstByte > 0 ? firstByte : completed;
    const QString received = pending;
    if (Check1->isChecked() || Check2->isChecked())
        pending = stamped(pending);
    Text2->append(pending);
    emit lineCompleted(received, pending, discarded, completed, m_lineStarted);
    return true;
}

// Each line starts with the date and the time, as far as they are checked.
QString Form1::stamped(const QString &lines) const
{
    QString stamp;
    if (Check2->isChecked())
        stamp = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd "));
    if (Check1->isChecked())
        stamp += QTime::currentTime().toString(QStringLiteral("HH:mm:ss "));
    QString out;
    out.reserve(lines.size() + stamp.size());
    for (qsizetype from = 0; from < lines.size();) {
        const qsizetype end = lines.indexOf(QLatin1String("\r\n"), from) + 2;
        out += stamp;
        out += QStringView(lines).sliced(from, end - from);
        from = end;
    }
    return out;
}

void Form1::Text2_Full()
{
    reportError(QStringLiteral("ERROR: The receive box cannot hold any more: the computer has no memory left.\n"
                               "What it holds is kept. Save it, then Clear it to go on receiving."));
}

void Form1::MSComm1_OnComm()
{
    if (MSComm1->commEvent() != MSComm::comEvReceive)
        return;
    MSComm1->setRThreshold(0);
    if (collectLine(CommLoopStop))
        MSComm1->setRThreshold(1);
}

} // namespace ondril
