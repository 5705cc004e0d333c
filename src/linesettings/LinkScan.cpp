#include "LinkScan.h"

#include "serial/MSComm.h"

#include <cmath>

namespace ondril {

// A balance takes up to about half a second to answer.
constexpr int balanceReplyMs = 500;

LinkScan::LinkScan(MSComm *comm, const QList<qint32> &speeds, QObject *parent)
    : QObject(parent), m_comm(comm), m_plan(speeds)
{
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &LinkScan::replyEnded);
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
    m_confirming = false;
    LineSettings next;
    if (!m_plan.next(&next)) {
        finish(std::nullopt);
        return;
    }
    m_trying = next; // without a handshake, which could only hold a reply back
    emit trying(m_trying);
    if (!m_comm->setLine(m_trying)) { // the device refuses this one
        nextTry();
        return;
    }
    sendPrint();
}

void LinkScan::sendPrint()
{
    if (!m_comm->portOpen()) {
        finish(std::nullopt);
        return;
    }
    m_reply.clear();
    m_comm->setInBufferCount(0); // what a former try set off
    m_errorsBefore = m_comm->lineErrors();
    m_comm->setOutput(QStringLiteral("\x1bp"));
    // The command going out, the balance's own time, and the first character.
    m_wait.start(int(std::ceil(balanceReplyMs + 3 * charMs(m_trying))));
}

void LinkScan::takeBytes()
{
    if (!m_running || !m_comm->portOpen())
        return;
    const QByteArray bytes = m_comm->input().toLatin1();
    if (bytes.isEmpty())
        return;
    m_reply += bytes;
    // A line end ends the reply, whatever the parity made of its bit 7.
    for (const char c : bytes)
        if (endsReply(c) || m_reply.size() >= longestReply) {
            m_wait.stop();
            replyEnded();
            return;
        }
    // Otherwise a pause of a few characters does: at a wrong speed the line
    // end may never come.
    m_wait.start(qMax(30, int(std::ceil(4 * charMs(m_trying)))));
}

void LinkScan::replyEnded()
{
    if (!m_running)
        return;
    if (m_comm->lineErrors() == m_errorsBefore && isReadableReading(m_reply)) {
        if (m_confirming) {
            finish(m_trying);
            return;
        }
        m_confirming = true;
        sendPrint();
        return;
    }
    if (!m_confirming)
        m_plan.heard(m_trying, m_reply);
    nextTry();
}

void LinkScan::finish(std::optional<LineSettings> found)
{
    m_running = false;
    m_wait.stop();
    if (found)
        found->handshaking = m_before.handshaking;
    m_comm->setErrorsMarked(false);
    m_comm->setLine(found ? *found : m_before);
    m_comm->setInBufferCount(0);
    emit finished(found);
}

} // namespace ondril
