#include "SerialComm.h"

#include "TerminalExtras.h"

#include "reception/CycleInterval.h"
#include "window/SteadyClock.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace ondril {

SerialComm::SerialComm(PortMap ports, QObject *parent)
    : MSComm(std::move(ports), parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialComm::bytesArrived);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialComm::handleError);
    m_stallCheck.setSingleShot(true);
    m_stallCheck.setInterval(1000);
    connect(&m_stallCheck, &QTimer::timeout, this, &SerialComm::checkStall);
    // As often as the eye can follow.
    m_linePoll.setInterval(100);
    connect(&m_linePoll, &QTimer::timeout, this, [this] { noteControlLines(steadyNow()); });
    connect(&m_lineWatch, &ControlLineWatch::changed, this, &SerialComm::noteControlLines);
    connect(&m_lineWatch, &ControlLineWatch::failed, this, [this] {
        m_lineWatch.stop();
        if (m_port.isOpen())
            m_linePoll.start();
    });
    m_breakEnd.setSingleShot(true);
    connect(&m_breakEnd, &QTimer::timeout, this, [this] {
        if (m_port.isOpen())
            m_port.setBreakEnabled(false);
    });
#ifdef Q_OS_WIN
    m_replyPoll.setInterval(20);
    connect(&m_replyPoll, &QTimer::timeout, this, &SerialComm::pollForReply);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialComm::keepPolling);
#endif
}

SerialComm::~SerialComm()
{
    m_lineWatch.stop(); // it waits on the device
    if (m_port.isOpen())
        m_port.close();
}

static QSerialPort::Parity toParity(char p)
{
    switch (p) {
    case 'e': return QSerialPort::EvenParity;
    case 'o': return QSerialPort::OddParity;
    case 'm': return QSerialPort::MarkParity;
    case 's': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

static QSerialPort::StopBits toStopBits(int timesTwo)
{
    switch (timesTwo) {
    case 3: return QSerialPort::OneAndHalfStop;
    case 4: return QSerialPort::TwoStop;
    default: return QSerialPort::OneStop;
    }
}

static QSerialPort::FlowControl toFlowControl(Handshaking h)
{
    switch (h) {
    case Handshaking::XonXoff: return QSerialPort::SoftwareControl;
    case Handshaking::Rts:
    case Handshaking::RtsXonXoff: return QSerialPort::HardwareControl;
    case Handshaking::None: break;
    }
    return QSerialPort::NoFlowControl;
}

// On a closed port the settings are kept for its open.
static bool setQtLine(QSerialPort &port, const LineSettings &line)
{
    return port.setBaudRate(line.baud) && port.setDataBits(QSerialPort::DataBits(line.dataBits))
           && port.setParity(toParity(line.parity)) && port.setStopBits(toStopBits(line.stopBitsTimesTwo))
           && port.setFlowControl(toFlowControl(line.handshaking));
}

bool SerialComm::openDevice(const QString &device, const LineSettings &line, OpenFailure *failure)
{
    m_port.setPortName(device);
    m_pseudoTerminal = isPseudoTerminal(device);
    setQtLine(m_port, framingForQt(line, m_pseudoTerminal));
    if (!m_port.open(QIODevice::ReadWrite)) {
        // Qt files a forbidden device, a busy one and a lock held by another
        // program all as a permission error.
        *failure = {m_port.errorString(), m_port.error() == QSerialPort::PermissionError};
        return false;
    }
    QString why;
    if (!setTerminalExtras(m_port, line, m_pseudoTerminal, errorsMarked(), &why)) {
        m_port.close();
        *failure = {why, false};
        return false;
    }
    m_port.clearError();
    m_stallReported = false;
#ifdef Q_OS_WIN
    m_flagsSeen = {};
#endif
    m_countsAtOpen = driverCounts().value_or(LineCounts{});
    if (m_watchingLines)
        startLineWatch();
    return true;
}

bool SerialComm::configureDevice(const LineSettings &line, QString *error)
{
    bool ok = setQtLine(m_port, framingForQt(line, m_pseudoTerminal));
    if (!ok)
        *error = m_port.errorString();
    else
        ok = setTerminalExtras(m_port, line, m_pseudoTerminal, errorsMarked(), error);
    m_port.clearError();
    return ok;
}

void SerialComm::closeDevice()
{
    // What a handshake still holds back would keep the close waiting for it,
    // for up to half a minute on some drivers.
    if (outputPending())
        m_port.clear(QSerialPort::Output);
    m_stallCheck.stop();
#ifdef Q_OS_WIN
    m_replyPoll.stop();
#endif
    m_lineWatch.stop(); // it waits on the device
    m_linePoll.stop();
    m_breakEnd.stop();
    m_port.close();
}

#ifdef Q_OS_WIN
// Asking for the queues also clears the error flags raised since the last
// ask: each ask that finds one counts it.
static bool comStat(HANDLE port, COMSTAT *stat, LineCounts *flagsSeen)
{
    DWORD errors = 0;
    if (!::ClearCommError(port, &errors, stat))
        return false;
    flagsSeen->framing += (errors & CE_FRAME) != 0;
    flagsSeen->parity += (errors & CE_RXPARITY) != 0;
    flagsSeen->overrun += (errors & CE_OVERRUN) != 0;
    flagsSeen->bufferOverrun += (errors & CE_RXOVER) != 0;
    flagsSeen->breaks += (errors & CE_BREAK) != 0;
    return true;
}
#endif

qint64 SerialComm::driverQueue(QSerialPort::Direction direction) const
{
    if (!m_port.isOpen())
        return 0;
#ifdef Q_OS_UNIX
    int queued = 0;
    if (::ioctl(int(m_port.handle()), direction == QSerialPort::Input ? FIONREAD : TIOCOUTQ, &queued) == 0)
        return queued;
#elif defined(Q_OS_WIN)
    COMSTAT stat{};
    if (comStat(m_port.handle(), &stat, &m_flagsSeen))
        return direction == QSerialPort::Input ? stat.cbInQue : stat.cbOutQue;
#endif
    return 0;
}


std::optional<LineCounts> SerialComm::driverCounts() const
{
    if (!m_port.isOpen())
        return std::nullopt;
#ifdef Q_OS_LINUX
    // Drivers count each character with an error whatever the settings let
    // through; pseudo-terminals and many USB adapters do not count.
    serial_icounter_struct c{};
    if (::ioctl(int(m_port.handle()), TIOCGICOUNT, &c) == 0)
        return LineCounts{c.frame, c.parity, c.overrun, c.buf_overrun, c.brk};
#elif defined(Q_OS_WIN)
    COMSTAT stat{};
    if (comStat(m_port.handle(), &stat, &m_flagsSeen))
        return m_flagsSeen;
#endif
    return std::nullopt;
}

std::optional<LineCounts> SerialComm::lineCounts() const
{
    const std::optional<LineCounts> counts = driverCounts();
    if (!counts)
        return std::nullopt;
    return *counts - m_countsAtOpen;
}

std::optional<ControlLines> SerialComm::controlLines() const
{
    if (!m_port.isOpen())
        return std::nullopt;
#ifdef Q_OS_UNIX
    // Qt reads a device without lines as all low; only the driver's own
    // refusal tells that apart.
    int bits = 0;
    if (::ioctl(int(m_port.handle()), TIOCMGET, &bits) != 0)
        return std::nullopt;
    return ControlLines{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_CD) != 0,
                        (bits & TIOCM_RNG) != 0, (bits & TIOCM_DTR) != 0, (bits & TIOCM_RTS) != 0};
#elif defined(Q_OS_WIN)
    DWORD status = 0;
    if (!::GetCommModemStatus(m_port.handle(), &status))
        return std::nullopt;
    // Our own two, as last set (Qt asks the driver, in a non-const call).
    const auto pins = const_cast<QSerialPort &>(m_port).pinoutSignals();
    return ControlLines{(status & MS_CTS_ON) != 0, (status & MS_DSR_ON) != 0, (status & MS_RLSD_ON) != 0,
                        (status & MS_RING_ON) != 0, pins.testFlag(QSerialPort::DataTerminalReadySignal),
                        pins.testFlag(QSerialPort::RequestToSendSignal)};
#else
    return std::nullopt;
#endif
}

void SerialComm::watchControlLines(bool on)
{
    m_watchingLines = on;
    m_lineWatch.stop();
    m_linePoll.stop();
    if (on && m_port.isOpen())
        startLineWatch();
}

void SerialComm::startLineWatch()
{
    m_lastLines = controlLines();
    if (!m_lastLines)
        return; // nothing to watch
    if (!m_lineWatch.start(qintptr(m_port.handle())))
        m_linePoll.start();
}

void SerialComm::noteControlLines(qint64 steadyNs)
{
    const std::optional<ControlLines> lines = controlLines();
    if (!lines || lines == m_lastLines)
        return;
    m_lastLines = lines;
    emit controlLinesChanged(*lines, steadyNs);
}

bool SerialComm::setDtr(bool on)
{
    if (!m_port.isOpen() || !m_port.setDataTerminalReady(on)) {
        setError(m_port.isOpen() ? m_port.errorString() : QStringLiteral("the port is closed"));
        m_port.clearError();
        return false;
    }
    noteControlLines(steadyNow());
    return true;
}

bool SerialComm::setRts(bool on)
{
    // Qt refuses while the handshake drives RTS.
    if (!m_port.isOpen() || !m_port.setRequestToSend(on)) {
        setError(!m_port.isOpen() ? QStringLiteral("the port is closed")
                 : line().handshaking == Handshaking::Rts || line().handshaking == Handshaking::RtsXonXoff
                     ? QStringLiteral("the handshake drives RTS")
                     : m_port.errorString());
        m_port.clearError();
        return false;
    }
    noteControlLines(steadyNow());
    return true;
}

bool SerialComm::sendBreak(int ms)
{
    if (!m_port.isOpen() || m_breakEnd.isActive() || !m_port.setBreakEnabled(true)) {
        setError(!m_port.isOpen()          ? QStringLiteral("the port is closed")
                 : m_breakEnd.isActive() ? QStringLiteral("a break is still being sent")
                                         : m_port.errorString());
        m_port.clearError();
        return false;
    }
    m_breakEnd.start(ms);
    return true;
}

bool SerialComm::outputPending() const
{
#ifdef Q_OS_WIN
    // Qt counts a chunk as unwritten until the notice of its completion has
    // been delivered, which may come late (Wine): only the driver's own
    // queue says what is still to go out.
    return driverQueue(QSerialPort::Output) > 0;
#else
    return m_port.bytesToWrite() > 0 || driverQueue(QSerialPort::Output) > 0;
#endif
}

qint64 SerialComm::heldBytes() const
{
    return bytesWaiting() + driverQueue(QSerialPort::Input);
}

void SerialComm::checkStall()
{
    if (!m_port.isOpen() || !outputPending() || m_stallReported)
        return;
    m_stallReported = true;
    const Handshaking h = line().handshaking;
    QString why = QStringLiteral("%1 has not sent what was written to it within a second").arg(device());
    if (h != Handshaking::None)
        why += QStringLiteral(": handshake %1 holds it back").arg(handshakingName(h));
    emit outputStalled(why);
}

#ifdef Q_OS_WIN
void SerialComm::keepPolling()
{
    // The rest of a reply follows what came.
    if (m_replyPoll.isActive())
        m_pollUntil = steadyNow() + qint64(replyTimeoutMs) * 1'000'000;
}

void SerialComm::pollForReply()
{
    if (!m_port.isOpen() || steadyNow() > m_pollUntil) {
        m_replyPoll.stop();
        return;
    }
    // A read with Qt's buffer empty makes Qt ask the driver for what it
    // holds; what it finds arrives as readyRead, as it would after the
    // port's own event.
    if (m_port.bytesAvailable() == 0) {
        char ignored;
        m_port.peek(&ignored, 1);
    }
}
#endif

bool SerialComm::isDeviceOpen() const
{
    return m_port.isOpen();
}

bool SerialComm::writeBytes(const QByteArray &bytes, QString *error)
{
    if (!outputPending())
        m_stallReported = false; // it moved since
    if (m_port.write(bytes) != bytes.size()) {
        *error = m_port.errorString();
        return false;
    }
    // QSerialPort buffers writes until the event loop runs; commands go out now.
    m_port.flush();
    if (!m_port.isOpen()) { // the write found the device gone and closed it
        *error = QStringLiteral("the device stopped working");
        return false;
    }
    if (outputPending() && !m_stallCheck.isActive())
        m_stallCheck.start();
#ifdef Q_OS_WIN
    // Some ports never raise their "characters received" event (Wine's on a
    // pseudo-terminal): while a reply is awaited, ask for one now and then.
    m_pollUntil = steadyNow() + qint64(replyTimeoutMs) * 1'000'000;
    m_replyPoll.start();
#endif
    return true;
}

QByteArray SerialComm::readBytes(qint64 maxSize)
{
    return maxSize > 0 ? m_port.read(maxSize) : m_port.readAll();
}

qint64 SerialComm::bytesWaiting() const
{
    return m_port.bytesAvailable();
}

void SerialComm::discardInput()
{
    m_port.clear(QSerialPort::Input);
}

void SerialComm::handleError(QSerialPort::SerialPortError error)
{
    // An open device that fails to read or write is gone (unplugged adapter,
    // closed pseudo-terminal). Qt keeps reporting such an error in a tight loop,
    // so close on the first one. Qt's own text names a stale errno here, so the
    // reason is worded from the kind of error.
    QString reason;
    switch (error) {
    case QSerialPort::ResourceError:
        if (isOutputHeldBack())
            return;
        reason = QStringLiteral("the device %1 was removed or its other end closed");
        break;
    case QSerialPort::ReadError:
        reason = QStringLiteral("reading from %1 failed");
        break;
    case QSerialPort::WriteError:
        reason = QStringLiteral("writing to %1 failed");
        break;
    default:
        return;
    }
    if (m_port.isOpen()) {
        m_port.clearError();
        deviceFailed(reason.arg(device()));
    }
}

bool SerialComm::isOutputHeldBack()
{
#ifdef Q_OS_UNIX
    // A write the handshake stops fails with EAGAIN, which Qt files as a lost
    // resource; a device that is gone hangs up.
    if (errno != EAGAIN || !m_port.isOpen())
        return false;
    pollfd p{int(m_port.handle()), 0, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return false;
    m_port.clearError();
    if (!m_stallCheck.isActive())
        m_stallCheck.start();
    return true;
#else
    return false;
#endif
}

} // namespace ondril
