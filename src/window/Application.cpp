#include "Application.h"

#include "Dialogs.h"
#include "Fonts.h"
#include "Form1.h"
#include "QuitSignals.h"
#include "ToolsMenu.h"
#include "journal/Journal.h"
#include "journal/JournalMenu.h"
#include "readings/ReadingsWindow.h"
#include "serial/SerialComm.h"

#include <QApplication>
#include <QTimer>

namespace ondril {

int runOndril(Dialogs &dialogs, const PortMap &ports)
{
    installFontSubstitutes();
    SerialComm comm(ports);
    Journal journal(defaultJournalFolder()); // ended cleanly when the run ends, after the window
    Form1 form(&comm, &dialogs);
    ReadingsWindow readings(&form, &dialogs); // keeps the run's log from the first line
    addReadingsMenu(&form, &readings);
    new JournalMenu(&form, &journal, &dialogs, toolsMenu(&form));
    const QuitSignals quitSignals([&form] { form.EXIT_Click(); });
    if (!form.Form_Load())
        return 1;
    form.showCentred();
    // Old journals go once the window is up, never those of runs still going.
    QTimer::singleShot(0, &form, [&journal] { pruneJournals(journal.folder(), QDateTime::currentDateTime()); });
    return QApplication::exec();
}

} // namespace ondril
