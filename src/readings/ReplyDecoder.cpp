#include "ReplyDecoder.h"

#include <array>
#include <cmath>

namespace ondril {

namespace {

// Digits beyond these do not fit the mantissa: such a number is no reading.
constexpr int maxDigits = 18;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool isLetter(char c)
{
    return isUpper(c) || (c >= 'a' && c <= 'z');
}

// A cursor over the line.
struct Scan {
    QByteArrayView text;
    qsizetype at = 0;

    bool atEnd() const { return at >= text.size(); }
    // The byte `ahead` places on, NUL past either end.
    char peek(qsizetype ahead = 0) const
    {
        const qsizetype i = at + ahead;
        return i >= 0 && i < text.size() ? text[i] : '\0';
    }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(text[at]))
            ++at;
    }
    // A run of letters (or of `%`), as a unit or a word.
    QByteArrayView word()
    {
        const qsizetype from = at;
        if (peek() == '%')
            ++at;
        else
            while (!atEnd() && isLetter(text[at]))
                ++at;
        return text.sliced(from, at - from);
    }
};

// One of `words`, exactly.
template <size_t N>
bool isOneOf(QByteArrayView word, const std::array<const char *, N> &words)
{
    for (const char *w : words)
        if (word == QByteArrayView(w))
            return true;
    return false;
}

bool isUnit(QByteArrayView word)
{
    static constexpr std::array<const char *, 16> units = {"g",  "kg",  "mg", "ct", "lb",  "oz",  "ozt", "dwt",
                                                          "GN", "tl", "mom", "PCS", "PC", "pcs", "%",  "t"};
    return isOneOf(word, units);
}

// An optional sign, blanks, then digits with at most one decimal point or
// comma; blanks between digit groups where `groups` allows them ("1 234.5").
// False, with `s` where it was, when there is no number there.
bool number(Scan &s, bool groups, SentValue *value)
{
    const qsizetype start = s.at;
    bool negative = false;
    if (s.peek() == '+' || s.peek() == '-') {
        negative = s.peek() == '-';
        ++s.at;
        s.skipBlanks();
    }
    qint64 mantissa = 0;
    int digits = 0;
    int decimals = -1;
    for (;;) {
        const char c = s.peek();
        if (isDigit(c)) {
            if (digits == maxDigits) {
                s.at = start;
                return false;
            }
            if (mantissa != 0 || c != '0' || decimals >= 0)
                ++digits;
            mantissa = mantissa * 10 + (c - '0');
            if (decimals >= 0)
                ++decimals;
            ++s.at;
        } else if ((c == '.' || c == ',') && decimals < 0 && isDigit(s.peek(-1)) && isDigit(s.peek(1))
                   && s.at > start) {
            decimals = 0;
            ++s.at;
        } else if (groups && c == ' ' && decimals < 0 && s.at > start && isDigit(s.peek(-1)) && isDigit(s.peek(1))
                   && isDigit(s.peek(2)) && isDigit(s.peek(3)) && !isDigit(s.peek(4))) {
            ++s.at; // a blank between groups of three digits
        } else {
            break;
        }
    }
    if (s.at == start || !isDigit(s.peek(-1))) {
        s.at = start;
        return false;
    }
    value->mantissa = negative ? -mantissa : mantissa;
    value->decimals = qint8(decimals < 0 ? 0 : decimals);
    return true;
}

// The rest of the line: nothing, or a unit and nothing after it.
bool unitToEnd(Scan &s, QByteArrayView *unit)
{
    s.skipBlanks();
    if (s.atEnd()) {
        *unit = {};
        return true;
    }
    *unit = s.word();
    s.skipBlanks();
    return s.atEnd() && isUnit(*unit);
}

Reply reading(ReplyShape shape, ReadingStatus status, SentValue value, QByteArrayView unit,
              QByteArrayView identifier = {})
{
    return {shape, status, true, value, unit, identifier};
}

Reply statusOnly(ReplyShape shape, ReadingStatus status, QByteArrayView identifier = {})
{
    return {shape, status, false, {}, {}, identifier};
}

// "ST,+00123.45  g": a header of two letters (or two such headers), a comma.
bool headerComma(QByteArrayView line, Reply *reply)
{
    Scan s{line};
    if (line.size() < 4 || !isUpper(line[0]) || !isUpper(line[1]) || line[2] != ',')
        return false;
    const QByteArrayView header = line.first(2);
    s.at = 3;
    if (isUpper(s.peek()) && isUpper(s.peek(1)) && s.peek(2) == ',')
        s.at = 6; // a second header, such as gross or net
    s.skipBlanks();
    SentValue value;
    QByteArrayView unit;
    if (!number(s, false, &value) || !unitToEnd(s, &unit))
        return false;
    ReadingStatus status;
    if (header == "ST" || header == "QT")
        status = ReadingStatus::Stable;
    else if (header == "US")
        status = ReadingStatus::Unstable;
    else if (header == "OL")
        status = ReadingStatus::Overload;
    else
        return false;
    *reply = reading(ReplyShape::HeaderCommaValue, status, value, unit);
    return true;
}

// A word before a value that names a weight: net or gross. Any other word
// ("CAL", "Nominal", "Error") makes the line something else than a weighing:
// a calibration step, a printed record's line, an error code.
bool isWeightName(QByteArrayView word)
{
    static constexpr std::array<const char *, 10> names = {"N",  "G",  "NET", "Net", "GROSS",
                                                           "Gross", "GS", "NT", "WT", "W"};
    return isOneOf(word, names);
}

// "S S      100.00 g", "S +", "ES".
bool commandStatus(QByteArrayView line, Reply *reply)
{
    if (line == "ES" || line == "ET" || line == "EL") {
        *reply = statusOnly(ReplyShape::CommandStatusValue, ReadingStatus::Error);
        return true;
    }
    // The weight requests of this family answer with their own word first;
    // another word ("OK -", "N +") is an acknowledgement or a prompt.
    static constexpr std::array<const char *, 7> weightRequests = {"S", "SI", "SIR", "SU", "SIU", "SIRU", "SR"};
    Scan s{line};
    while (s.at < 4 && isUpper(s.peek()))
        ++s.at;
    if (s.at == 0 || !isBlank(s.peek()) || !isOneOf(line.first(s.at), weightRequests))
        return false;
    s.skipBlanks();
    const char code = s.peek();
    ++s.at;
    if (!s.atEnd() && !isBlank(s.peek()))
        return false;
    s.skipBlanks();
    if (s.atEnd()) {
        switch (code) {
        case '+': *reply = statusOnly(ReplyShape::CommandStatusValue, ReadingStatus::Overload); return true;
        case '-': *reply = statusOnly(ReplyShape::CommandStatusValue, ReadingStatus::Underload); return true;
        case 'I': *reply = statusOnly(ReplyShape::CommandStatusValue, ReadingStatus::Busy); return true;
        default: return false;
        }
    }
    if (code != 'S' && code != 'D')
        return false;
    SentValue value;
    QByteArrayView unit;
    if (!number(s, false, &value) || !unitToEnd(s, &unit) || unit.isEmpty())
        return false;
    *reply = reading(ReplyShape::CommandStatusValue, code == 'S' ? ReadingStatus::Stable : ReadingStatus::Unstable,
                     value, unit);
    return true;
}

// "+  152.37 g", "N     +    12.3 kg", "High".
bool signValueUnit(QByteArrayView line, Reply *reply)
{
    Scan s{line};
    QByteArrayView identifier;
    if (isLetter(s.peek())) {
        Scan w = s;
        const QByteArrayView first = w.word();
        if (isBlank(w.peek())) {
            if (!isWeightName(first))
                return false;
            identifier = first;
            s = w;
            s.skipBlanks();
        }
    }
    const QByteArrayView rest = line.sliced(s.at);
    const auto word = [&](ReadingStatus status) {
        *reply = statusOnly(ReplyShape::SignValueUnit, status, identifier);
        return true;
    };
    if (rest == "High" || rest == "HHHHHH" || rest == "OL")
        return word(ReadingStatus::Overload);
    if (rest == "Low" || rest == "LLLLLL")
        return word(ReadingStatus::Underload);
    if (rest == "------" || rest == "Stat" || rest == "Busy")
        return word(ReadingStatus::Busy);
    if (s.peek() != '+' && s.peek() != '-' && !isDigit(s.peek()))
        return false;
    SentValue value;
    QByteArrayView unit;
    if (!number(s, true, &value) || !unitToEnd(s, &unit))
        return false;
    // Without its unit the reading is still moving.
    *reply = reading(ReplyShape::SignValueUnit, unit.isEmpty() ? ReadingStatus::Unstable : ReadingStatus::Stable,
                     value, unit, identifier);
    return true;
}

// Any other line that is a number and a unit and nothing else but marks
// ("?", "*", ":", "=") and a weight's name before them: "? 152.37g",
// "Net: 152.37 g", "W=12.5kg". Another word beside them ("Nominal 200.00 g",
// "Error 5 t") makes it no reading.
bool numberAndUnit(QByteArrayView line, Reply *reply)
{
    const auto isMark = [](char c) { return c == '?' || c == '*' || c == ':' || c == '=' || isBlank(c); };
    Scan s{line};
    if (isLetter(s.peek()) && !isWeightName(s.word()))
        return false;
    while (!s.atEnd() && isMark(s.peek()))
        ++s.at;
    SentValue value;
    if (!number(s, false, &value))
        return false;
    s.skipBlanks();
    const QByteArrayView unit = s.word();
    if (!isUnit(unit))
        return false;
    while (!s.atEnd() && isMark(s.peek()))
        ++s.at;
    if (!s.atEnd())
        return false;
    *reply = reading(ReplyShape::NumberAndUnit, ReadingStatus::Unknown, value, unit);
    return true;
}

} // namespace

Reply decodeReply(QByteArrayView line)
{
    // Without its line end and the blanks around it.
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r' || isBlank(line.back())))
        line.chop(1);
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.sliced(1);
    Reply reply;
    if (line.isEmpty())
        return reply;
    if (headerComma(line, &reply) || commandStatus(line, &reply) || signValueUnit(line, &reply)
        || numberAndUnit(line, &reply))
        return reply;
    return Reply{};
}

} // namespace ondril
