#include "serial/MSComm.h"
#include "window/Form1.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

namespace ondril {

void Form1::stopEverything()
{
    CommLoopStop = 1;
    TimerLoopStop = 1;
    if (Timer1->isActive())
        endCycle();
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
}

void Form1::Combo1_Click(int index)
{
    stopEverything();
    MSComm1->setCommPort(qint16(index + 1));
    Text3->clear();
    Text4->clear();
    if (MSComm1->setPortOpen(true)) {
        finishPortChange();
        return;
    }
    // The message is fixed; standard error says why, for a port that exists
    // but is busy or forbidden.
    QTextStream(stderr) << "ondril: " << portText(index + 1) << " not opened: " << MSComm1->errorString() << '\n';
    reportError(QStringLiteral("ERROR: The selected Comm port does not exist!"));
    // Ended while the message was up: opening the port again now would keep
    // it, and lowering the stop flag would keep a wait further up alive.
    if (isUnloaded())
        return;
    setComboPortText(PortNo);
    MSComm1->setCommPort(PortNo);
    reopenPort();
    finishPortChange();
}

void Form1::Combo2_Click(int index)
{
    stopEverything();
    MSComm1->setSettings(Combo2->itemText(index) + QStringLiteral(",n,8,1"));
    Text3->clear();
    Text4->clear();
    reopenPort();
    finishPortChange();
}

void Form1::reopenPort()
{
    if (!MSComm1->setPortOpen(true))
        reportError(QStringLiteral("ERROR: %1 could not be opened: %2.\n"
                                   "Pick a port or a speed to try again.")
                        .arg(portText(MSComm1->commPort()), MSComm1->errorString()));
}

void Form1::finishPortChange()
{
    MSComm1->setRThreshold(1);
    // A closed port leaves the flag raised, so that no wait lingers on it: the
    // state is the same as after a device loss.
    if (MSComm1->portOpen())
        CommLoopStop = 0;
}

bool Form1::checkPortOpen()
{
    if (MSComm1->portOpen())
        return true;
    reportError(QStringLiteral("ERROR: The port is not open.\nPick a port or a speed to open it again."));
    return false;
}

void Form1::MSComm1_Lost(const QString &reason)
{
    stopEverything();
    reportError(QStringLiteral("ERROR: %1 stopped working and was closed: %2.\n"
                               "Pick a port or a speed to open it again.")
                    .arg(portText(MSComm1->commPort()), reason));
}

} // namespace ondril
