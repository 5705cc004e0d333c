#include "JournalMenu.h"

#include "Journal.h"
#include "JournalRecovery.h"
#include "receivebox/ReceiveBox.h"
#include "window/Dialogs.h"
#include "window/Form1.h"
#include "window/KeptChoices.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMenu>
#include <QProgressDialog>
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
    m_keep = menu->addAction(QStringLiteral("&Keep a journal"));
    m_keep->setObjectName(QStringLiteral("keepJournal"));
    m_keep->setCheckable(true);
    m_keep->setChecked(keptChoices()->value(keepKey, true).toBool());
    m_recover = menu->addAction(QString());
    m_recover->setObjectName(QStringLiteral("recoverJournal"));
    m_recover->setVisible(false);
    m_recoverWhole = menu->addAction(QString());
    m_recoverWhole->setObjectName(QStringLiteral("recoverWholeJournal"));
    m_recoverWhole->setVisible(false);
    QAction *folder = menu->addAction(QStringLiteral("&Open the journal folder"));
    folder->setObjectName(QStringLiteral("openJournalFolder"));

    connect(m_keep, &QAction::toggled, this, &JournalMenu::setKeeping);
    connect(m_recover, &QAction::triggered, this, [this] { recover(false); });
    connect(m_recoverWhole, &QAction::triggered, this, [this] { recover(true); });
    // Direct, as the lines: the marks stand where the lines stood.
    connect(form, &Form1::cleared, journal, &Journal::markCleared);
    connect(form, &Form1::saved, journal, &Journal::markSaved);
    connect(folder, &QAction::triggered, this, [this] {
        const QString path = QDir::toNativeSeparators(m_journal->folder());
        // Made if no journal is in it yet: a file manager shows an empty folder, not an error.
        if (!QDir().mkpath(m_journal->folder()) || !QDesktopServices::openUrl(QUrl::fromLocalFile(m_journal->folder())))
            m_dialogs->notice(m_form, QStringLiteral("The journal folder could not be opened: no program here opens "
                                                     "folders, or it cannot be made.\nIt is %1").arg(path));
    });
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

// Works on the folder alone: safe on any thread.
static JournalMenu::Offer findOffer(const QString &folder, bool prune)
{
    JournalMenu::Offer offer;
    if (prune)
        offer.over = pruneJournals(folder, QDateTime::currentDateTime());
    offer.run = journalToRecover(folder);
    if (!offer.run.text.isEmpty()) {
        offer.wholeLines = countLines(offer.run.text, 0);
        offer.lines = offer.run.clearedAtByte > 0 ? countLines(offer.run.text, offer.run.clearedAtByte) : offer.wholeLines;
    }
    return offer;
}

JournalMenu::~JournalMenu()
{
    if (m_looking.joinable())
        m_looking.join();
}

void JournalMenu::look()
{
    show(findOffer(m_journal->folder(), false));
}

void JournalMenu::lookInBackground(bool prune)
{
    if (m_looking.joinable())
        m_looking.join(); // a look of a moment ago
    m_looking = std::thread([this, folder = m_journal->folder(), prune] {
        const Offer offer = findOffer(folder, prune);
        QMetaObject::invokeMethod(this, [this, offer] { show(offer); }, Qt::QueuedConnection);
    });
}

void JournalMenu::show(const Offer &offer)
{
    // One whose mark could not be written was brought back all the same.
    m_offer = m_given.contains(offer.run.text) ? Offer{} : offer;
    const QString from = m_offer.run.started.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    m_recover->setVisible(m_offer.lines > 0 && !m_recovery);
    m_recover->setText(QStringLiteral("Re&cover %1 from %2").arg(linesText(m_offer.lines), from));
    // Lines cleared before the crash stay one choice away.
    m_recoverWhole->setVisible(m_offer.wholeLines > m_offer.lines && !m_recovery);
    m_recoverWhole->setText(QStringLiteral("Recover the &whole journal from %1, %2 (cleared ones too)")
                                .arg(from, linesText(m_offer.wholeLines)));
    if (offer.over > 0)
        m_dialogs->notice(m_form, journalsOverLimitNotice(m_journal->folder(), offer.over));
}

bool JournalMenu::recover(bool whole)
{
    if (m_recovery || (whole ? m_offer.wholeLines : m_offer.lines) == 0)
        return false;
    auto *recovery = new JournalRecovery(m_offer.run, whole, m_form->Text2, this);
    // This run's journal goes on as ever meanwhile (a crash now loses
    // nothing); the recovered lines go into a journal of their own, which
    // takes the box's lines after them at the end and goes on for this run:
    // a second crash brings back both runs' lines.
    if (keeping()) {
        m_next = std::make_unique<Journal>(m_journal->folder());
        m_next->keepHidden();
    }
    m_recovery = recovery;
    show(m_offer);
    connect(recovery, &JournalRecovery::piece, this, [this](const QByteArray &text) {
        if (m_next)
            m_next->add(text, m_form->Combo1->currentText());
        emit recoveredPiece(text);
    });
    connect(recovery, &JournalRecovery::finished, this, &JournalMenu::recoveryEnded);
    auto *progress = new QProgressDialog(QStringLiteral("Recovering %1").arg(m_offer.run.text), QString(), 0, 1000, m_form);
    progress->setObjectName(QStringLiteral("recoverProgress"));
    progress->setWindowTitle(QStringLiteral("Recover"));
    progress->setMinimumDuration(500); // a small journal shows none
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(recovery, &JournalRecovery::progress, progress, [progress](qint64 done, qint64 total) {
        progress->setValue(total > 0 ? int(done * 999 / total) : 999);
    });
    connect(recovery, &QObject::destroyed, progress, &QWidget::close);
    emit recoveryStarted(m_offer.run, recovery->firstLine());
    QString why;
    if (!recovery->start(&why) && m_recovery == recovery) {
        m_recovery = nullptr;
        m_next.reset();
        recovery->deleteLater();
        show(m_offer);
        emit recovered(m_offer.run); // nothing came back: what was begun for it ends
        m_dialogs->message(m_form, QStringLiteral("ERROR: The journal cannot be read.\n%1\n%2").arg(m_offer.run.text, why));
        return false;
    }
    return true;
}

void JournalMenu::recoveryEnded(bool ok)
{
    JournalRecovery *recovery = m_recovery;
    m_recovery = nullptr;
    recovery->deleteLater();
    const JournalRun run = recovery->run();
    if (m_next && keeping()) {
        const QByteArrayView box = m_form->Text2->bytes();
        m_next->add(box.sliced(std::min(recovery->end(), box.size())), m_form->Combo1->currentText());
        m_journal->takeOver(*m_next);
        m_journal->rowsStartHere();
    }
    m_next.reset();
    if (!ok) {
        m_given << run.text; // part of it is in the box: not again in this run
        if (!recovery->error().isEmpty())
            m_dialogs->message(m_form, QStringLiteral("ERROR: The journal could not be read to its end.\n%1\n%2\n"
                                                      "What was read is in the receive box; the next run will "
                                                      "offer the journal again.")
                                           .arg(run.text, recovery->error()));
        show({});
        emit recovered(run);
        lookInBackground(false);
        return;
    }
    if (!markRecovered(run)) {
        m_given << run.text; // never twice in this run
        m_dialogs->message(m_form, QStringLiteral("ERROR: The journal could not be marked as recovered.\n%1\n"
                                                  "Its lines are in the receive box; the next run will offer "
                                                  "them again.")
                                       .arg(run.companion));
    }
    show({}); // once: whatever else there is, the next look finds
    emit recovered(run);
    lookInBackground(false);
}

} // namespace ondril
