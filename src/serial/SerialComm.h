#pragma once

#include "MSComm.h"

#include <QSerialPort>

namespace ondril {

// The comm control on a real serial device (or pseudo-terminal) through QSerialPort.
class SerialComm : public MSComm {
    Q_OBJECT
public:
    explicit SerialComm(PortMap ports, QObject *parent = nullptr);
    ~SerialComm() override;

protected:
    bool openDevice(const QString &device, const LineSettings &line, OpenFailure *failure) override;
    void closeDevice() override;
    bool isDeviceOpen() const override;
    bool writeBytes(const QByteArray &bytes, QString *error) override;
    QByteArray readBytes(qint64 maxSize) override;
    qint64 bytesWaiting() const override;
    void discardInput() override;

private:
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
};

} // namespace ondril
