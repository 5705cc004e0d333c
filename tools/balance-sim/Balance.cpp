#include "Balance.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace {

struct Unit {
    const char *name;
    double perGram;
    int decimals;
};

const Unit units[] = {
    {"g", 1.0, 2},
    {"kg", 0.001, 5},
    {"ct", 5.0, 2},
    {"oz", 1.0 / 28.349523125, 4},
    {"lb", 1.0 / 453.59237, 5},
};
constexpr int unitCount = int(sizeof units / sizeof units[0]);
constexpr double pieceGrams = 5.0;
constexpr double noiseGrams = 0.02;

} // namespace

std::string Balance::formatLine(double value, int decimals, const char *unit, bool stable) const
{
    const char sign = value < 0 ? '-' : '+';
    const bool count = std::string(unit) == "pcs";
    char buf[96];
    switch (m_format) {
    case Format::SignValueUnit: // a moving reading comes without its unit
        std::snprintf(buf, sizeof buf, "     %c%8.*f %s\r\n", sign, decimals, std::fabs(value), stable ? unit : "");
        break;
    case Format::CommandStatus:
        std::snprintf(buf, sizeof buf, "S %c %10.*f %s\r\n", stable ? 'S' : 'D', decimals, value, unit);
        break;
    case Format::HeaderComma:
        std::snprintf(buf, sizeof buf, "%s,%c%0*.*f %3s\r\n", !stable ? "US" : count ? "QT" : "ST", sign,
                      decimals ? 9 : 8, decimals, std::fabs(value), count ? "PC" : unit);
        break;
    }
    return buf;
}

Balance::Balance(double massGrams, unsigned seed) : m_mass(massGrams), m_rng(seed) {}

const char *Balance::unit() const
{
    return m_counting ? "pcs" : units[m_unit].name;
}

double Balance::grossReading()
{
    std::uniform_real_distribution<double> noise(-noiseGrams, noiseGrams);
    return m_mass + noise(m_rng);
}

std::string Balance::weighingLine()
{
    const double net = grossReading() - m_tare;
    ++m_readings;
    const bool stable = m_unstableEvery <= 0 || m_readings % m_unstableEvery != 0;
    if (m_counting)
        return formatLine(std::round(net / pieceGrams), 0, "pcs", stable);
    const Unit &u = units[m_unit];
    return formatLine(net * u.perGram, u.decimals, u.name, stable);
}

std::vector<Balance::Reply> Balance::receive(const std::string &bytes)
{
    std::vector<Reply> replies;
    for (char c : bytes) {
        if (m_commands != Commands::Escape) {
            if (c != '\n') {
                if (m_line.size() < 64) // noise without a line end is let go
                    m_line += c;
                continue;
            }
            std::string line = std::exchange(m_line, {});
            if (line.empty() || line.back() != '\r')
                continue; // only CR LF ends a command
            line.pop_back();
            for (Reply &r : m_commands == Commands::WordCrLf ? wordCommand(line) : letterCommand(line))
                replies.push_back(std::move(r));
            continue;
        }
        if (c == '\x1b') {
            m_escape = true;
            continue;
        }
        if (!m_escape)
            continue; // noise between commands is ignored
        m_escape = false;
        for (Reply &r : command(c))
            replies.push_back(std::move(r));
    }
    return replies;
}

std::vector<Balance::Reply> Balance::weightRequest()
{
    if (m_dropEvery > 0 && ++m_prints % m_dropEvery == 0)
        return {}; // this one goes unanswered
    return {{0, weighingLine()}};
}

// Command words: S (stable weight), SI (weight now), T (tare), Z (zero).
std::vector<Balance::Reply> Balance::wordCommand(const std::string &word)
{
    if (word == "S" || word == "SI")
        return weightRequest();
    if (word == "T") {
        m_tare = grossReading();
        std::string line = formatLine(m_tare, 2, "g", true);
        line[0] = 'T'; // "T S    152.37 g"
        return {{0, line}};
    }
    if (word == "Z") {
        m_tare = grossReading();
        return {{0, "Z A\r\n"}};
    }
    return {};
}

// Letters: Q and SI (weight now), S (stable weight), T (tare), Z (zero).
std::vector<Balance::Reply> Balance::letterCommand(const std::string &letters)
{
    if (letters == "Q" || letters == "S" || letters == "SI")
        return weightRequest();
    if (letters == "T" || letters == "Z")
        m_tare = grossReading();
    return {};
}

std::vector<Balance::Reply> Balance::command(char letter)
{
    switch (letter) {
    case 'p':
        return weightRequest();
    case 't':
        m_tare = grossReading();
        return {};
    case 's':
        m_counting = false;
        m_unit = (m_unit + 1) % unitCount;
        return {};
    case 'r':
        m_counting = !m_counting;
        return {};
    case 'q':
        return {{0, "  CAL  START\r\n"},
                {1000, "  CAL   200.00 g\r\n"},
                {2000, "  CAL  END\r\n"}};
    default:
        return {};
    }
}

std::string garble(const std::string &line, std::uint32_t seed)
{
    std::string out = line;
    size_t end = out.size();
    if (end >= 2 && out.compare(end - 2, 2, "\r\n") == 0)
        end -= 2;
    std::uint32_t x = seed ? seed : 0x9e3779b9u;
    for (size_t i = 0; i < end; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        unsigned char b = static_cast<unsigned char>(out[i]);
        b = static_cast<unsigned char>((b << 1) ^ (x & 0xff) ^ 0x80);
        if (b == '\r' || b == '\n')
            b ^= 0x80; // keep the line's only break at its end
        out[i] = static_cast<char>(b);
    }
    return out;
}
