#pragma once

#include <string>

// How a serial line frames each character: data bits, parity, stop bits.
struct Framing {
    int dataBits = 8;   // 5 to 8
    char parity = 'N';  // N, E, O, M or S
    int stopBits = 1;   // 1 or 2

    bool operator==(const Framing &o) const
    {
        return dataBits == o.dataBits && parity == o.parity && stopBits == o.stopBits;
    }
    bool operator!=(const Framing &o) const { return !(*this == o); }
};

// "7O1", "8n1": false for anything else.
bool parseFraming(const std::string &text, Framing *out);
std::string framingName(const Framing &f);

// What a receiver framed as `read` makes of `bytes` sent back to back framed
// as `sent`, at the same speed, bit by bit as a UART samples them. A
// character with a parity or framing error comes through as sampled, as it
// does from a port that does not check parity (Qt's setting on Linux).
std::string reframe(const std::string &bytes, const Framing &sent, const Framing &read);
