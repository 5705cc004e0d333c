#include "receivebox/ReceiveBox.h"
#include "serial/MSComm.h"
#include "window/Form1.h"
#include "window/SteadyClock.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QTime>
#include <QTimer>

namespace ondril {

bool Form1::collectLine(const StopFlag &stop, int replyTimeoutMs)
{
    static const QString crLf = QStringLiteral("\r\n");
    QString pending;
    qint64 firstByte = 0; // when the line's first byte came, as far as the port knows
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
        const qsizetype searched = qMax<qsizetype>(0, pending.size() - 1);
        if (pending.isEmpty())
            firstByte = MSComm1->unreadSince();
        pending += MSComm1->input();
        // The text before `searched` held no CR LF already.
        if (pending.indexOf(crLf, searched) >= 0)
            break;
        m_waits.sleep();
    }
    const qint64 completed = steadyNow();
    const qint64 discarded = MSComm1->waitingBytes(); // the property stops at 32,767
    MSComm1->setInBufferCount(0);
    const QString received = pending;
    if (Check1->isChecked())
        pending.prepend(QTime::currentTime().toString(QStringLiteral("HH:mm:ss ")));
    if (Check2->isChecked())
        pending.prepend(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd ")));
    Text2->append(pending);
    emit lineCompleted(received, pending, discarded, completed, firstByte > 0 ? firstByte : completed);
    return true;
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
