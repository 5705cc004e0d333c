#pragma once

#include "JournalFolder.h"

#include <QObject>
#include <QStringList>

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
    // Puts the last run's lines first in the receive box, as it stood at the
    // crash (since its last Clear), or the whole journal; once per journal.
    bool recover(bool whole = false);
    // What there is to recover; refreshed as the menu opens.
    const JournalRun &recoverable() const { return m_recoverable; }
    void look();

signals:
    // `text` is back in the receive box, from line `firstLine` of the run's
    // journal on; the run's readings are in `run.readings`.
    void recovered(const JournalRun &run, const QByteArray &text, qint64 firstLine);

private:
    Form1 *m_form;
    Journal *m_journal;
    Dialogs *m_dialogs;
    QAction *m_keep;
    QAction *m_recover;
    QAction *m_recoverWhole;
    JournalRun m_recoverable;
    qint64 m_lines = 0; // of m_recoverable, since its last Clear
    qint64 m_wholeLines = 0;
    QStringList m_given; // brought back, though their mark could not be written
};

} // namespace ondril
