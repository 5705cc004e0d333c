#include "LinkScan.h"

#include "send/CommandSets.h"
#include "serial/MSComm.h"

#include <cmath>
#include <utility>

namespace ondril {

namespace {

// A balance takes up to about half a second to answer.
constexpr int balanceReplyMs = 500;
// A balance that streams sends a line at least this often.
constexpr int listenMs = 500;
// After an answer, the replies to the other requests come within this.
constexpr int otherRepliesMs = 250;

QByteArray requestOf(const CommandSet &set)
{
    for (const SendCommand &c : set.commands)
        if (c.asksWeight)
            return c.bytes().bytes;
    return {};
}

QByteArray sentForm(const QByteArray &request)
{
    return request.endsWith('\n') ? QByteArrayLiteral("\r\n") + request : request;
}

// Bytes no framing at this speed explains: a control character left once
// bit 7 is dropped.
bool isNoise(const QByteArray &line)
{
    for (const char c : withoutBit7(line))
        if (quint8(c) < 0x20 && c != '\r' && c != '\n' && c != '\t')
            return true;
    return false;
}

} // namespace

QList<QByteArray> scanRequests()
{
    QList<QByteArray> requests;
    for (const CommandSet &set : commandSets())
        requests << sentForm(requestOf(set));
    return requests;
}

QByteArray scanBurst()
{
    return scanRequests().join();
}

LinkScan::LinkScan(MSComm *comm, const QList<qint32> &speeds, QObject *parent)
    : QObject(parent), m_comm(comm), m_plan(speeds)
{
    m_phaseTimer.setSingleShot(true);
    m_pause.setSingleShot(true);
    connect(&m_phaseTimer, &QTimer::timeout, this, [this] {
        if (m_line.isEmpty())
            phaseEnded();
        else
            m_phaseOver = true; // once the line coming in is judged
    });
    connect(&m_pause, &QTimer::timeout, this, [this] {
        const int made = m_plan.made();
        const Phase phase = m_phase;
        lineHeard(std::exchange(m_line, {}), std::exchange(m_lineErrors, false));
        if (m_running && made == m_plan.made() && phase == m_phase && m_phaseOver)
            phaseEnded();
    });
    connect(m_comm, &MSComm::bytesReceived, this, &LinkScan::takeBytes);
    connect(m_comm, &MSComm::deviceLost, this, [this] {
        if (m_running)
            finish(std::nullopt);
    });
}

void LinkScan::start()
{
    m_before = m_comm->line();
    m_running = true;
    m_seen = {};
    m_seen.handshake = m_before.handshaking;
    m_countsAtStart = m_comm->lineCounts();
    // A wrong framing can give a clean-looking reply whose characters the
    // port saw errors in (8N1 reads half of an 8E1 balance's bytes whole):
    // errors must show.
    m_comm->setErrorsMarked(true);
    nextTry();
}

void LinkScan::cancel()
{
    if (m_running)
        finish(std::nullopt);
}

void LinkScan::nextTry()
{
    LineSettings next;
    if (!m_plan.next(&next)) {
        finish(std::nullopt);
        return;
    }
    m_trying = next; // without a handshake, which could only hold a reply back
    noteLines();
    emit trying(m_trying);
    if (!m_comm->setLine(m_trying)) { // the device refuses this one
        nextTry();
        return;
    }
    // A balance that streams sends bytes whatever the settings: when the
    // first try heard nothing, the others need not listen.
    if (m_heardUnasked || !m_listened)
        listen();
    else
        ask();
}

void LinkScan::listen()
{
    if (!m_comm->portOpen()) {
        finish(std::nullopt);
        return;
    }
    m_phase = Phase::Listening;
    m_listened = true;
    send({}); // what a former try set off goes
    m_phaseTimer.start(listenMs);
}

void LinkScan::ask()
{
    if (!m_comm->portOpen()) {
        finish(std::nullopt);
        return;
    }
    m_phase = Phase::Asking;
    const QByteArray burst = scanBurst();
    send(burst);
    // The requests going out, the balance's own time, and the first character.
    m_phaseTimer.start(int(std::ceil(balanceReplyMs + (burst.size() + 3) * charMs(m_trying))));
}

void LinkScan::confirmNext()
{
    if (m_candidates.isEmpty()) {
        nextTry();
        return;
    }
    m_phase = Phase::Confirming;
    m_confirming = m_candidates.takeFirst();
    const QByteArray request = scanRequests().at(m_confirming);
    send(request);
    m_phaseTimer.start(int(std::ceil(balanceReplyMs + (request.size() + 3) * charMs(m_trying))));
}

void LinkScan::send(const QByteArray &bytes)
{
    m_comm->setInBufferCount(0);
    m_line.clear();
    m_lineErrors = false;
    m_phaseOver = false;
    m_errors = m_comm->lineErrors();
    m_good = m_bad = 0;
    m_pause.stop();
    if (!bytes.isEmpty() && !m_comm->setOutput(QString::fromLatin1(bytes)))
        m_phaseTimer.start(0); // nothing went out: nothing to wait for
}

void LinkScan::takeBytes()
{
    if (!m_running || !m_comm->portOpen())
        return;
    const QByteArray bytes = m_comm->input().toLatin1();
    if (bytes.isEmpty())
        return;
    const qint64 errors = m_comm->lineErrors();
    m_lineErrors = m_lineErrors || errors != m_errors;
    m_errors = errors;
    noteBytes(bytes.size(), m_lineErrors);
    const int made = m_plan.made();
    const Phase phase = m_phase;
    for (const char c : bytes) {
        m_line += c;
        // A line end ends a line, whatever the parity made of its bit 7.
        if (!endsReply(c) && m_line.size() < longestReply)
            continue;
        m_pause.stop();
        lineHeard(std::exchange(m_line, {}), std::exchange(m_lineErrors, false));
        if (!m_running || made != m_plan.made() || phase != m_phase)
            return; // the rest was heard at settings no longer tried
    }
    if (!m_line.isEmpty())
        m_pause.start(qMax(30, int(std::ceil(4 * charMs(m_trying)))));
    else if (m_phaseOver)
        phaseEnded();
}

void LinkScan::lineHeard(const QByteArray &line, bool errors)
{
    if (line.isEmpty())
        return;
    const bool good = !errors && isReadableReading(line);
    switch (m_phase) {
    case Phase::Listening:
        // The balance talks unasked: the try is decided by listening.
        m_heardUnasked = true;
        if (good) {
            if (++m_good >= 2) {
                finish(ScanFinding{m_trying, {}, {}});
                return;
            }
        } else if (m_plan.heard(m_trying, line) || errors || isNoise(line) || ++m_bad >= 2) {
            nextTry(); // the first line may have been heard from its middle
            return;
        }
        m_phaseTimer.start(listenMs);
        return;
    case Phase::Asking:
        // A reading, or bytes no framing explains, are the balance's answer:
        // the rest of it comes soon after.
        if (good || errors || isNoise(line))
            m_phaseTimer.start(int(std::ceil(otherRepliesMs + 4 * charMs(m_trying))));
        if (!good) {
            m_plan.heard(m_trying, line);
            return;
        }
        if (m_good++ == 0) {
            // The set whose lines have this shape is asked first.
            const ReplyShape shape = decodeReply(line).shape;
            m_candidates.clear();
            for (int i = 0; i < commandSets().size(); ++i)
                if (commandSets().at(i).replies == shape)
                    m_candidates.prepend(i);
                else
                    m_candidates.append(i);
            // Twice round: a balance that leaves a request unanswered now and
            // then has answered at these settings already.
            m_candidates += m_candidates;
        }
        return;
    case Phase::Confirming:
        if (good) {
            const CommandSet &set = commandSets().at(m_confirming);
            finish(ScanFinding{m_trying, set.name, requestOf(set)});
        }
        return;
    }
}

void LinkScan::phaseEnded()
{
    m_phaseOver = false;
    switch (m_phase) {
    case Phase::Listening:
        ask();
        return;
    case Phase::Asking:
        if (m_good == 0) {
            nextTry();
            return;
        }
        confirmNext();
        return;
    case Phase::Confirming:
        confirmNext();
        return;
    }
}

void LinkScan::noteLines()
{
    const std::optional<ControlLines> now = m_comm->controlLines();
    if (!now)
        return;
    ControlLines &ever = m_seen.linesSeen.emplace(m_seen.linesSeen.value_or(ControlLines{}));
    ever.cts = ever.cts || now->cts;
    ever.dsr = ever.dsr || now->dsr;
    ever.dcd = ever.dcd || now->dcd;
    ever.ri = ever.ri || now->ri;
}

void LinkScan::noteBytes(qint64 bytes, bool errors)
{
    if (m_seen.heard.isEmpty() || m_seen.heard.last().line.text() != m_trying.text())
        m_seen.heard.append({m_trying, 0, false});
    m_seen.heard.last().bytes += bytes;
    m_seen.heard.last().errors = m_seen.heard.last().errors || errors;
}

void LinkScan::finish(std::optional<ScanFinding> found)
{
    m_running = false;
    noteLines();
    const std::optional<LineCounts> counts = m_comm->lineCounts();
    if (counts && m_countsAtStart)
        m_seen.counts = *counts - *m_countsAtStart;
    m_phaseTimer.stop();
    m_pause.stop();
    if (found)
        found->line.handshaking = m_before.handshaking;
    m_comm->setErrorsMarked(false);
    m_comm->setLine(found ? found->line : m_before);
    m_comm->setInBufferCount(0);
    emit finished(found);
}

} // namespace ondril
