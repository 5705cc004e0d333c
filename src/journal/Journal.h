#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace ondril {

// The run's journal: every line reception adds to the receive box, appended
// as it comes with a write of its own, byte for byte as Save writes it. The
// file is made with the first line; one cut or removed from outside is told
// of in its companion, and the lines go on in a new one. A thread of its own forces what was written to the disk at
// most once a second, so a power cut loses at most the last second and the
// window never waits on the disk; a kill loses nothing that was written.
//
// Beside the text go the readings' CSV, and its companion (".run"): when the run started, on
// which port, where lines are missing, and whether it ended cleanly. The
// journal is locked while its run goes on, so another Ondril neither prunes
// nor recovers it.
class Journal : public QObject {
    Q_OBJECT
public:
    explicit Journal(const QString &folder, QObject *parent = nullptr);
    ~Journal() override; // ends it cleanly

    // `port` names the port in the file's name and its companion.
    void add(QByteArrayView text, const QString &port);
    // Rows of the readings those lines were, for the CSV beside the text;
    // `header` goes first. Written with each sync, at most a second later:
    // unlike the text, they can be told again from it. Nothing when no
    // journal is open.
    void addReadings(QByteArrayView rows, QByteArrayView header);
    // Marks the journal as ended cleanly and closes it; a later line starts a new one.
    void end();
    // The receive box was cleared, or saved to `path` (Save writes all of
    // it): what a recovery must bring back starts after the last Clear.
    void markCleared();
    void markSaved(const QString &path);
    // A journal that is not one yet: its text and readings are written, but
    // its companion only once another takes it over; ended before that, its
    // files go. Before its first line.
    void keepHidden() { m_hidden = true; }
    // Ends this journal and goes on in `next` (a hidden one, filled with a
    // recovery meanwhile), which becomes a journal now.
    void takeOver(Journal &next);
    // The readings' rows of this journal start with its next line (after a
    // recovery, the lines before have theirs in earlier journals).
    void rowsStartHere();

    QString folder() const { return m_folder; }
    QString path() const { return m_path; } // empty before the first line
    // The worst time from a line written to it on the disk, for the bench.
    qint64 worstSyncLagNs() const;

signals:
    // Writing failed: the first time in a run only.
    void trouble(const QString &folder, const QString &reason);

private:
    bool open(const QString &port);
    static bool write(int fd, QByteArrayView bytes, qint64 *size);
    bool announce();
    void noteHeader();
    bool goOnIfChangedOutside(const QString &port);
    void closeSyncHandles();
    void note(const QByteArray &line);
    void markDirty();
    void fail(const QString &reason);
    void startSyncing();
    void stopSyncing();
    void syncLoop();

    QString m_folder;
    QString m_path;
    QDateTime m_started;
    QString m_port;
    bool m_hidden = false;
    int m_text = -1;
    int m_companion = -1;
    int m_readings = -1;
    // The syncer's own descriptors of the same files.
    int m_textSync = -1;
    int m_readingsSync = -1;
    int m_companionSync = -1;
    qint64 m_lines = 0;
    qint64 m_textSize = 0; // what each holds: where a cut line is taken back to
    qint64 m_companionSize = 0;
    qint64 m_readingsSize = 0; // the syncer's
    bool m_troubleTold = false;
    // Lines that could not be written, since when, and why.
    qint64 m_missing = 0;
    QDateTime m_missingSince;
    QString m_missingWhy;

    std::thread m_syncer;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    qint64 m_dirtySinceNs = 0; // 0: everything written is on the disk
    bool m_companionDirty = false;
    QByteArray m_readingsHeader;
    QByteArray m_pendingRows;
    qint64 m_rowsLost = 0;
    qint64 m_worstLagNs = 0;
};

} // namespace ondril
