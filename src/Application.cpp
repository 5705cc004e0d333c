#include "Application.h"

#include "journal/Journal.h"
#include "journal/JournalMenu.h"
#include "linesettings/LineSettingsMenu.h"
#include "link/LinkMenu.h"
#include "readings/ReadingsCsv.h"
#include "readings/ReadingsWindow.h"
#include "send/SendMenu.h"
#include "serial/SerialComm.h"
#include "window/CheckableMenuItem.h"
#include "window/Dialogs.h"
#include "window/Fonts.h"
#include "window/Form1.h"
#include "window/QuitSignals.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace ondril {

QMenu *toolsMenu(Form1 *form)
{
    if (auto *menu = form->menuBar()->findChild<QMenu *>(QStringLiteral("toolsMenu")))
        return menu;
    QMenu *menu = form->menuBar()->addMenu(QStringLiteral("&Tools"));
    menu->setObjectName(QStringLiteral("toolsMenu"));
    exposeCheckableMenuItems();
    // F10 opens the menus, as in most desktops; EXIT before it is no menu.
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), form);
    QObject::connect(f10, &QShortcut::activated, menu,
                     [form, menu] { form->menuBar()->setActiveAction(menu->menuAction()); });
    return menu;
}

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
    QMenu *tools = toolsMenu(&form);
    addReadingsMenu(tools, &form, &readings);
    auto *journalMenu = new JournalMenu(&form, &journal, &dialogs, tools);
    auto *lineMenu = new LineSettingsMenu(&form, &dialogs, tools);
    auto *send = new SendMenu(&form, &dialogs, tools);
    auto *link = new LinkMenu(&form, tools, [&form, lineMenu] {
        return form.isCycleRunning() ? QStringLiteral("Not while a cycle print runs: it uses the port.")
               : lineMenu->scan()    ? QStringLiteral("Not while the balance's settings are being found.")
                                     : QString();
    });
    QObject::connect(link, &LinkMenu::selfTestStarted, lineMenu, [lineMenu] { lineMenu->setPortUnderTest(true); });
    QObject::connect(link, &LinkMenu::selfTestFinished, lineMenu, [lineMenu] { lineMenu->setPortUnderTest(false); });
    // Queued, as the main window's own commands are counted.
    QObject::connect(send, &SendMenu::commandSent, &readings, &ReadingsWindow::countCommand, Qt::QueuedConnection);
    // The scan found how the balance is asked: the Send window shows that set.
    QObject::connect(lineMenu, &LineSettingsMenu::scanFinished, send, [send](const std::optional<ScanFinding> &found) {
        if (found && !found->streams())
            send->chooseSet(found->setName);
    });
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
