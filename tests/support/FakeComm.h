#pragma once

#include "serial/MSComm.h"

#include <QByteArray>
#include <QSet>

#include <functional>

// The comm control on an in-memory device: tests decide exactly which bytes
// arrive in which read, and see exactly what was written.
class FakeComm : public ondril::MSComm {
    Q_OBJECT
public:
    explicit FakeComm(ondril::PortMap ports = ondril::PortMap::fromList(QStringLiteral("fake1")))
        : MSComm(std::move(ports))
    {
    }

    // Bytes arriving from the device, as one read.
    void feed(const QByteArray &bytes)
    {
        m_in += bytes;
        bytesArrived();
    }
    void failDevice(const QString &reason) { deviceFailed(reason); }
    void raise(qint16 commEvent) { raiseCommEvent(commEvent); }

    // Bytes that land just after the next read, still waiting when it returns.
    QByteArray lateBytes;
    QByteArray written;
    std::function<void(const QByteArray &)> onWrite; // a balance answering
    QSet<QString> refused; // devices whose open fails
    char refusedParity = 0; // a parity the device does not take
    qint64 lineErrorCount = 0; // what the driver counted
    bool stalled = false; // a handshake holds the output back
    bool isOutputStalled() const override { return stalled; }
    QString openedDevice;
    ondril::LineSettings openedLine;
    int opens = 0;

protected:
    bool openDevice(const QString &device, const ondril::LineSettings &line, ondril::OpenFailure *failure) override
    {
        if (refused.contains(device)) {
            *failure = {QStringLiteral("Permission denied"), true};
            return false;
        }
        if (refusedParity == line.parity) {
            *failure = {QStringLiteral("Unsupported parity"), false};
            return false;
        }
        m_open = true;
        openedDevice = device;
        openedLine = line;
        ++opens;
        return true;
    }
    bool configureDevice(const ondril::LineSettings &line, QString *error) override
    {
        if (refusedParity == line.parity) {
            *error = QStringLiteral("Unsupported parity");
            return false;
        }
        openedLine = line;
        return true;
    }
    void closeDevice() override { m_open = false; }
    bool isDeviceOpen() const override { return m_open; }
    bool writeBytes(const QByteArray &bytes, QString *) override
    {
        written += bytes;
        if (onWrite)
            onWrite(bytes);
        return true;
    }
    QByteArray readBytes(qint64 maxSize) override
    {
        const qint64 n = maxSize > 0 ? qMin<qint64>(maxSize, m_in.size()) : m_in.size();
        const QByteArray out = m_in.left(n);
        m_in.remove(0, n);
        m_in += lateBytes;
        lateBytes.clear();
        return out;
    }
    qint64 bytesWaiting() const override { return m_in.size(); }
    void discardInput() override { m_in.clear(); }
    qint64 countedLineErrors() const override { return lineErrorCount; }

private:
    QByteArray m_in;
    bool m_open = false;
};
