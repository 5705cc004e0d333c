#include "commands/BalanceCommand.h"
#include "serial/MSComm.h"
#include "window/Form1.h"
#include "window/SteadyClock.h"

#include <QLineEdit>

namespace ondril {

void Form1::sendCommand(const BalanceCommand &command)
{
    if (!checkPortOpen())
        return;
    Text3->setText(QLatin1String(escapeHex));
    Text4->setText(QLatin1String(command.letterHex));
    const char bytes[] = {escape, command.letter};
    if (writeCommand(QByteArray(bytes, 2)))
        emit commandWritten(int(&command - balanceCommands.data()), steadyNow());
}

bool Form1::sendBytes(const QByteArray &bytes)
{
    return checkPortOpen() && writeCommand(bytes);
}

bool Form1::writeCommand(const QByteArray &bytes)
{
    // What comes next is this command's answer, not the rest of a line cut off before.
    m_midLine = false;
    // A device that vanished on this write has already been reported as lost.
    if (MSComm1->setOutput(QString::fromLatin1(bytes)))
        return true;
    if (MSComm1->portOpen())
        reportError(QStringLiteral("ERROR: the command could not be sent: %1").arg(MSComm1->errorString()));
    return false;
}

} // namespace ondril
