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
#include "serial/SerialComm.h"

#include <QApplication>
#include <QFile>
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
    auto *journalMenu = new JournalMenu(&form, &journal, &dialogs, toolsMenu(&form));
    // The readings go to the journal beside their lines, and come back with them.
    auto *lineMenu = new LineSettingsMenu(&form, &dialogs, toolsMenu(&form));
    QObject::connect(&readings, &ReadingsWindow::logged, &journal, [&](qint64 from, qint64 to) {
        if (journal.path().isEmpty())
            return; // none kept
        QByteArray rows;
        for (qint64 i = from; i < to; ++i)
            rows += readingsCsvRow(readings.log(), i);
        journal.addReadings(rows, readingsCsvHeader);
    });
    QObject::connect(journalMenu, &JournalMenu::recovered, &readings,
                     [&](const JournalRun &run, const QByteArray &text, qint64 firstLine) {
                         QFile csv(run.readings);
                         const QByteArray rows = csv.open(QIODevice::ReadOnly) ? csv.readAll() : QByteArray();
                         readings.recoverEarlier(recoveredLines(rows, text, firstLine, run.rowsFromLine, run.started));
                     });
    const QuitSignals quitSignals([&form] { form.EXIT_Click(); });
    if (!form.Form_Load())
        return 1;
    lineMenu->restore();
    form.showCentred();
    // Old journals go once the window is up, never those of runs still going.
    QTimer::singleShot(0, &form, [&] {
        const qint64 over = pruneJournals(journal.folder(), QDateTime::currentDateTime());
        if (over > 0)
            dialogs.notice(&form, journalsOverLimitNotice(journal.folder(), over));
    });
    return QApplication::exec();
}

} // namespace ondril
