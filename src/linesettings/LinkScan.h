#pragma once

#include "ScanPlan.h"
#include "ScanVerdict.h"
#include "serial/LineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <optional>

namespace ondril {

class MSComm;

// What the scan found: the settings, and how the balance is asked.
struct ScanFinding {
    LineSettings line;
    QString setName;  // the command set whose request it answered; empty when it streams
    QByteArray request; // that request's bytes
    bool streams() const { return setName.isEmpty(); }
};

// Finds the speed and framing a balance answers at, and how it is asked.
// Each try sets the open port and listens: two readings unasked are a
// balance that streams. When nothing comes, it sends the read-only weight
// request of every command set at once, and a reading back is confirmed by
// each request alone. Lines are judged by their bytes and the port's error
// count. It reads the port itself: receive events must be disarmed while it
// runs. Every wait is a timer or the port's own notice.
class LinkScan : public QObject {
    Q_OBJECT
public:
    LinkScan(MSComm *comm, const QList<qint32> &speeds, QObject *parent = nullptr);

    // The port must be open. The handshake is off while the scan runs, and
    // back as it was after.
    void start();
    // Ends the scan as not found; `finished` follows.
    void cancel();
    bool isRunning() const { return m_running; }
    const ScanPlan &plan() const { return m_plan; }
    // What the port saw, for the verdict when nothing was found.
    const ScanObservations &observations() const { return m_seen; }

signals:
    void trying(const LineSettings &line);
    // Nothing found (cancelled, nobody answered, the port went away): the
    // port has its former settings back. Found: the port is set to them.
    void finished(std::optional<ScanFinding> found);

private:
    enum class Phase { Listening, Asking, Confirming };

    void nextTry();
    void listen();
    void ask();
    void confirmNext();
    void send(const QByteArray &bytes);
    void takeBytes();
    void lineHeard(const QByteArray &line, bool errors);
    void phaseEnded();
    void finish(std::optional<ScanFinding> found);
    void noteLines();
    void noteBytes(qint64 bytes, bool errors);

    MSComm *m_comm;
    ScanPlan m_plan;
    LineSettings m_before;
    LineSettings m_trying;
    Phase m_phase = Phase::Listening;
    QTimer m_phaseTimer; // the phase's own time
    QTimer m_pause;      // a line cut short: at a wrong speed its end may never come
    bool m_phaseOver = false; // its time is up, the line coming in still to judge
    QByteArray m_line;
    bool m_lineErrors = false;
    qint64 m_errors = 0; // the port's error count, as last seen
    int m_good = 0, m_bad = 0; // lines heard in this phase
    QList<int> m_candidates; // sets whose requests are still to confirm, in turn
    int m_confirming = -1;
    bool m_listened = false;
    bool m_heardUnasked = false; // a balance that streams
    bool m_running = false;
    ScanObservations m_seen;
    std::optional<LineCounts> m_countsAtStart;
};

// Each command set's read-only weight request, in the sets' order, and all of
// them in one go: a balance that takes lines joins what came before into the
// next, so each such request is preceded by a bare line end.
QList<QByteArray> scanRequests();
QByteArray scanBurst();

} // namespace ondril
