#include "Application.h"

#include "Dialogs.h"
#include "Fonts.h"
#include "Form1.h"
#include "QuitSignals.h"
#include "readings/ReadingsWindow.h"
#include "serial/SerialComm.h"

#include <QApplication>

namespace ondril {

int runOndril(Dialogs &dialogs, const PortMap &ports)
{
    installFontSubstitutes();
    SerialComm comm(ports);
    Form1 form(&comm, &dialogs);
    ReadingsWindow readings(&form, &dialogs); // keeps the run's log from the first line
    addReadingsMenu(&form, &readings);
    const QuitSignals quitSignals([&form] { form.EXIT_Click(); });
    if (!form.Form_Load())
        return 1;
    form.showCentred();
    return QApplication::exec();
}

} // namespace ondril
