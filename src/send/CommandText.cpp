#include "CommandText.h"

namespace ondril {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

CommandBytes failed(const QString &why, qsizetype at)
{
    return {{}, why, at};
}

CommandBytes parseHex(const QString &text)
{
    CommandBytes out;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i].isSpace()) {
            ++i;
            continue;
        }
        const int high = hexDigit(text[i]);
        if (high < 0)
            return failed(QStringLiteral("\"%1\" is no hex digit").arg(text[i]), i);
        if (i + 1 >= text.size() || text[i + 1].isSpace())
            return failed(QStringLiteral("a byte takes two hex digits"), i);
        const int low = hexDigit(text[i + 1]);
        if (low < 0)
            return failed(QStringLiteral("\"%1\" is no hex digit").arg(text[i + 1]), i + 1);
        out.bytes += char(high << 4 | low);
        i += 2;
    }
    return out;
}

CommandBytes parseEscapes(const QString &text)
{
    CommandBytes out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\') {
            if (c.unicode() > 0xFF)
                return failed(QStringLiteral("\"%1\" is no single byte: write it as \\xHH").arg(c), i);
            out.bytes += char(c.unicode());
            continue;
        }
        if (i + 1 >= text.size())
            return failed(QStringLiteral("a backslash ends the command: write \\\\ for one"), i);
        switch (text[++i].unicode()) {
        case 'r': out.bytes += '\r'; break;
        case 'n': out.bytes += '\n'; break;
        case 't': out.bytes += '\t'; break;
        case 'e': out.bytes += '\x1b'; break;
        case '\\': out.bytes += '\\'; break;
        case 'x': {
            const int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return failed(QStringLiteral("\\x takes two hex digits"), i - 1);
            out.bytes += char(high << 4 | low);
            i += 2;
            break;
        }
        default:
            return failed(QStringLiteral("\\%1 is no escape (\\r \\n \\t \\e \\xHH \\\\)").arg(text[i]), i - 1);
        }
    }
    return out;
}

} // namespace

CommandBytes parseCommandText(const QString &text, bool hex, LineEnd end)
{
    CommandBytes out = hex ? parseHex(text) : parseEscapes(text);
    if (!out.ok())
        return out;
    if (end == LineEnd::Cr || end == LineEnd::CrLf)
        out.bytes += '\r';
    if (end == LineEnd::Lf || end == LineEnd::CrLf)
        out.bytes += '\n';
    if (out.bytes.isEmpty())
        return failed(QStringLiteral("nothing to send"), 0);
    if (out.bytes.size() > longestCommand)
        return failed(QStringLiteral("%1 bytes: a command is at most %2").arg(out.bytes.size()).arg(longestCommand), 0);
    return out;
}

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString escapedText(const QByteArray &bytes)
{
    QString out;
    for (const char b : bytes) {
        const auto u = uchar(b);
        switch (u) {
        case '\r': out += QLatin1String("\\r"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case 0x1b: out += QLatin1String("\\e"); break;
        case '\\': out += QLatin1String("\\\\"); break;
        default:
            if (u < 0x20 || u >= 0x7f)
                out += QLatin1String("\\x") + QString::number(u, 16).rightJustified(2, u'0').toUpper();
            else
                out += QLatin1Char(b);
        }
    }
    return out;
}

} // namespace ondril
