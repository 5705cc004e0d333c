#pragma once

#include "LoopbackVerdict.h"
#include "serial/MSComm.h"

#include <QObject>
#include <QTimer>

namespace ondril {

// The loopback self-test, with a plug on the port: it toggles RTS and DTR and
// watches CTS, DSR and DCD follow, then at each speed and 8N1, 7E1, 7O1 sends
// a byte pattern and compares what comes back. It reads the port itself:
// receive events must be disarmed while it runs. The port has its settings
// and lines back when it ends.
class LoopbackTest : public QObject {
    Q_OBJECT
public:
    LoopbackTest(MSComm *comm, const QList<qint32> &speeds, QObject *parent = nullptr);

    // The port must be open.
    void start();
    // Puts the port back as it was; `failed` follows.
    void cancel();
    bool isRunning() const { return m_running; }
    int steps() const { return int(m_plan.size()) + 1; }

    // `count` bytes: the hardest patterns first (all bits low, all high,
    // alternating, each bit alone), then every other value in turn.
    static QByteArray pattern(qsizetype count, int dataBits);
    // Bytes a setting sends: every value where it takes no more than about
    // 0.3 s on the line, fewer (but at least 16) at slow speeds.
    static qsizetype patternLength(const LineSettings &line);

signals:
    void stepDone(int done);
    void finished(const LoopbackResult &result);
    // The port went away: no verdict.
    void failed(const QString &reason);

private:
    void testWires();
    void probeNext();
    void nextSetting();
    void takeBytes();
    void settingDone();
    void finish();
    void restore();

    MSComm *m_comm;
    QList<LineSettings> m_plan;
    LineSettings m_before;
    std::optional<ControlLines> m_linesBefore;
    LoopbackResult m_result;
    QList<ControlLines> m_linesSeen; // after each probe of the lines
    bool m_probing = false; // a probe is set, its result still to read
    QTimer m_deadline;
    QByteArray m_sent, m_back;
    std::optional<LineCounts> m_countsBefore;
    bool m_running = false;
};

} // namespace ondril
