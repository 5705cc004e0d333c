#include "commands/BalanceCommand.h"
#include "reception/CycleInterval.h"
#include "serial/MSComm.h"
#include "window/Form1.h"
#include "window/SteadyClock.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

namespace ondril {

bool Form1::isCycleRunning() const
{
    return Command1->text() == QLatin1String(stopCaption);
}

void Form1::Command1_Click()
{
    if (isCycleRunning()) {
        endCycle();
        CommLoopStop = 0;
        TimerLoopStop = 1;
        MSComm1->setRThreshold(1);
        return;
    }
    if (!checkPortOpen())
        return;
    Command1->setText(QLatin1String(stopCaption));
    Command2->setEnabled(false);
    MSComm1->setRThreshold(0);
    CommLoopStop = 1;
    TimerLoopStop = 0;
    const CycleInterval interval = cycleInterval(Text1->text());
    if (!interval.clampedText.isEmpty())
        Text1->setText(interval.clampedText);
    Timer1->setInterval(interval.ms);
    Timer1->start();
}

void Form1::endCycle()
{
    Command1->setText(QLatin1String(cyclePrintCaption));
    Timer1->stop();
    Command2->setEnabled(true);
}

void Form1::Timer1_Timer()
{
    // A tick that falls due while an earlier one still waits is skipped, so
    // waits never pile up behind a balance that is slow to answer.
    if (m_tickWaiting)
        return;
    const QScopedValueRollback<bool> waiting(m_tickWaiting, true);
    const qint64 sent = steadyNow();
    sendCommand(printCommand);
    // A reply that never comes must not stop the cycle for good: the tick
    // gives it up in time and the next one asks again. A line that was there
    // before PRINT went out (a reply that came after its tick gave it up) is
    // shown, and the tick waits on for its own.
    const qint64 timeoutNs = qint64(qMax(replyTimeoutMs, Timer1->interval())) * 1'000'000;
    for (qint64 left = timeoutNs; left > 0; left = sent + timeoutNs - steadyNow())
        if (!collectLine(TimerLoopStop, int((left + 999'999) / 1'000'000)) || m_lineStarted >= sent)
            break;
}

} // namespace ondril
