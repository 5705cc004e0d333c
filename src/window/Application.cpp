#include "Application.h"

#include "Dialogs.h"
#include "Fonts.h"
#include "Form1.h"
#include "QuitSignals.h"
#include "ToolsMenu.h"
#include "journal/Journal.h"
#include "journal/JournalMenu.h"
#include "linesettings/LineSettingsMenu.h"
#include "readings/ReadingsCsv.h"
#include "readings/ReadingsWindow.h"
#include "send/SendWindow.h"
#include "serial/SerialComm.h"

#include <QApplication>

namespace ondril {

void joinFeatures(Journal &journal, ReadingsWindow &readings, JournalMenu &journalMenu)
{
    QObject::connect(&readings, &ReadingsWindow::logged, &journal, [&journal, &readings](qint64 from, qint64 to) {
        if (journal.path().isEmpty())
            return; // none kept
        QByteArray rows;
        for (qint64 i = from; i < to; ++i)
            rows += readingsCsvRow(readings.log(), i);
        journal.addReadings(rows, readingsCsvHeader);
    });
    QObject::connect(&journalMenu, &JournalMenu::recoveryStarted, &readings,
                     [&readings](const JournalRun &run, qint64 firstLine) {
                         readings.beginEarlier(run.readings, firstLine, run.rowsFromLine, run.started);
                     });
    QObject::connect(&journalMenu, &JournalMenu::recoveredPiece, &readings, &ReadingsWindow::addEarlier);
    QObject::connect(&journalMenu, &JournalMenu::recovered, &readings, &ReadingsWindow::endEarlier);
}

int runOndril(Dialogs &dialogs, const PortMap &ports)
{
    installFontSubstitutes();
    SerialComm comm(ports);
    Journal journal(defaultJournalFolder()); // ended cleanly when the run ends, after the window
    Form1 form(&comm, &dialogs);
    ReadingsWindow readings(&form, &dialogs); // keeps the run's log from the first line
    addReadingsMenu(&form, &readings);
    auto *journalMenu = new JournalMenu(&form, &journal, &dialogs, toolsMenu(&form));
    auto *lineMenu = new LineSettingsMenu(&form, &dialogs, toolsMenu(&form));
    SendWindow send(&form, &dialogs);
    addSendMenu(&form, &send);
    // Queued, as the main window's own commands are counted.
    QObject::connect(&send, &SendWindow::commandSent, &readings, &ReadingsWindow::countCommand, Qt::QueuedConnection);
    joinFeatures(journal, readings, *journalMenu);
    const QuitSignals quitSignals([&form] { form.EXIT_Click(); });
    if (!form.Form_Load())
        return 1;
    lineMenu->restore();
    form.showCentred();
    // Old journals go once the window is up, never those of runs still going,
    // and the one to recover is looked for: in the background.
    journalMenu->lookInBackground(true);
    return QApplication::exec();
}

} // namespace ondril
