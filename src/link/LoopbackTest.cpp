#include "LoopbackTest.h"

#include "linesettings/ScanPlan.h"

#include <cmath>

namespace ondril {

// A line the far end follows has followed by then, through any adapter.
static constexpr int settleMs = 50;
// What comes back may start that late (an adapter's latency timer).
static constexpr int transitMs = 150;
static constexpr double lineTimeMs = 300;

LoopbackTest::LoopbackTest(MSComm *comm, const QList<qint32> &speeds, QObject *parent)
    : QObject(parent)
    , m_comm(comm)
{
    for (const qint32 baud : speeds)
        for (const char *framing : {",n,8,1", ",e,7,1", ",o,7,1"}) {
            LineSettings line;
            LineSettings::parse(QString::number(baud) + QLatin1String(framing), &line);
            m_plan << line;
        }
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &LoopbackTest::settingDone);
    connect(m_comm, &MSComm::bytesReceived, this, &LoopbackTest::takeBytes);
    // At once: the notice of the loss may wait behind a message.
    connect(m_comm, &MSComm::portOpenChanged, this, [this](bool open, const QString &lossReason) {
        if (!m_running || open)
            return;
        m_running = false;
        m_deadline.stop();
        emit failed(lossReason.isEmpty() ? QStringLiteral("the port closed") : lossReason);
    });
}

QByteArray LoopbackTest::pattern(qsizetype count, int dataBits)
{
    const int values = 1 << dataBits;
    const int top = values - 1;
    QByteArray out;
    QList<bool> used(values, false);
    auto add = [&](int v) {
        v &= top;
        if (!used[v] && out.size() < count) {
            used[v] = true;
            out += char(v);
        }
    };
    for (const int v : {0x00, 0xFF, 0x55, 0xAA})
        add(v);
    for (int bit = 0; bit < dataBits; ++bit) {
        add(1 << bit);
        add(top & ~(1 << bit));
    }
    for (int v = 0; v < values; ++v)
        add(v);
    return out;
}

qsizetype LoopbackTest::patternLength(const LineSettings &line)
{
    const qsizetype fits = qsizetype(lineTimeMs / charMs(line));
    return qBound<qsizetype>(16, fits, qsizetype(1) << line.dataBits);
}

void LoopbackTest::start()
{
    m_running = true;
    m_result = {};
    m_before = m_comm->line();
    m_linesBefore = m_comm->controlLines();
    // Without a handshake: RTS is ours to move, and nothing holds the bytes back.
    LineSettings free = m_before;
    free.handshaking = Handshaking::None;
    m_comm->setLine(free);
    testWires();
}

void LoopbackTest::testWires()
{
    if (!m_linesBefore) { // nothing to watch: the rows say so
        nextSetting();
        return;
    }
    m_linesSeen.clear();
    m_probing = false;
    probeNext();
}

// Each line of ours low, then high; what follows it is read once settled.
void LoopbackTest::probeNext()
{
    if (!m_running)
        return;
    struct Probe {
        bool (MSComm::*set)(bool);
        bool on;
    };
    static const Probe probes[] = {{&MSComm::setRts, false}, {&MSComm::setRts, true},
                                   {&MSComm::setDtr, false}, {&MSComm::setDtr, true}};
    if (m_probing)
        m_linesSeen << m_comm->controlLines().value_or(ControlLines{});
    if (m_linesSeen.size() == 4) {
        m_probing = false;
        auto follows = [this](bool ControlLines::*line, int lowAt) {
            return !(m_linesSeen[lowAt].*line) && m_linesSeen[lowAt + 1].*line;
        };
        m_result.wires = {follows(&ControlLines::cts, 0), follows(&ControlLines::dsr, 2),
                          follows(&ControlLines::dcd, 2)};
        emit stepDone(1);
        nextSetting();
        return;
    }
    m_probing = true;
    const Probe &p = probes[m_linesSeen.size()];
    (m_comm->*p.set)(p.on);
    QTimer::singleShot(settleMs, this, &LoopbackTest::probeNext);
}

void LoopbackTest::nextSetting()
{
    if (!m_running)
        return;
    const qsizetype done = m_result.settings.size();
    if (done == m_plan.size()) {
        finish();
        return;
    }
    const LineSettings &line = m_plan.at(done);
    m_result.settings.append(LoopbackSetting{line, 0, 0, 0, std::nullopt, false});
    if (!m_comm->setLine(line)) {
        m_result.settings.last().refused = true;
        emit stepDone(int(done) + 2);
        nextSetting();
        return;
    }
    m_comm->setInBufferCount(0);
    m_countsBefore = m_comm->lineCounts();
    m_sent = pattern(patternLength(line), line.dataBits);
    m_back.clear();
    m_result.settings.last().sent = m_sent.size();
    m_comm->setOutput(QString::fromLatin1(m_sent));
    m_deadline.start(int(std::ceil(m_sent.size() * charMs(line))) + transitMs);
}

void LoopbackTest::takeBytes()
{
    if (!m_running || !m_deadline.isActive())
        return;
    m_back += m_comm->input().toLatin1();
    if (m_back.size() >= m_sent.size()) {
        m_deadline.stop();
        settingDone();
    }
}

void LoopbackTest::settingDone()
{
    if (!m_running)
        return;
    m_back += m_comm->input().toLatin1();
    LoopbackSetting &s = m_result.settings.last();
    s.back = m_back.size();
    for (qsizetype i = 0; i < qMin(m_back.size(), m_sent.size()); ++i)
        s.changed += m_back.at(i) != m_sent.at(i);
    const std::optional<LineCounts> counts = m_comm->lineCounts();
    if (counts && m_countsBefore) {
        const LineCounts d = *counts - *m_countsBefore;
        s.errors = d.framing + d.parity + d.overrun + d.bufferOverrun;
    }
    emit stepDone(int(m_result.settings.size()) + 1);
    nextSetting();
}

void LoopbackTest::cancel()
{
    if (!m_running)
        return;
    restore();
    emit failed(QStringLiteral("cancelled"));
}

void LoopbackTest::finish()
{
    restore();
    emit finished(m_result);
}

void LoopbackTest::restore()
{
    m_running = false;
    m_deadline.stop();
    m_comm->setLine(m_before);
    if (m_linesBefore) {
        m_comm->setRts(m_linesBefore->rts);
        m_comm->setDtr(m_linesBefore->dtr);
    }
    m_comm->setInBufferCount(0);
}

} // namespace ondril
