#include "Framing.h"

#include <cctype>
#include <cstring>
#include <vector>

bool parseFraming(const std::string &text, Framing *out)
{
    if (text.size() != 3 || text[0] < '5' || text[0] > '8' || (text[2] != '1' && text[2] != '2'))
        return false;
    const char parity = char(std::toupper(static_cast<unsigned char>(text[1])));
    if (!std::strchr("NEOMS", parity))
        return false;
    *out = {text[0] - '0', parity, text[2] - '0'};
    return true;
}

std::string framingName(const Framing &f)
{
    return std::to_string(f.dataBits) + f.parity + std::to_string(f.stopBits);
}

static int parityBit(unsigned value, const Framing &f)
{
    int ones = 0;
    for (int i = 0; i < f.dataBits; ++i)
        ones += (value >> i) & 1;
    switch (f.parity) {
    case 'E': return ones & 1;
    case 'O': return !(ones & 1);
    case 'M': return 1;
    default: return 0;
    }
}

std::string reframe(const std::string &bytes, const Framing &sent, const Framing &read)
{
    if (sent == read)
        return bytes;
    std::vector<unsigned char> line; // levels, one per bit time; the idle line is 1
    for (unsigned char c : bytes) {
        line.push_back(0);
        for (int i = 0; i < sent.dataBits; ++i)
            line.push_back((c >> i) & 1);
        if (sent.parity != 'N')
            line.push_back(static_cast<unsigned char>(parityBit(c, sent)));
        line.insert(line.end(), size_t(sent.stopBits), 1);
    }
    const auto level = [&](size_t at) { return at < line.size() ? line[at] : 1; };
    std::string out;
    size_t at = 0;
    while (at < line.size()) {
        if (level(at)) { // waiting for a start bit
            ++at;
            continue;
        }
        unsigned value = 0;
        for (int i = 0; i < read.dataBits; ++i)
            value |= unsigned(level(at + 1 + size_t(i))) << i;
        out.push_back(static_cast<char>(value));
        // Past the (first) stop bit, right or wrong, the receiver looks for
        // the next start bit.
        at += 1 + size_t(read.dataBits) + (read.parity != 'N') + 1;
    }
    return out;
}
