#pragma once

#include <QBasicTimer>
#include <QFileSystemWatcher>
#include <QObject>

#include <optional>
#include <tuple>

namespace ondril {

// Watches a device path for its device to come back after a loss: an adapter
// plugged in again, a link made again to a new terminal. Told by inotify on
// the folders involved (the path's and, for a link, its target's), so it costs
// nothing while nothing changes there. What the path leads to when the watch
// starts does not count as back; anything else that is a terminal does, but
// for a pseudo-terminal: its number, once closed, may go to any other
// terminal, so only a link made again to one counts, and a /dev/pts path of
// its own is not watched at all.
//
// A device that is back but refused to open is tried again when its owner or
// mode changes (udev hands a new adapter to its group a moment after the
// kernel makes it root's alone), and every quarter second for a few seconds
// (another program probing a new port lets go of it soon).
//
// On Windows a COM port's name is all there is to watch: the system's list of
// serial ports is looked at twice a second while a lost port is awaited, and
// the port is back when its name is listed again after it was gone.
class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject *parent = nullptr);

    // The port opened `device`: what it leads to now is what a loss loses.
    void opened(const QString &device);
    // False when the path is not watched (a pseudo-terminal's own path).
    // What the path led to when it was opened does not count as back;
    // anything else does, even if it came before the loss was handled.
    bool watch(const QString &device);
    void stop();
    bool isWatching() const { return !m_device.isEmpty(); }
    // What the path leads to now would not open (no permission, busy).
    void refused();

protected:
    void timerEvent(QTimerEvent *event) override;

signals:
    // The path leads to a terminal again, another than the one lost. Raised
    // once for each thing it comes to lead to.
    void back();

private:
    void announce();
    QString m_device;
    QString m_openedDevice;
    QBasicTimer m_retry;
    int m_retriesLeft = 0;
#ifdef Q_OS_WIN
    QBasicTimer m_look;
    bool m_gone = false;
#else
    // A file: its device and inode, and the device it is or, for a link, the
    // time it was made (an inode number is soon given to a new file again).
    using Identity = std::tuple<quint64, quint64, quint64>;
    struct Seen {
        std::optional<Identity> link; // the path itself, when it is a link
        QString linkTarget;
        std::optional<Identity> target; // what it leads to
        quint64 targetChanged = 0;      // when its owner, mode or links last changed
        bool operator==(const Seen &o) const
        {
            return link == o.link && linkTarget == o.linkTarget && target == o.target;
        }
    };
    static Seen seen(const QString &path);
    void look();
    bool isRefusedOne(const Seen &now) const { return m_refused.target && now.target == m_refused.target; }

    QFileSystemWatcher m_folders;
    Seen m_seen; // when last looked at
    Seen m_opened; // what it led to when opened
    Seen m_refused; // what would not open, as it was then
#endif
};

} // namespace ondril
