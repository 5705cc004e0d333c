#include "Journal.h"

#include "JournalFolder.h"
#include "window/SteadyClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "JournalFile.h"

#include <cerrno>
#include <cstring>

#include <utility>

namespace ondril {

namespace {

using namespace journalfile;

QString stamp(const QDateTime &t)
{
    return t.toString(Qt::ISODateWithMs);
}

} // namespace

Journal::Journal(const QString &folder, QObject *parent) : QObject(parent), m_folder(folder) {}

Journal::~Journal()
{
    end();
}

bool Journal::open(const QString &port)
{
    m_started = QDateTime::currentDateTime();
    m_port = port;
    QString base = QDir(m_folder).filePath(journalBaseName(m_started, port, QCoreApplication::applicationPid()));
    QString why;
    if (!QDir().mkpath(m_folder)) {
        why = QStringLiteral("the folder cannot be made");
    } else {
        // Two journals of one process within a millisecond: the second is numbered.
        const QString first = base;
        for (int n = 2; (m_text = createNew(base + journalTextSuffix)) < 0 && errno == EEXIST && n < 100; ++n)
            base = first + u'-' + QString::number(n);
        if (m_text < 0 || !tryLock(m_text, true) || (m_readings = createNew(base + journalReadingsSuffix)) < 0
            || (m_textSync = openForSync(m_text, base + journalTextSuffix)) < 0
            || (m_readingsSync = openForSync(m_readings, base + journalReadingsSuffix)) < 0)
            why = lastError();
    }
    m_path = base + journalTextSuffix;
    m_textSize = m_companionSize = m_readingsSize = m_lines = 0;
    if (why.isEmpty() && !m_hidden && !announce())
        why = lastError();
    if (!why.isEmpty()) {
        closeSyncHandles();
        for (const auto &[fd, suffix] : {std::pair{&m_text, journalTextSuffix}, {&m_companion, journalCompanionSuffix},
                                         {&m_readings, journalReadingsSuffix}}) {
            if (*fd >= 0) {
                closeFile(*fd);
                removeFile(base + QLatin1String(suffix));
                *fd = -1;
            }
        }
        m_path.clear();
        fail(why);
        return false;
    }
    startSyncing();
    return true;
}

bool Journal::announce()
{
    const QString companion = m_path.chopped(int(qstrlen(journalTextSuffix))) + QLatin1String(journalCompanionSuffix);
    if ((m_companion = createNew(companion)) < 0 || (m_companionSync = openForSync(m_companion, companion)) < 0)
        return false;
    noteHeader();
    return true;
}

void Journal::noteHeader()
{
    note(journalMagic);
    note("started " + stamp(m_started).toLatin1());
    note("port " + m_port.toUtf8());
}

void Journal::takeOver(Journal &next)
{
    end();
    next.stopSyncing();
    if (next.m_text < 0)
        return;
    m_started = next.m_started;
    m_port = next.m_port;
    m_path = std::exchange(next.m_path, {});
    m_text = std::exchange(next.m_text, -1);
    m_readings = std::exchange(next.m_readings, -1);
    m_textSync = std::exchange(next.m_textSync, -1);
    m_readingsSync = std::exchange(next.m_readingsSync, -1);
    m_textSize = next.m_textSize;
    m_readingsSize = next.m_readingsSize;
    m_companionSize = 0;
    m_lines = next.m_lines;
    m_missing = next.m_missing;
    m_missingSince = next.m_missingSince;
    m_missingWhy = next.m_missingWhy;
    {
        const std::scoped_lock lock(m_mutex, next.m_mutex);
        m_readingsHeader = next.m_readingsHeader;
        m_pendingRows = std::exchange(next.m_pendingRows, {});
        m_dirtySinceNs = next.m_dirtySinceNs;
    }
    if (!announce())
        fail(lastError());
    startSyncing();
}

void Journal::closeSyncHandles()
{
    for (int *fd : {&m_textSync, &m_readingsSync, &m_companionSync}) {
        if (*fd >= 0)
            closeFile(*fd);
        *fd = -1;
    }
}

// Another program cut or removed the text or its companion (an editor that
// saves in place, a clean-up script): the journal says so where it can and
// goes on in a new file, never writing into a hole.
bool Journal::goOnIfChangedOutside(const QString &port)
{
    const bool companionWhole = m_companion < 0 || stillWhole(m_companion, m_companionSize);
    if (stillWhole(m_text, m_textSize) && companionWhole)
        return false;
    const QString was = QFileInfo(m_path).completeBaseName();
    const QString when = stamp(QDateTime::currentDateTime());
    if (!companionWhole) { // emptied: written again, so that the text stays a journal
        m_companionSize = 0;
        noteHeader();
    }
    note(QStringLiteral("cut from outside before %1: it held %2 bytes of text").arg(when).arg(m_textSize).toUtf8());
    end();
    if (!open(port))
        return true;
    note(QStringLiteral("follows %1, cut from outside before %2: lines before this one may be missing there")
             .arg(was, when)
             .toUtf8());
    return true;
}

void Journal::add(QByteArrayView text, const QString &port)
{
    if (m_text >= 0)
        goOnIfChangedOutside(port);
    if (m_text < 0 && !open(port))
        return;
    // One plain write a line: nothing another program does to the file can
    // fault this process, and a kill loses nothing written.
    if (!write(m_text, text, &m_textSize)) {
        fail(lastError());
        return;
    }
    m_lines += text.count('\n');
    if (m_missing > 0) {
        note(QStringLiteral("missing %1 lines from %2 to %3: %4")
                 .arg(m_missing)
                 .arg(stamp(m_missingSince), stamp(QDateTime::currentDateTime()), m_missingWhy)
                 .toUtf8());
        m_missing = 0;
    }
    markDirty();
}

void Journal::addReadings(QByteArrayView rows, QByteArrayView header)
{
    if (m_readings < 0)
        return;
    qint64 lost = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_readingsHeader.isEmpty())
            m_readingsHeader = header.toByteArray();
        m_pendingRows += rows;
        std::swap(lost, m_rowsLost);
    }
    if (lost > 0)
        note(QStringLiteral("missing %1 bytes of readings before %2").arg(lost).arg(stamp(QDateTime::currentDateTime())).toUtf8());
    markDirty();
}

void Journal::markDirty()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_dirtySinceNs != 0)
            return; // the syncer knows already: waking it for each line would cost more than the write
        m_dirtySinceNs = steadyNow();
    }
    m_wake.notify_one();
}

// All of `bytes` or none: a line cut by a full disk is taken back.
bool Journal::write(int fd, QByteArrayView bytes, qint64 *size)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = writeAt(fd, bytes.data() + done, bytes.size() - done, *size + done);
        if (n < 0 && interrupted())
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            if (done > 0 && !truncate(fd, *size)) {
                // What was cut stays; the companion still tells of the missing line.
            }
            errno = error;
            return false;
        }
        done += n;
    }
    *size += bytes.size();
    return true;
}

void Journal::note(const QByteArray &line)
{
    if (m_companion >= 0 && write(m_companion, line + '\n', &m_companionSize)) {
        const std::lock_guard lock(m_mutex);
        m_companionDirty = true;
    }
}

void Journal::fail(const QString &reason)
{
    if (m_missing++ == 0) {
        m_missingSince = QDateTime::currentDateTime();
        m_missingWhy = reason;
    }
    if (!m_troubleTold) {
        m_troubleTold = true;
        emit trouble(m_folder, reason);
    }
}

void Journal::end()
{
    if (m_text < 0)
        return;
    stopSyncing();
    syncData(m_textSync);
    note("ended " + stamp(QDateTime::currentDateTime()).toLatin1());
    syncData(m_companionSync);
    closeSyncHandles();
    closeFile(m_companion);
    closeFile(m_readings);
    closeFile(m_text); // and its lock goes
    if (m_companion < 0) { // a hidden one no other took over: a copy of what is kept elsewhere
        removeFile(m_path);
        removeFile(m_path.chopped(int(qstrlen(journalTextSuffix))) + QLatin1String(journalReadingsSuffix));
    }
    m_text = m_companion = m_readings = -1;
    m_path.clear();
}

void Journal::markCleared()
{
    if (m_text >= 0)
        note(QStringLiteral("clear %1 %2 %3").arg(m_textSize).arg(m_lines).arg(stamp(QDateTime::currentDateTime())).toUtf8());
}

void Journal::markSaved(const QString &path)
{
    if (m_text >= 0)
        note(QStringLiteral("save %1 %2 %3 %4")
                 .arg(m_textSize)
                 .arg(m_lines)
                 .arg(stamp(QDateTime::currentDateTime()), path)
                 .toUtf8());
}

void Journal::rowsStartHere()
{
    if (m_text >= 0)
        note(QStringLiteral("rows from %1").arg(m_lines).toUtf8());
}

qint64 Journal::worstSyncLagNs() const
{
    const std::lock_guard lock(m_mutex);
    return m_worstLagNs;
}

void Journal::startSyncing()
{
    m_stopping = false;
    m_syncer = std::thread([this] { syncLoop(); });
}

void Journal::stopSyncing()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_syncer.joinable())
        m_syncer.join();
}

// Waits for something written, then forces it to the disk; while lines
// stream in, about once a second: 0.95 s after the last time, so that with
// the sync's own few milliseconds a line is on the disk within a second.
void Journal::syncLoop()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(m_mutex);
    Clock::time_point next = Clock::now();
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_dirtySinceNs != 0; });
        if (m_dirtySinceNs == 0)
            return; // stopping, and everything is on the disk
        if (!m_stopping && m_wake.wait_until(lock, next, [this] { return m_stopping; }))
            continue; // told to stop while waiting: sync at once
        const qint64 since = m_dirtySinceNs;
        const bool companion = std::exchange(m_companionDirty, false);
        const QByteArray rows = std::exchange(m_pendingRows, {});
        const QByteArray header = m_readingsHeader;
        m_dirtySinceNs = 0;
        next = Clock::now() + std::chrono::milliseconds(950);
        lock.unlock();
        const bool rowsWritten = rows.isEmpty()
            || ((m_readingsSize > 0 || write(m_readings, header, &m_readingsSize))
                && write(m_readings, rows, &m_readingsSize));
        syncData(m_textSync);
        syncData(m_readingsSync);
        if (companion)
            syncData(m_companionSync);
        lock.lock();
        if (!rowsWritten)
            m_rowsLost += rows.size();
        m_worstLagNs = std::max(m_worstLagNs, steadyNow() - since);
    }
}

} // namespace ondril
