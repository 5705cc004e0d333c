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
// "2026-12-07T14-03-27-COM1-4242": the start, the port and the process.
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
};

// The journals Ondril wrote in `folder`, oldest first; files of any other
// name or content are not among them.
std::vector<JournalRun> findJournals(const QString &folder);
// Removes the journals older than `days` and, oldest first, as many as it
// takes to keep `maxBytes` in all; never one whose run goes on.
void pruneJournals(const QString &folder, const QDateTime &now, int days = 30,
                   qint64 maxBytes = qint64(1) << 30);
// The last run's journal when that run did not end cleanly, holds lines and
// was not recovered yet; else an empty `text`.
JournalRun journalToRecover(const QString &folder);
bool markRecovered(const JournalRun &run);

} // namespace ondril
