#include "serial/DeviceWatch.h"
#include "serial/MSComm.h"
#include "serial/PortTrouble.h"
#include "window/Form1.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTextStream>
#include <QTimer>

#include <utility>

namespace ondril {

void Form1::stopEverything()
{
    m_watch->stop(); // the operator's pick decides now
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
    QString trouble;
    if (openPort(&trouble)) {
        finishPortChange();
        return;
    }
    // The message is fixed; its details and standard error say why, for a
    // port that exists but is busy or forbidden.
    QTextStream(stderr) << "ondril: " << portText(index + 1) << " not opened: " << MSComm1->errorString() << '\n';
    reportError(QStringLiteral("ERROR: The selected Comm port does not exist!"), trouble);
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
    // The framing and handshake stay as they are: n,8,1 unless changed in the line settings.
    MSComm1->setSettings(Combo2->itemText(index) + MSComm1->line().framingText());
    Text3->clear();
    Text4->clear();
    reopenPort();
    finishPortChange();
}

void Form1::reopenPort()
{
    QString trouble;
    if (!openPort(&trouble))
        reportError(QStringLiteral("ERROR: %1 could not be opened: %2.\n"
                                   "Pick a port or a speed to try again.")
                        .arg(portText(MSComm1->commPort()), MSComm1->errorString()),
                    trouble);
}

bool Form1::openPort(QString *trouble)
{
    const int port = MSComm1->commPort();
    const bool opened = MSComm1->setPortOpen(true);
    m_midLine = false; // a port opened anew starts between lines
    if (opened)
        m_watch->opened(MSComm1->device());
    *trouble = opened ? QString() : portTrouble(port, MSComm1->device(), MSComm1->openFailure());
    setPortToolTip(port, MSComm1->device().isEmpty() ? QString() : *trouble);
    return opened;
}

void Form1::setPortToolTip(int port, const QString &trouble)
{
    QString tip = MSComm1->ports().toolTip(port);
    if (!trouble.isEmpty())
        tip += QStringLiteral("\nLast try: ") + trouble;
    Combo1->setItemData(port - 1, Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap), Qt::ToolTipRole);
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
    ++m_losses; // a wait on the lost port ends, even if the port is back before it looks
    m_waits.wake();
    stopEverything();
    const bool watched = m_watch->watch(MSComm1->device());
    m_reopenTrouble.clear();
    // A cable that comes and goes while the message is up closes the port
    // again, but raises no second message on top of the first.
    if (m_lossShown)
        return;
    const QScopedValueRollback<bool> shown(m_lossShown, true);
    reportError(QStringLiteral("ERROR: %1 stopped working and was closed: %2.\n%3")
                    .arg(portText(MSComm1->commPort()), reason,
                         watched ? QStringLiteral("It is opened again as soon as it is back; a pick of a port or a "
                                                  "speed opens one now.")
                                 : QStringLiteral("Pick a port or a speed to open one again.")));
}

void Form1::MSComm1_Back()
{
    // As a pick of its COM number would open it, but without a word on a
    // failure: the operator has heard of the loss. A device that is there
    // but refused is tried again when udev or its holder lets go of it.
    if (MSComm1->portOpen())
        return;
    QString trouble;
    if (!openPort(&trouble)) {
        if (trouble != std::exchange(m_reopenTrouble, trouble))
            QTextStream(stderr) << "ondril: " << portText(MSComm1->commPort()) << " not reopened: "
                                << MSComm1->errorString() << '\n';
        m_watch->refused();
        return;
    }
    m_watch->stop();
    Text3->clear();
    Text4->clear();
    finishPortChange();
}

} // namespace ondril
