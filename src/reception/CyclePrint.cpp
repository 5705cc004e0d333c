#include "commands/BalanceCommand.h"
#include "reception/CycleInterval.h"
#include "serial/MSComm.h"
#include "window/Form1.h"

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
    sendCommand(printCommand);
    // A reply that never comes must not stop the cycle for good: the tick
    // gives it up in time and the next one asks again.
    collectLine(TimerLoopStop, qMax(replyTimeoutMs, Timer1->interval()));
}

} // namespace ondril
