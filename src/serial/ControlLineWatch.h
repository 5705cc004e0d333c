#pragma once

#include <QObject>

#include <atomic>
#include <thread>

namespace ondril {

// Waits in a thread of its own for the far end's control lines to change,
// and tells each change, timed when the thread woke, in the owner's thread.
// The device must stay open until stop() has returned.
class ControlLineWatch : public QObject {
    Q_OBJECT
public:
    explicit ControlLineWatch(QObject *parent = nullptr);
    ~ControlLineWatch() override;

    // False where the device cannot wait for a change.
    bool start(qintptr handle);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

signals:
    void changed(qint64 steadyNs);
    // The device stopped answering the wait (gone, or it never could).
    void failed();

private:
    void run(int fd);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
};

} // namespace ondril
