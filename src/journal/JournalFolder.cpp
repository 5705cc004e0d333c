#include "JournalFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include "JournalFile.h"
#include "window/KeptChoices.h"

#include <algorithm>

namespace ondril {

namespace {

// Another run holds its journal locked while it goes on.
bool lockedByItsRun(const QString &path)
{
    const int fd = journalfile::openForReading(path);
    if (fd < 0)
        return false;
    const bool locked = !journalfile::tryLock(fd, false);
    journalfile::closeFile(fd);
    return locked;
}

} // namespace

QString defaultJournalFolder()
{
#ifdef Q_OS_WIN
    return localAppFolder() + QStringLiteral("/journal");
#endif
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/ondril/journal");
}

QString journalBaseName(const QDateTime &started, const QString &port, qint64 pid)
{
    QString name = port;
    name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")));
    return QStringLiteral("%1-%2-%3").arg(started.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss-zzz")), name).arg(pid);
}

std::vector<JournalRun> findJournals(const QString &folder)
{
    static const QRegularExpression name(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d(-\\d{3})?-[A-Za-z0-9]*-\\d+(-\\d+)?\\")
                                         + QLatin1String(journalCompanionSuffix) + u'$');
    std::vector<JournalRun> runs;
    const QDir dir(folder);
    for (const QString &companion : dir.entryList({QStringLiteral("*") + QLatin1String(journalCompanionSuffix)}, QDir::Files)) {
        if (!name.match(companion).hasMatch())
            continue;
        QFile file(dir.filePath(companion));
        if (!file.open(QIODevice::ReadOnly) || file.readLine().trimmed() != journalMagic)
            continue;
        JournalRun run;
        run.companion = file.fileName();
        const QString base = run.companion.chopped(int(qstrlen(journalCompanionSuffix)));
        run.text = base + QLatin1String(journalTextSuffix);
        run.readings = base + QLatin1String(journalReadingsSuffix);
        const QFileInfo text(run.text);
        if (!text.exists())
            continue;
        run.bytes = text.size() + QFileInfo(run.readings).size();
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            const QByteArray value = line.mid(line.indexOf(' ') + 1);
            if (line.startsWith("started "))
                run.started = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
            else if (line.startsWith("port "))
                run.port = QString::fromUtf8(value);
            else if (line.startsWith("ended "))
                run.ended = true;
            else if (line.startsWith("recovered "))
                run.recovered = true;
            else if (line.startsWith("clear ")) {
                const QList<QByteArray> at = value.split(' ');
                run.clearedAtByte = at.value(0).toLongLong();
                run.clearedAtLine = at.value(1).toLongLong();
            } else if (line.startsWith("rows from "))
                run.rowsFromLine = line.mid(10).toLongLong();
        }
        run.running = !run.ended && lockedByItsRun(run.text);
        runs.push_back(run);
    }
    std::sort(runs.begin(), runs.end(), [](const JournalRun &a, const JournalRun &b) {
        return a.started != b.started ? a.started < b.started : a.text < b.text;
    });
    return runs;
}

qint64 pruneJournals(const QString &folder, const QDateTime &now, int days, qint64 maxBytes)
{
    std::vector<JournalRun> runs = findJournals(folder);
    qint64 total = 0;
    QHash<QString, const JournalRun *> newest; // of each port
    for (const JournalRun &run : runs) {
        total += run.bytes;
        newest[run.port] = &run; // oldest first
    }
    for (const JournalRun &run : runs) {
        if (run.running || run.unrecovered() || newest.value(run.port) == &run)
            continue;
        if (run.started.daysTo(now) <= days && total <= maxBytes)
            break; // the rest are newer
        QFile::remove(run.text);
        QFile::remove(run.readings);
        QFile::remove(run.companion);
        total -= run.bytes;
    }
    return std::max<qint64>(0, total - maxBytes);
}

QString journalsOverLimitNotice(const QString &folder, qint64 over)
{
    return QStringLiteral("The journals take %1 MB more than their limit of 1 GB.\n%2\n"
                          "Journals of runs that did not end cleanly and were not recovered, and the newest of "
                          "each port, are never removed. Recover them (Tools), or move them out of the folder.")
        .arg((over + (1 << 20) - 1) >> 20)
        .arg(folder);
}

JournalRun journalToRecover(const QString &folder)
{
    const std::vector<JournalRun> runs = findJournals(folder);
    // Each run a crash left stays offered until it is recovered: it is never
    // pruned either.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it)
        if (it->unrecovered() && it->bytes > 0)
            return *it;
    return {};
}

bool isMarkedRecovered(const JournalRun &run)
{
    QFile file(run.companion);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd())
        if (file.readLine().startsWith("recovered "))
            return true;
    return false;
}

bool markRecovered(const JournalRun &run)
{
    QFile file(run.companion);
    const QByteArray mark = "recovered " + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + '\n';
    // Flushed here: a buffered write says nothing of a full disk.
    return file.open(QIODevice::Append) && file.write(mark) == mark.size() && file.flush();
}

} // namespace ondril
