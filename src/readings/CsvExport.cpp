#include "CsvExport.h"

#include "ReadingsCsv.h"
#include "ReadingsLog.h"

#include <QElapsedTimer>
#include <QSaveFile>

namespace ondril {

namespace {
constexpr qint64 sliceNs = 15'000'000; // of the window's time at a go
constexpr qint64 chunkBytes = 1 << 20;
constexpr qint64 queuedAtMost = 16 * chunkBytes; // the disk is slower: wait for it
} // namespace

CsvExport::CsvExport(const ReadingsLog *log, const QString &path, QObject *parent)
    : QObject(parent), m_log(log), m_rows(log->size())
{
    m_chunks.push_back(readingsCsvHeader);
    m_writer = std::thread([this, path] { write(path); });
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &CsvExport::formatSlice);
    m_slices.start();
}

CsvExport::~CsvExport()
{
    cancel();
    m_writer.join();
}

void CsvExport::cancel()
{
    m_slices.stop();
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    m_changed.notify_all();
}

void CsvExport::formatSlice()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queuedBytes > queuedAtMost) {
            m_slices.setInterval(10); // the writer catches up meanwhile
            return;
        }
    }
    m_slices.setInterval(0);
    QElapsedTimer clock;
    clock.start();
    QByteArray chunk;
    chunk.reserve(chunkBytes + 4096);
    while (m_done < m_rows && chunk.size() < chunkBytes && (m_done % 256 != 0 || clock.nsecsElapsed() < sliceNs))
        chunk += readingsCsvRow(*m_log, m_done++);
    const bool last = m_done == m_rows;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_queuedBytes += chunk.size();
        m_chunks.push_back(std::move(chunk));
        m_lastChunk = last;
        m_changed.notify_all();
    }
    if (last)
        m_slices.stop();
    emit progress(m_done, m_rows);
}

// On the writer's thread.
void CsvExport::write(const QString &path)
{
    QSaveFile file(path);
    QString why;
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
        QMetaObject::invokeMethod(this, [this, why] { emit finished(false, why); }, Qt::QueuedConnection);
        return;
    }
    bool cancelled = false;
    for (;;) {
        QByteArray chunk;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_cancelled || !m_chunks.empty() || m_lastChunk; });
            cancelled = m_cancelled;
            if (cancelled || m_chunks.empty())
                break; // cancelled, or the last chunk is written
            chunk = std::move(m_chunks.front());
            m_chunks.pop_front();
            m_queuedBytes -= chunk.size();
        }
        if (why.isEmpty() && file.write(chunk) != chunk.size())
            why = file.errorString(); // the rest is only drained
    }
    if (cancelled || !why.isEmpty())
        file.cancelWriting(); // the commit then removes the new file and keeps the old
    if (!file.commit() && why.isEmpty() && !cancelled)
        why = file.errorString();
    const bool written = !cancelled && why.isEmpty();
    QMetaObject::invokeMethod(this, [this, written, why] { emit finished(written, why); }, Qt::QueuedConnection);
}

} // namespace ondril
