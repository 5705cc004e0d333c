#include "ControlLineWatch.h"

#include "window/SteadyClock.h"

#ifdef Q_OS_LINUX
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>
#endif

#include <chrono>

namespace ondril {

ControlLineWatch::ControlLineWatch(QObject *parent)
    : QObject(parent)
{
}

ControlLineWatch::~ControlLineWatch()
{
    stop();
}

#ifdef Q_OS_LINUX

// Ends a wait in the driver: the wait returns EINTR when the thread takes a
// signal whose handler does not restart it.
static constexpr int wakeSignal = SIGURG;

static void installWakeHandler()
{
    static const bool installed = [] {
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0; // no SA_RESTART
        return sigaction(wakeSignal, &sa, nullptr) == 0;
    }();
    Q_UNUSED(installed)
}

bool ControlLineWatch::start(qintptr handle)
{
    stop();
    installWakeHandler();
    m_stop = false;
    m_done = false;
    m_thread = std::thread(&ControlLineWatch::run, this, int(handle));
    return true;
}

void ControlLineWatch::run(int fd)
{
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, wakeSignal);
    pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
    // The lines are read before each wait: a change that came before the
    // wait began (it wakes only for later ones) is told all the same.
    int last = -1;
    while (!m_stop) {
        int bits = 0;
        const bool read = ::ioctl(fd, TIOCMGET, &bits) == 0;
        if (read && bits != last) {
            last = bits;
            const qint64 at = steadyNow();
            QMetaObject::invokeMethod(this, [this, at] { emit changed(at); }, Qt::QueuedConnection);
        }
        if (!read || (::ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG) != 0 && errno != EINTR)) {
            QMetaObject::invokeMethod(this, [this] { emit failed(); }, Qt::QueuedConnection);
            break;
        }
    }
    m_done = true;
}

void ControlLineWatch::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    // A signal sent just before the thread enters the wait is lost, so it is
    // sent again until the thread is out.
    while (!m_done) {
        pthread_kill(m_thread.native_handle(), wakeSignal);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_thread.join();
}

#else

// Qt's own wait for the port's events owns their mask on Windows.
bool ControlLineWatch::start(qintptr)
{
    return false;
}

void ControlLineWatch::run(int) {}

void ControlLineWatch::stop() {}

#endif

} // namespace ondril
