#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace ondril {

// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl-C in a terminal, kill) end the
// program the orderly way, through `quit` from the event loop, so that the
// port is closed and its lock file removed. A second signal of the same kind
// ends the program at once, in case the first could not. On Windows, the
// session's end (log-off, shut-down) does the same.
class QuitSignals : public QObject {
public:
    explicit QuitSignals(std::function<void()> quit, QObject *parent = nullptr);
    ~QuitSignals() override;

private:
    void received();

    std::function<void()> m_quit;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace ondril
