#include "PortTrouble.h"

#include "PortMap.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_WIN

namespace ondril {

// Windows keeps no lock files: a port another program has open is refused
// with "access denied", and that is all the system tells.
QString lockFileOf(const QString &)
{
    return {};
}

QString portTrouble(int port, const QString &device, const OpenFailure &failure)
{
    if (device.isEmpty())
        return QStringLiteral("%1: no device").arg(portText(port));
    QString text = QStringLiteral("%1: %2: %3.").arg(portText(port), device, failure.reason);
    if (failure.refused)
        text += QStringLiteral("\nAnother program has it open (a terminal, another Ondril, the balance maker's "
                               "software): close it, then pick the port again.");
    return text;
}

} // namespace ondril

#else

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ondril {

namespace {

// The group that may open the device; "dialout" when it is root's alone.
QString deviceGroup(const QString &device)
{
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) == 0)
        if (const group *g = ::getgrgid(st.st_gid); g && QByteArray(g->gr_name) != "root")
            return QString::fromLocal8Bit(g->gr_name);
    return QStringLiteral("dialout");
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : QString();
}

// Who holds the device, as its lock file tells (serial programs write their
// process id on its first line).
QString holderOf(const QString &device)
{
    const QString lock = lockFileOf(device);
    QFile file(lock);
    if (lock.isEmpty() || !file.exists())
        return QStringLiteral("Another program has it open for its own use.");
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Its lock file %1 cannot be read: %2.").arg(lock, file.errorString());
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool ok = false;
    const qint64 pid = lines.value(0).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return QStringLiteral("Its lock file %1 names no process.").arg(lock);
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return QStringLiteral("Its lock file %1 names process %2, which no longer runs.").arg(lock).arg(pid);
    QString program = processName(pid);
    if (program.isEmpty())
        program = QString::fromLocal8Bit(lines.value(1).trimmed());
    return QStringLiteral("Another program holds it: process %1%2, by its lock file %3.")
        .arg(pid)
        .arg(program.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(program), lock);
}

} // namespace

QString lockFileOf(const QString &device)
{
    static const QStringList folders = {
        QStringLiteral("/var/lock"),  QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"), QStringLiteral("/tmp"), QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(u'/', u'_');
    for (const QString &folder : folders) {
        const QString path = folder + QStringLiteral("/LCK..") + name;
        const QFileInfo dir(folder);
        if (dir.isReadable() && (QFile::exists(path) || dir.isWritable()))
            return path;
    }
    return {};
}

QString portTrouble(int port, const QString &device, const OpenFailure &failure)
{
    if (device.isEmpty())
        return QStringLiteral("%1: no device").arg(portText(port));
    QString text = QStringLiteral("%1: %2: %3.").arg(portText(port), device, failure.reason);
    if (!failure.refused)
        return text;
    // Asked of the system again rather than read from its words, which come
    // in the user's language.
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        text += QStringLiteral("\nYou may not use this port: add your user to its group %1, then log out "
                               "and in again. On Debian:\n    sudo adduser $USER %1")
                    .arg(deviceGroup(device));
    } else {
        text += u'\n' + holderOf(device);
    }
    return text;
}

} // namespace ondril

#endif
