#include "QuitSignals.h"

#ifdef Q_OS_WIN

#include <QGuiApplication>
#include <QSessionManager>

namespace ondril {

// Windows has no such signals. A log-off or shut-down asks the application to
// commit its data first (WM_QUERYENDSESSION): the run ends there, the orderly
// way, before the system ends the process.
QuitSignals::QuitSignals(std::function<void()> quit, QObject *parent) : QObject(parent), m_quit(std::move(quit))
{
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { m_quit(); },
            Qt::DirectConnection);
}

QuitSignals::~QuitSignals() = default;

void QuitSignals::received()
{
    m_quit();
}

} // namespace ondril

#else

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace ondril {

namespace {

constexpr int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};
int wakeFds[2] = {-1, -1}; // written by the handler, read by the event loop

void onSignal(int sig)
{
    const int saved = errno;
    const char byte = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
    // The next one of its kind is not caught any more.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(std::function<void()> quit, QObject *parent)
    : QObject(parent), m_quit(std::move(quit))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return; // the signals keep their default: they end the program at once
    m_notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::received);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : quitSignals)
        ::sigaction(sig, &sa, nullptr);
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : quitSignals)
        ::sigaction(sig, &dfl, nullptr);
    delete m_notifier;
    ::close(wakeFds[0]);
    ::close(wakeFds[1]);
    wakeFds[0] = wakeFds[1] = -1;
}

void QuitSignals::received()
{
    char drained[16];
    while (::read(wakeFds[0], drained, sizeof drained) > 0) {
    }
    m_quit();
}

} // namespace ondril

#endif
