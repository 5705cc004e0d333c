#pragma once

#include "LineSettings.h"
#include "PortMap.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

namespace ondril {

// The control lines as the port reads them: from the far end and our own.
struct ControlLines {
    bool cts = false, dsr = false, dcd = false, ri = false;
    bool dtr = false, rts = false;
    bool operator==(const ControlLines &o) const
    {
        return cts == o.cts && dsr == o.dsr && dcd == o.dcd && ri == o.ri && dtr == o.dtr && rts == o.rts;
    }
    bool operator!=(const ControlLines &o) const { return !(*this == o); }
};

// What the driver counted since the port opened.
struct LineCounts {
    qint64 framing = 0, parity = 0, overrun = 0, bufferOverrun = 0, breaks = 0;
    LineCounts operator-(const LineCounts &o) const
    {
        return {framing - o.framing, parity - o.parity, overrun - o.overrun, bufferOverrun - o.bufferOverrun,
                breaks - o.breaks};
    }
};

// The serial communications control the window talks to. It keeps the
// property contract of the classic comm control (CommPort, Settings, PortOpen,
// Input, Output, RThreshold, OnComm ...) and leaves the device itself to a
// subclass, so that tests can put an in-memory device underneath.
//
// Characters map to bytes one to one (Latin-1) both ways.
// Why a device would not open: the system's words (in the user's language),
// and whether the system refused the user (no permission, busy, locked) as
// opposed to any other failure.
struct OpenFailure {
    QString reason;
    bool refused = false;
};

class MSComm : public QObject {
    Q_OBJECT
public:
    static constexpr qint16 comEvReceive = 2;

    explicit MSComm(PortMap ports, QObject *parent = nullptr);
    ~MSComm() override;

    // Every setter that can fail returns false and leaves the reason in errorString().
    bool setCommPort(qint16 port);
    qint16 commPort() const { return m_commPort; }

    // Takes effect at the next open.
    bool setSettings(const QString &settings);
    QString settings() const { return m_line.text(); }
    bool setHandshaking(Handshaking handshaking);
    Handshaking handshaking() const { return m_line.handshaking; }
    const LineSettings &line() const { return m_line; }
    // Speed, framing and handshake. These two put them to an open device at
    // once; one the device refuses leaves the former in force.
    bool setLine(const LineSettings &line);
    // While on, characters that arrive with a parity or framing error read as
    // NUL where the device can say so, instead of passing as data (the
    // port's default). Takes effect at the next setLine or open.
    void setErrorsMarked(bool on) { m_errorsMarked = on; }
    bool errorsMarked() const { return m_errorsMarked; }
    // Characters that arrived with a framing or parity error since the port
    // opened, as far as the driver counts them.
    qint64 lineErrors() const;
    // The driver's counts; none where the device does not report them.
    virtual std::optional<LineCounts> lineCounts() const { return std::nullopt; }
    // The control lines; none where the device has none to read.
    virtual std::optional<ControlLines> controlLines() const { return std::nullopt; }
    // While on, controlLinesChanged follows every change of the lines from
    // the far end, timed as it happened.
    virtual void watchControlLines(bool on) { Q_UNUSED(on) }
    // Our own lines; false (and errorString) where the device refuses.
    virtual bool setDtr(bool on);
    virtual bool setRts(bool on);
    // Holds the line at space for `ms`, without waiting for it to end.
    virtual bool sendBreak(int ms);
    // What was written is still held back, a second and more after
    // `outputStalled` said so.
    virtual bool isOutputStalled() const { return false; }

    bool setPortOpen(bool open);
    bool portOpen() const { return isDeviceOpen(); }

    void setInputLen(qint16 len) { m_inputLen = len < 0 ? qint16(0) : len; }
    qint16 inputLen() const { return m_inputLen; }

    void setInputMode(qint32 mode) { m_inputMode = mode; }
    qint32 inputMode() const { return m_inputMode; }

    // Writing 0 discards whatever has arrived and was not yet read.
    void setInBufferCount(qint16 count);
    qint16 inBufferCount() const;
    // What setting InBufferCount to 0 throws away: what Input could return
    // and what the driver still holds, uncapped.
    qint64 waitingBytes() const { return isDeviceOpen() ? heldBytes() : 0; }

    void setRThreshold(qint16 threshold);
    qint16 rThreshold() const { return m_rThreshold; }

    // Sends at once, one byte per character; does not wait for a reply.
    bool setOutput(const QString &text);
    // Returns and removes what is waiting (at most InputLen characters when it is
    // not 0); never blocks.
    QString input();

    qint16 commEvent() const { return m_commEvent; }
    // When the oldest byte still to be read was first known to be there
    // (steady ns); 0 when none waits. Bytes the driver already held when a
    // command went out count from before it: they cannot be its reply.
    qint64 unreadSince() const { return m_unreadSince; }

    QString errorString() const { return m_error; }
    // Why the device would not open at the last try: empty when it opened or
    // the port has no device.
    const OpenFailure &openFailure() const { return m_openFailure; }
    const PortMap &ports() const { return m_ports; }
    // The device behind the current CommPort, empty when that port does not exist.
    QString device() const { return m_ports.device(m_commPort); }

signals:
    // Raised from the event loop, never from inside a property write.
    void OnComm();
    // The open device failed (unplugged, far side closed). The port is already
    // closed when this arrives, and it arrives once per loss.
    void deviceLost(const QString &reason);
    // Bytes arrived, whatever RThreshold says: for what reads the port while
    // receive events are disarmed.
    void bytesReceived();
    // What a read of Input took from the port, for what watches the bytes.
    void bytesRead(const QByteArray &bytes);
    // What was written has not gone out within a second (a handshake holds it
    // back). Once, until the output moves again.
    void outputStalled(const QString &reason);
    // The port opened or closed, by a setter or, with the reason, by a lost
    // device: at once, while deviceLost waits for the event loop.
    void portOpenChanged(bool open, const QString &lossReason);
    void controlLinesChanged(const ControlLines &lines, qint64 steadyNs);

protected:
    virtual bool openDevice(const QString &device, const LineSettings &line, OpenFailure *failure) = 0;
    // Puts new settings to the open device; false with the reason when it refuses.
    virtual bool configureDevice(const LineSettings &line, QString *error) = 0;
    virtual void closeDevice() = 0;
    virtual bool isDeviceOpen() const = 0;
    virtual bool writeBytes(const QByteArray &bytes, QString *error) = 0;
    virtual QByteArray readBytes(qint64 maxSize) = 0; // maxSize 0: everything
    virtual qint64 bytesWaiting() const = 0;
    virtual void discardInput() = 0;
    // Bytes waiting to be read, here and in the driver.
    virtual qint64 heldBytes() const { return bytesWaiting(); }

    // For subclasses: new bytes are waiting / the open device has failed.
    // The receive event is posted, to arrive from the event loop, also when
    // the device's own notice tells: a collector run inside that notice would
    // hear of no later bytes (Qt's serial port does not repeat readyRead
    // while a slot of it runs).
    void bytesArrived();
    void deviceFailed(const QString &reason);
    // Raises OnComm with the given CommEvent code.
    void raiseCommEvent(qint16 event);
    void setError(const QString &error) { m_error = error; }

private:
    void postReceiveEvent();
    void deliverReceiveEvent();
    void raiseReceiveEvent();
    void noteArrival();

    PortMap m_ports;
    qint16 m_commPort = 1;
    LineSettings m_line;
    qint16 m_inputLen = 0;
    qint32 m_inputMode = 0;
    qint16 m_rThreshold = 0;
    qint16 m_commEvent = 0;
    bool m_eventPosted = false;
    bool m_errorsMarked = false;
    qint64 m_unreadSince = 0;
    QString m_error;
    OpenFailure m_openFailure;
};

} // namespace ondril
