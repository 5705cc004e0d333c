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

qint64 countLines(const QString &path, qint64 from)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
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
    m_recoverWhole = menu->addAction(QString());
    m_recoverWhole->setObjectName(QStringLiteral("recoverWholeJournal"));
    m_recoverWhole->setVisible(false);
    QAction *folder = menu->addAction(QStringLiteral("Open the journal folder"));
    folder->setObjectName(QStringLiteral("openJournalFolder"));

    connect(m_keep, &QAction::toggled, this, &JournalMenu::setKeeping);
    connect(m_recover, &QAction::triggered, this, [this] { recover(false); });
    connect(m_recoverWhole, &QAction::triggered, this, [this] { recover(true); });
    // Direct, as the lines: the marks stand where the lines stood.
    connect(form, &Form1::cleared, journal, &Journal::markCleared);
    connect(form, &Form1::saved, journal, &Journal::markSaved);
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

static QString linesText(qint64 lines)
{
    return lines == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(QLocale(QLocale::English).toString(lines));
}

void JournalMenu::look()
{
    JournalRun run = journalToRecover(m_journal->folder());
    if (m_given.contains(run.text))
        run = {};
    if (run.text != m_recoverable.text || run.bytes != m_recoverable.bytes) {
        m_wholeLines = run.text.isEmpty() ? 0 : countLines(run.text, 0);
        m_lines = run.clearedAtByte > 0 ? countLines(run.text, run.clearedAtByte) : m_wholeLines;
    }
    m_recoverable = run;
    const QString from = run.started.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    m_recover->setVisible(m_lines > 0);
    m_recover->setText(QStringLiteral("Recover %1 from %2").arg(linesText(m_lines), from));
    // Lines cleared before the crash stay one choice away.
    m_recoverWhole->setVisible(m_wholeLines > m_lines);
    m_recoverWhole->setText(QStringLiteral("Recover the whole journal from %1, %2 (cleared ones too)")
                                .arg(from, linesText(m_wholeLines)));
}

bool JournalMenu::recover(bool whole)
{
    look();
    if ((whole ? m_wholeLines : m_lines) == 0)
        return false;
    const JournalRun run = m_recoverable;
    const qint64 from = whole ? 0 : run.clearedAtByte;
    QFile file(run.text);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from)) {
        m_dialogs->message(m_form, QStringLiteral("ERROR: The journal cannot be read.\n%1\n%2").arg(run.text, file.errorString()));
        return false;
    }
    QByteArray bytes = file.readAll();
    // Earlier versions left room ahead of the text: zeros past its last line.
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    if (!m_form->Text2->prepend(QString::fromLatin1(bytes)))
        return false;
    if (!markRecovered(run)) {
        m_given << run.text; // never twice in this run
        m_dialogs->message(m_form, QStringLiteral("ERROR: The journal could not be marked as recovered.\n%1\n"
                                                  "Its lines are in the receive box; the next run will offer "
                                                  "them again.")
                                       .arg(run.companion));
    }
    // The box as it stands now starts this run's journal anew: a second
    // crash brings back both runs' lines.
    if (keeping())
        m_journal->startOver(m_form->Text2->bytes(), m_form->Combo1->currentText());
    look();
    emit recovered(run, bytes, whole ? 0 : run.clearedAtLine);
    return true;
}

} // namespace ondril
