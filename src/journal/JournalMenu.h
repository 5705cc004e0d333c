#pragma once

#include "JournalFolder.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <thread>

class QAction;
class QMenu;

namespace ondril {

class Dialogs;
class Form1;
class Journal;

// Feeds the journal with every line reception adds to the receive box, and
// offers in the tools menu: "Keep a journal" (on unless the operator once
// switched it off, the only choice kept for the next run), recovering the
// last run's lines when that run did not end cleanly, and the folder.
class JournalMenu : public QObject {
    Q_OBJECT
public:
    JournalMenu(Form1 *form, Journal *journal, Dialogs *dialogs, QMenu *menu);
    ~JournalMenu() override;

    bool keeping() const;
    void setKeeping(bool keep);
    // Puts the last run's lines first in the receive box, as it stood at the
    // crash (since its last Clear), or the whole journal; once per journal.
    // A large journal goes in a piece at a time, with its progress shown.
    bool recover(bool whole = false);
    // What there is to recover: looked for in the background at start-up
    // (with old journals pruned first) and after a recovery; look() looks
    // at once.
    const JournalRun &recoverable() const { return m_offer.run; }
    void look();
    void lookInBackground(bool prune);

    struct Offer {
        JournalRun run;
        qint64 lines = 0; // since its last Clear
        qint64 wholeLines = 0;
        qint64 over = 0; // what pruning had to keep beyond the limit
    };

signals:
    // A recovery's lines, from line `firstLine` of the run's journal on, go
    // into the receive box: piece by piece, then the end (also of one that
    // failed).
    void recoveryStarted(const JournalRun &run, qint64 firstLine);
    void recoveredPiece(const QByteArray &text);
    void recovered(const JournalRun &run);

private:
    Form1 *m_form;
    Journal *m_journal;
    Dialogs *m_dialogs;
    QAction *m_keep;
    void show(const Offer &offer);
    void recoveryEnded(bool ok);

    QAction *m_recover;
    QAction *m_recoverWhole;
    Offer m_offer;
    QStringList m_given; // brought back, though their mark could not be written
    class JournalRecovery *m_recovery = nullptr;
    std::unique_ptr<Journal> m_next; // what this run's journal goes on in after it
    std::thread m_looking;
};

} // namespace ondril
