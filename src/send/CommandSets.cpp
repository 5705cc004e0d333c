#include "CommandSets.h"

#include <QStringList>

#include <utility>

namespace ondril {

const QList<CommandSet> &commandSets()
{
    static const QList<CommandSet> sets{
        {QStringLiteral("ESC and a letter"),
         {{QStringLiteral("PRINT"), QStringLiteral("\\ep"), false, LineEnd::None, true},
          {QStringLiteral("TARE"), QStringLiteral("\\et"), false, LineEnd::None, false},
          {QStringLiteral("UNIT"), QStringLiteral("\\es"), false, LineEnd::None, false},
          {QStringLiteral("COUNT"), QStringLiteral("\\er"), false, LineEnd::None, false}},
         ReplyShape::SignValueUnit},
        {QStringLiteral("Command words, CR LF"),
         {{QStringLiteral("SI"), QStringLiteral("SI"), false, LineEnd::CrLf, true},
          {QStringLiteral("S"), QStringLiteral("S"), false, LineEnd::CrLf, true},
          {QStringLiteral("T"), QStringLiteral("T"), false, LineEnd::CrLf, false},
          {QStringLiteral("Z"), QStringLiteral("Z"), false, LineEnd::CrLf, false}},
         ReplyShape::CommandStatusValue},
        {QStringLiteral("Letters, CR LF"),
         {{QStringLiteral("Q"), QStringLiteral("Q"), false, LineEnd::CrLf, true},
          {QStringLiteral("S"), QStringLiteral("S"), false, LineEnd::CrLf, true},
          {QStringLiteral("T"), QStringLiteral("T"), false, LineEnd::CrLf, false},
          {QStringLiteral("Z"), QStringLiteral("Z"), false, LineEnd::CrLf, false}},
         ReplyShape::HeaderCommaValue},
    };
    return sets;
}

QString spokenBytes(const QByteArray &bytes)
{
    QStringList words;
    QString text;
    for (const char c : bytes) {
        const quint8 b = quint8(c);
        if (b > 0x20 && b < 0x7f) {
            text += QLatin1Char(c);
            continue;
        }
        if (!text.isEmpty())
            words << std::exchange(text, QString());
        words << (c == '\x1b' ? QStringLiteral("ESC")
                  : c == '\r' ? QStringLiteral("CR")
                  : c == '\n' ? QStringLiteral("LF")
                  : c == ' '   ? QStringLiteral("SP")
                               : QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x")));
    }
    if (!text.isEmpty())
        words << text;
    return words.join(u' ');
}

bool isCommandName(const QString &name)
{
    if (name.trimmed().isEmpty() || name.size() > 40)
        return false;
    for (const QChar c : name)
        if (c == u',' || c == u'"' || c.unicode() < 0x20 || c.unicode() > 0x7E) // the CSV stays ASCII
            return false;
    return true;
}

QString typedCommandName(const QByteArray &bytes)
{
    QString name = escapedText(bytes).left(40);
    return name.replace(u',', QLatin1String("\\x2C")).replace(u'"', QLatin1String("\\x22"));
}

} // namespace ondril
