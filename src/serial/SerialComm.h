#pragma once

#include "ControlLineWatch.h"
#include "MSComm.h"

#include <QSerialPort>
#include <QTimer>

namespace ondril {

// The comm control on a real serial device (or pseudo-terminal) through QSerialPort.
class SerialComm : public MSComm {
    Q_OBJECT
public:
    explicit SerialComm(PortMap ports, QObject *parent = nullptr);
    ~SerialComm() override;

    bool isOutputStalled() const override { return m_stallReported && m_port.isOpen() && outputPending(); }
    std::optional<LineCounts> lineCounts() const override;
    std::optional<ControlLines> controlLines() const override;
    void watchControlLines(bool on) override;
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool sendBreak(int ms) override;

protected:
    bool openDevice(const QString &device, const LineSettings &line, OpenFailure *failure) override;
    bool configureDevice(const LineSettings &line, QString *error) override;
    void closeDevice() override;
    bool isDeviceOpen() const override;
    bool writeBytes(const QByteArray &bytes, QString *error) override;
    QByteArray readBytes(qint64 maxSize) override;
    qint64 bytesWaiting() const override;
    void discardInput() override;
    qint64 heldBytes() const override;

private:
    void handleError(QSerialPort::SerialPortError error);
    // Bytes the driver holds in either direction.
    qint64 driverQueue(QSerialPort::Direction direction) const;
    // Written bytes not yet on the line, in Qt's buffer or the driver's.
    bool outputPending() const;
    bool isOutputHeldBack();
    void checkStall();
    std::optional<LineCounts> driverCounts() const;
    void startLineWatch();
    void noteControlLines(qint64 steadyNs);

    QSerialPort m_port;
    QTimer m_stallCheck;
    bool m_stallReported = false;
    bool m_pseudoTerminal = false;
    LineCounts m_countsAtOpen;
    bool m_watchingLines = false;
    ControlLineWatch m_lineWatch;
    QTimer m_linePoll; // where the device cannot wait for a change
    std::optional<ControlLines> m_lastLines;
    QTimer m_breakEnd;
#ifdef Q_OS_WIN
    mutable LineCounts m_flagsSeen; // asks that found each error flag
    void pollForReply();
    void keepPolling();
    QTimer m_replyPoll;
    qint64 m_pollUntil = 0;
#endif
};

} // namespace ondril
