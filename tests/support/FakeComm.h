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
    std::optional<ondril::LineCounts> counts = ondril::LineCounts{}; // what the driver counted
    std::optional<ondril::ControlLines> lines; // none: an adapter without them
    std::function<void()> onLinesSet; // a plug or a balance following DTR and RTS
    int breaksSent = 0;
    // The far end changes its lines.
    void changeLines(const ondril::ControlLines &to, qint64 steadyNs)
    {
        lines = to;
        emit controlLinesChanged(to, steadyNs);
    }
    std::optional<ondril::LineCounts> lineCounts() const override { return isDeviceOpen() ? counts : std::nullopt; }
    std::optional<ondril::ControlLines> controlLines() const override { return isDeviceOpen() ? lines : std::nullopt; }
    bool setDtr(bool on) override { return setOwnLine(&ondril::ControlLines::dtr, on); }
    bool setRts(bool on) override { return setOwnLine(&ondril::ControlLines::rts, on); }
    bool sendBreak(int) override
    {
        ++breaksSent;
        return m_open;
    }
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

private:
    bool setOwnLine(bool ondril::ControlLines::*which, bool on)
    {
        if (!m_open || !lines)
            return ondril::MSComm::setDtr(on);
        (*lines).*which = on;
        if (onLinesSet)
            onLinesSet();
        return true;
    }

    QByteArray m_in;
    bool m_open = false;
};
