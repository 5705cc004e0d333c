#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace ondril {

// Watches the bytes the window reads for what a wrong speed or parity looks
// like: replies with many bytes above 127, or with 7-bit characters read as
// 8 (a reading once bit 7 is dropped). A few such replies in a row, and the
// operator should hear of it, once.
class GarbleHint {
public:
    static constexpr int repliesInARow = 3;

    // True once, with the reply that completed the run of garbled ones.
    bool feed(QByteArrayView bytes);
    void reset();

    // One reply, up to its line end (with or without bit 7).
    static bool looksGarbled(QByteArrayView reply);

private:
    QByteArray m_reply;
    int m_inARow = 0;
    bool m_told = false;
};

} // namespace ondril
