#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ondril {

class ReadingsLog;

// Export CSV of millions of rows without freezing the window: the rows there
// are when it starts are put into text a slice at a time between the
// window's events (the log grows on this thread, and its pages may move, so
// only this thread reads it), and a thread of its own writes the text and
// waits for the disk. The file is replaced only once it is whole; Cancel, a
// failure or the end of the program leave the old one as it was.
class CsvExport : public QObject {
    Q_OBJECT
public:
    CsvExport(const ReadingsLog *log, const QString &path, QObject *parent = nullptr);
    ~CsvExport() override;

    qint64 rows() const { return m_rows; }
    void cancel();

signals:
    void progress(qint64 done, qint64 rows);
    // The file is written, or why it is not (empty when cancelled).
    void finished(bool written, const QString &why);

private:
    void formatSlice();
    void write(const QString &path);

    const ReadingsLog *m_log;
    const qint64 m_rows;
    qint64 m_done = 0;
    QTimer m_slices;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_chunks; // text for the writer, in order
    qint64 m_queuedBytes = 0;
    bool m_lastChunk = false; // all the rows are queued
    bool m_cancelled = false;
    std::thread m_writer;
};

} // namespace ondril
