#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// A laboratory balance as its serial interface shows it: it hears two-byte
// remote commands (ESC and a letter) and answers with CR LF-ended lines.
class Balance {
public:
    struct Reply {
        int delayMs;       // after the command
        std::string line;  // with its CR LF
    };

    explicit Balance(double massGrams = 152.37, unsigned seed = 1);

    // Feeds received bytes; returns the replies of every command completed by them.
    std::vector<Reply> receive(const std::string &bytes);

    // The current reading as one line: "     +  152.37 g\r\n".
    std::string weighingLine();

    const char *unit() const;
    bool counting() const { return m_counting; }

private:
    std::vector<Reply> command(char letter);
    double grossReading();

    double m_mass;
    double m_tare = 0;
    int m_unit = 0;
    bool m_counting = false;
    bool m_escape = false;
    std::mt19937 m_rng;
};

// What a receiver set to another speed makes of a line: every byte but the
// final CR LF comes out as something else, often with the top bit set.
std::string garble(const std::string &line, std::uint32_t seed);
