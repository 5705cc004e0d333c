#include "JournalMenu.h"

#include "Journal.h"
#include "receivebox/ReceiveBox.h"
#include "window/Dialogs.h"
#include "window/Form1.h"
#include "window/ToolsMenu.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QLocale>
#include <QMenu>
#include <QSettings>
#include <QUrl>

#include <memory>

namespace ondril {

namespace {

const QString keepKey = QStringLiteral("journal/keep");

qint64 countLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    qint64 lines = 0;
    bool partial = false;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        lines += chunk.count('\n');
        partial = !chunk.endsWith('\n');
    }
    return lines + (partial ? 1 : 0);
}

} // namespace

JournalMenu::JournalMenu(Form1 *form, Journal *journal, Dialogs *dialogs, QMenu *menu)
    : QObject(form), m_form(form), m_journal(journal), m_dialogs(dialogs)
{
    menu->addSeparator();
    m_keep = menu->addAction(QStringLiteral("Keep a journal"));
    m_keep->setObjectName(QStringLiteral("keepJournal"));
    m_keep->setCheckable(true);
    m_keep->setChecked(keptChoices()->value(keepKey, true).toBool());
    m_recover = menu->addAction(QString());
    m_recover->setObjectName(QStringLiteral("recoverJournal"));
    m_recover->setVisible(false);
    QAction *folder = menu->addAction(QStringLiteral("Open the journal folder"));
    folder->setObjectName(QStringLiteral("openJournalFolder"));

    connect(m_keep, &QAction::toggled, this, &JournalMenu::setKeeping);
    connect(m_recover, &QAction::triggered, this, &JournalMenu::recover);
    connect(folder, &QAction::triggered, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_journal->folder()));
    });
    connect(menu, &QMenu::aboutToShow, this, &JournalMenu::look);
    // Direct: the line is on its way to the disk before anything else runs.
    connect(form, &Form1::lineCompleted, this, [this](const QString &, const QString &added) {
        if (m_keep->isChecked())
            m_journal->add(added.toLatin1(), m_form->Combo1->currentText());
    });
    // Queued, and a message that waits for nobody: reception goes on.
    connect(
        journal, &Journal::trouble, this,
        [this](const QString &where, const QString &why) {
            m_dialogs->notice(m_form, QStringLiteral("ERROR: The journal cannot be written.\n%1\n%2\n"
                                                     "Reception, the receive box and Save go on as before; "
                                                     "the journal goes on when it can be written again.")
                                          .arg(where, why));
        },
        Qt::QueuedConnection);
}

bool JournalMenu::keeping() const
{
    return m_keep->isChecked();
}

void JournalMenu::setKeeping(bool keep)
{
    m_keep->setChecked(keep);
    // The one choice kept: switched off, it stays off; on again, it is the default.
    if (keep)
        keptChoices()->remove(keepKey);
    else
        keptChoices()->setValue(keepKey, false);
    if (!keep)
        m_journal->end();
}

void JournalMenu::look()
{
    const JournalRun run = journalToRecover(m_journal->folder());
    if (run.text != m_recoverable.text || run.bytes != m_recoverable.bytes)
        m_lines = run.text.isEmpty() ? 0 : countLines(run.text);
    m_recoverable = run;
    m_recover->setVisible(m_lines > 0);
    m_recover->setText(QStringLiteral("Recover %1 lines from %2")
                           .arg(QLocale(QLocale::English).toString(m_lines),
                                run.started.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
}

bool JournalMenu::recover()
{
    look();
    if (m_lines == 0)
        return false;
    QFile file(m_recoverable.text);
    if (!file.open(QIODevice::ReadOnly)) {
        m_dialogs->message(m_form, QStringLiteral("ERROR: The journal cannot be read.\n%1\n%2")
                                       .arg(m_recoverable.text, file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (!m_form->Text2->prepend(QString::fromLatin1(bytes)))
        return false;
    markRecovered(m_recoverable);
    const JournalRun run = m_recoverable;
    look();
    emit recovered(run);
    return true;
}

} // namespace ondril
