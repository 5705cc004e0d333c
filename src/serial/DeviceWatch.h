#pragma once

#include <QFileSystemWatcher>
#include <QObject>

#include <optional>
#include <tuple>

namespace ondril {

// Watches a device path for its device to come back after a loss: an adapter
// plugged in again, a link made again to a new terminal. Told by inotify on
// the folders involved (the path's and, for a link, its target's), so it costs
// nothing while nothing changes there. What the path leads to when the watch
// starts does not count as back; anything else that is a terminal does.
class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject *parent = nullptr);

    void watch(const QString &device);
    void stop();
    bool isWatching() const { return !m_device.isEmpty(); }

signals:
    // The path leads to a terminal again, another than the one lost. Raised
    // once for each thing it comes to lead to.
    void back();

private:
    // What a path leads to: its device and inode, and the device it is.
    using Identity = std::tuple<quint64, quint64, quint64>;
    static std::optional<Identity> identity(const QString &path);
    void look();

    QFileSystemWatcher m_folders;
    QString m_device;
    std::optional<Identity> m_seen; // what the path led to when last looked at
};

} // namespace ondril
