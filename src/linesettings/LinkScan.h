#pragma once

#include "ScanPlan.h"
#include "serial/LineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <optional>

namespace ondril {

class MSComm;

// Finds the speed and framing a balance answers at: each try sets the open
// port, sends PRINT and judges the reply; a reading free of line errors,
// confirmed by a second PRINT, ends the scan. It reads the port itself:
// receive events must be disarmed while it runs. Every wait is a timer or
// the port's own notice.
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

signals:
    void trying(const LineSettings &line);
    // Nothing found (cancelled, nobody answered, the port went away): the
    // port has its former settings back. Found: the port is set to them.
    void finished(std::optional<LineSettings> found);

private:
    void nextTry();
    void sendPrint();
    void takeBytes();
    void replyEnded();
    void finish(std::optional<LineSettings> found);

    MSComm *m_comm;
    ScanPlan m_plan;
    LineSettings m_before;
    LineSettings m_trying;
    QByteArray m_reply;
    qint64 m_errorsBefore = 0; // the port's error count when PRINT went out
    QTimer m_wait;
    bool m_confirming = false;
    bool m_running = false;
};

} // namespace ondril
