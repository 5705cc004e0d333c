#include "JournalFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "JournalFile.h"
#include "window/ToolsMenu.h"

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

// A run that ended otherwise leaves the room its text had ahead: zeros past
// its last line, less than a megabyte. They go, so the file is the text.
// (Zero bytes the balance itself sent last, just before a crash, go too.)
void cutRoomAhead(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return;
    qint64 end = file.size();
    while (end > 0) {
        const qint64 from = std::max<qint64>(0, end - 65536);
        if (!file.seek(from))
            return;
        const QByteArray block = file.read(end - from);
        if (block.size() != end - from)
            return;
        qsizetype kept = block.size();
        while (kept > 0 && block[kept - 1] == '\0')
            --kept;
        end = from + kept;
        if (kept > 0)
            break;
    }
    if (end < file.size())
        file.resize(end);
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
    return QStringLiteral("%1-%2-%3").arg(started.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss")), name).arg(pid);
}

std::vector<JournalRun> findJournals(const QString &folder)
{
    static const QRegularExpression name(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d-[A-Za-z0-9]*-\\d+\\")
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
        }
        run.running = !run.ended && lockedByItsRun(run.text);
        if (!run.ended && !run.running) {
            cutRoomAhead(run.text);
            run.bytes = QFileInfo(run.text).size() + QFileInfo(run.readings).size();
        }
        runs.push_back(run);
    }
    std::sort(runs.begin(), runs.end(), [](const JournalRun &a, const JournalRun &b) {
        return a.started != b.started ? a.started < b.started : a.text < b.text;
    });
    return runs;
}

void pruneJournals(const QString &folder, const QDateTime &now, int days, qint64 maxBytes)
{
    std::vector<JournalRun> runs = findJournals(folder);
    qint64 total = 0;
    for (const JournalRun &run : runs)
        total += run.bytes;
    for (const JournalRun &run : runs) {
        if (run.running)
            continue;
        if (run.started.daysTo(now) <= days && total <= maxBytes)
            break; // the rest are newer
        QFile::remove(run.text);
        QFile::remove(run.readings);
        QFile::remove(run.companion);
        total -= run.bytes;
    }
}

JournalRun journalToRecover(const QString &folder)
{
    std::vector<JournalRun> runs = findJournals(folder);
    // The last run that is over: runs still going (this one, another
    // Ondril's) are not it.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        if (it->running)
            continue;
        if (!it->ended && !it->recovered && it->bytes > 0)
            return *it;
        break;
    }
    return {};
}

bool markRecovered(const JournalRun &run)
{
    QFile file(run.companion);
    return file.open(QIODevice::Append) && file.write("recovered " + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + '\n') > 0;
}

} // namespace ondril
