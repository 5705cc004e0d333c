#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// A laboratory balance as its serial interface shows it: it hears remote
// commands of one family (ESC and a letter; a command word ended by CR LF; a
// letter or two ended by CR LF), ignores the rest, and answers with CR
// LF-ended lines.
class Balance {
public:
    struct Reply {
        int delayMs;       // after the command
        std::string line;  // with its CR LF
    };
    // The shape of its weighing lines: "     +  152.37 g", "S S     152.37 g"
    // or "ST,+00152.37  g".
    enum class Format { SignValueUnit, CommandStatus, HeaderComma };
    // How it is asked.
    enum class Commands { Escape, WordCrLf, LetterCrLf };

    explicit Balance(double massGrams = 152.37, unsigned seed = 1);

    void setFormat(Format format) { m_format = format; }
    void setCommands(Commands commands) { m_commands = commands; }
    // Every n-th reading is still moving (0: none).
    void setUnstableEvery(int n) { m_unstableEvery = n; }
    // Every n-th PRINT gets no reply (0: none).
    void setDropEvery(int n) { m_dropEvery = n; }

    // Feeds received bytes; returns the replies of every command completed by them.
    std::vector<Reply> receive(const std::string &bytes);

    // The current reading as one line: "     +  152.37 g\r\n".
    std::string weighingLine();
    // A stable reading of `value` grams, in the balance's shape.
    std::string lineOf(double value) const { return formatLine(value, 2, "g", true); }

    const char *unit() const;
    bool counting() const { return m_counting; }

private:
    std::vector<Reply> command(char letter);
    std::vector<Reply> wordCommand(const std::string &word);
    std::vector<Reply> letterCommand(const std::string &letters);
    std::vector<Reply> weightRequest();
    double grossReading();
    std::string formatLine(double value, int decimals, const char *unit, bool stable) const;

    double m_mass;
    double m_tare = 0;
    int m_unit = 0;
    bool m_counting = false;
    bool m_escape = false;
    Commands m_commands = Commands::Escape;
    std::string m_line; // a CR LF-ended command so far
    Format m_format = Format::SignValueUnit;
    int m_unstableEvery = 0;
    int m_dropEvery = 0;
    long m_readings = 0;
    long m_prints = 0;
    std::mt19937 m_rng;
};

// What a receiver set to another speed makes of a line: every byte but the
// final CR LF comes out as something else, often with the top bit set.
std::string garble(const std::string &line, std::uint32_t seed);
