#include "ReplyWait.h"

#include <QEventLoop>

#include <algorithm>

namespace ondril {

void ReplyWaits::sleep()
{
    QEventLoop loop;
    m_sleeping.push_back(&loop);
    loop.exec();
    m_sleeping.erase(std::find(m_sleeping.begin(), m_sleeping.end(), &loop));
}

void ReplyWaits::wake()
{
    // quit() also interrupts the dispatcher's current pass, so a sleep
    // returns even when the wake came from a posted event it was delivering.
    for (QEventLoop *loop : m_sleeping)
        loop->quit();
}

} // namespace ondril
