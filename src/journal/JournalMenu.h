#pragma once

#include "JournalFolder.h"

#include <QObject>

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

    bool keeping() const;
    void setKeeping(bool keep);
    // Puts the last run's lines first in the receive box; once per journal.
    bool recover();
    // What there is to recover; refreshed as the menu opens.
    const JournalRun &recoverable() const { return m_recoverable; }
    void look();

signals:
    // The text is back in the receive box; the run's readings are in `run.readings`.
    void recovered(const JournalRun &run);

private:
    Form1 *m_form;
    Journal *m_journal;
    Dialogs *m_dialogs;
    QAction *m_keep;
    QAction *m_recover;
    JournalRun m_recoverable;
    qint64 m_lines = 0; // of m_recoverable
};

} // namespace ondril
