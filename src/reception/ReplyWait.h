#pragma once

#include <QtGlobal>

#include <vector>

class QEventLoop;

namespace ondril {

// The sleep of the line collector between two looks at the port. It lasts
// until something the collector looks at may have changed: bytes came, a
// stop flag was written, the device was lost, the reply time ran out. Each of
// those calls wake(). Other handlers run inside the sleep, as in any event
// loop.
//
// A plain processEvents(WaitForMoreEvents) is not enough: Windows' dispatcher
// delivers Qt's posted events (queued signals, the serial port's completion
// notices, precise timers) at the start of a call, does not count them as
// work done, and goes on to block, with the reply already read into the port.
class ReplyWaits {
public:
    ReplyWaits() = default;
    ReplyWaits(const ReplyWaits &) = delete;
    ReplyWaits &operator=(const ReplyWaits &) = delete;

    // Blocks until wake(), running other handlers meanwhile. Waits nest: a
    // handler inside may sleep in turn; a wake ends every sleep, each as soon
    // as the ones inside it have ended.
    void sleep();
    void wake();

private:
    std::vector<QEventLoop *> m_sleeping;
};

// One of the window's two stop flags (1: a waiting collector must stop).
// Reads as the 16-bit integer it is; a write wakes the waits, so that a
// collector sees the new value at once.
class StopFlag {
public:
    explicit StopFlag(ReplyWaits &waits) : m_waits(waits) {}
    StopFlag(const StopFlag &) = delete;

    StopFlag &operator=(qint16 value)
    {
        m_value = value;
        m_waits.wake();
        return *this;
    }
    operator qint16() const { return m_value; }

private:
    ReplyWaits &m_waits;
    qint16 m_value = 0;
};

} // namespace ondril
