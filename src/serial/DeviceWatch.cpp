#include "DeviceWatch.h"

#ifndef Q_OS_WIN

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QTimerEvent>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <utility>

namespace ondril {

namespace {

// The nearest folder on the way to `path` that exists: a folder that is
// gone (the last USB adapter's /dev/serial/by-id) comes back inside it.
QString nearestFolder(const QString &path)
{
    QString folder = QFileInfo(path).absolutePath();
    while (!QFileInfo(folder).isDir() && folder != QLatin1String("/"))
        folder = QFileInfo(folder).absolutePath();
    return folder;
}

// Empty when `path` leads to a terminal; else what it is instead. A character
// device that the system files under another class than "tty" (/dev/null, a
// watchdog) is no terminal; pseudo-terminals are filed under none.
QString notATerminal(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("it leads nowhere");
    if (S_ISREG(st.st_mode))
        return QStringLiteral("it is a regular file");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("it is a folder");
    if (!S_ISCHR(st.st_mode))
        return QStringLiteral("it is no character device");
    const QFileInfo subsystem(QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
    if (subsystem.exists() && QFileInfo(subsystem.symLinkTarget()).fileName() != QLatin1String("tty"))
        return QStringLiteral("it is a device of the class %1").arg(QFileInfo(subsystem.symLinkTarget()).fileName());
    return {};
}

} // namespace

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent)
{
    connect(&m_folders, &QFileSystemWatcher::directoryChanged, this, &DeviceWatch::look);
}

DeviceWatch::Seen DeviceWatch::seen(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    Seen now;
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        now.link = Identity{quint64(st.st_dev), quint64(st.st_ino),
                            quint64(st.st_ctim.tv_sec) * 1000000000u + quint64(st.st_ctim.tv_nsec)};
        now.linkTarget = QFileInfo(path).symLinkTarget();
    }
    if (::stat(name.constData(), &st) == 0) {
        now.target = Identity{quint64(st.st_dev), quint64(st.st_ino), quint64(st.st_rdev)};
        now.targetChanged = quint64(st.st_ctim.tv_sec) * 1000000000u + quint64(st.st_ctim.tv_nsec);
    }
    return now;
}

void DeviceWatch::opened(const QString &device)
{
    m_openedDevice = device;
    m_opened = seen(device);
}

bool DeviceWatch::watch(const QString &device)
{
    stop();
    if (device.isEmpty() || QFileInfo(device).absoluteFilePath().startsWith(QLatin1String("/dev/pts/")))
        return false;
    m_device = device;
    m_seen = device == m_openedDevice ? m_opened : seen(device);
    look();
    return true;
}

void DeviceWatch::stop()
{
    m_device.clear();
    m_refused = {};
    m_retry.stop();
    if (!m_folders.directories().isEmpty())
        m_folders.removePaths(m_folders.directories());
}

void DeviceWatch::look()
{
    if (m_device.isEmpty())
        return;
    QStringList folders{nearestFolder(m_device)};
    const QFileInfo link(m_device);
    if (link.isSymLink())
        folders << nearestFolder(link.symLinkTarget());
    folders.removeDuplicates();
    const QStringList watched = m_folders.directories();
    if (watched != folders) {
        if (!watched.isEmpty())
            m_folders.removePaths(watched);
        m_folders.addPaths(folders);
    }

    const Seen now = seen(m_device);
    const Seen before = std::exchange(m_seen, now);
    // The same device that refused, with another owner or mode: that is
    // udev giving it to its group, and worth another try at once.
    if (isRefusedOne(now) && now.targetChanged != m_refused.targetChanged) {
        m_refused = {};
        m_retry.stop();
        announce();
        return;
    }
    if (!now.target || now == before)
        return;
    if (QFileInfo(m_device).canonicalFilePath().startsWith(QLatin1String("/dev/pts/")) && now.link == before.link
        && now.linkTarget == before.linkTarget)
        return; // the link stayed: its pseudo-terminal's number went to another terminal
    const QString why = notATerminal(m_device);
    if (!why.isEmpty()) {
        QTextStream(stderr) << "ondril: " << m_device << " is back but not opened: " << why << '\n';
        return;
    }
    m_refused = {};
    m_retry.stop();
    announce();
}

void DeviceWatch::refused()
{
    if (!isWatching())
        return;
    const Seen now = seen(m_device);
    if (!isRefusedOne(now))
        m_retriesLeft = 40; // ten seconds for each new device
    m_refused = now;
    if (m_retriesLeft > 0)
        m_retry.start(250, this);
}

void DeviceWatch::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_retry.timerId())
        return QObject::timerEvent(event);
    m_retry.stop();
    if (--m_retriesLeft >= 0 && isRefusedOne(seen(m_device)))
        announce();
}

} // namespace ondril

#endif

namespace ondril {

void DeviceWatch::announce()
{
    // From the event loop, not from inside the watcher's own signal: the
    // answer to it may well end the watch.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isWatching())
                emit back();
        },
        Qt::QueuedConnection);
}

} // namespace ondril
