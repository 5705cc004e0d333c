#pragma once

#include "JournalFolder.h"

#include <QFile>
#include <QObject>
#include <QTimer>

namespace ondril {

class ReceiveBox;

// Puts a journal's text back into the receive box a piece of whole lines at
// a time, between the window's events: a journal of a gigabyte neither
// freezes the window nor is held in memory beside the box. A small one is
// in before start() returns. The pieces go in where the first went, before
// lines that come meanwhile.
class JournalRecovery : public QObject {
    Q_OBJECT
public:
    // From the last Clear the journal marks, or the `whole` of it.
    JournalRecovery(const JournalRun &run, bool whole, ReceiveBox *box, QObject *parent = nullptr);

    ~JournalRecovery() override;
    // False, with nothing changed, when the text cannot be read or another
    // Ondril recovers it or has recovered it. It stays locked till the end.
    bool start(QString *why);
    const JournalRun &run() const { return m_run; }
    qint64 firstLine() const { return m_firstLine; }
    qint64 end() const { return m_at; } // where they end in the box
    // Why the journal could not be read to its end; empty when it could.
    QString error() const { return m_error; }

signals:
    void piece(const QByteArray &text);
    void progress(qint64 done, qint64 total);
    // Every line is in, or (false) the box had no room for a piece (it said
    // so) or the journal could not be read on (error()).
    void finished(bool ok);

private:
    void slice();

    JournalRun m_run;
    ReceiveBox *m_box;
    QFile m_file;
    int m_lock = -1;
    qint64 m_from;
    qint64 m_firstLine;
    QByteArray m_carry; // a line whose end the next read brings
    qint64 m_at = 0;
    QString m_error;
    QTimer m_slices;
};

} // namespace ondril
