#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

namespace ondril {

// The journals of earlier runs, in their folder: what a start-up prunes, and
// which of them a crash left to recover.
inline constexpr char journalTextSuffix[] = ".txt";
inline constexpr char journalCompanionSuffix[] = ".run";
inline constexpr char journalReadingsSuffix[] = ".csv";
inline constexpr char journalMagic[] = "ondril journal";

// $XDG_STATE_HOME/ondril/journal, or ~/.local/state/ondril/journal.
QString defaultJournalFolder();
// "2026-12-07T14-03-27-125-COM1-4242": the start to the millisecond, the port
// and the process (journals of earlier versions lack the milliseconds).
QString journalBaseName(const QDateTime &started, const QString &port, qint64 pid);

struct JournalRun {
    QString text;      // the received text
    QString companion; // what is known of its run
    QString readings;  // the readings' CSV
    QDateTime started;
    QString port;
    qint64 bytes = 0;
    bool ended = false;     // cleanly
    bool recovered = false; // into a later run
    bool running = false;   // its run goes on
    // Where its text stood at the last Clear of the receive box.
    qint64 clearedAtByte = 0;
    qint64 clearedAtLine = 0;
    qint64 rowsFromLine = 0; // the text line its readings' first row is

    // A crash (or a kill) left it, and its lines were not brought back yet.
    bool unrecovered() const { return !ended && !recovered && !running; }
};

// The journals Ondril wrote in `folder`, oldest first; files of any other
// name or content are not among them.
std::vector<JournalRun> findJournals(const QString &folder);
// Removes the journals older than `days` and, oldest first, as many as it
// takes to keep `maxBytes` in all; never one whose run goes on, one a crash
// left unrecovered, nor the newest of its port. Returns how far what it had
// to keep is over `maxBytes` (0 when within).
qint64 pruneJournals(const QString &folder, const QDateTime &now, int days = 30,
                     qint64 maxBytes = qint64(1) << 30);
// What the operator is told when pruning had to keep more than its limit.
QString journalsOverLimitNotice(const QString &folder, qint64 over);
// The newest journal whose run did not end cleanly, holds lines and was not
// recovered yet (runs still going aside); else an empty `text`.
JournalRun journalToRecover(const QString &folder);
bool markRecovered(const JournalRun &run);
// Its companion says so now (another Ondril may have marked it since it was found).
bool isMarkedRecovered(const JournalRun &run);

} // namespace ondril
