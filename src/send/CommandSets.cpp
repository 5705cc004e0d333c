#include "CommandSets.h"

namespace ondril {

const QList<CommandSet> &commandSets()
{
    static const QList<CommandSet> sets{
        {QStringLiteral("ESC and a letter"),
         {{QStringLiteral("PRINT"), QStringLiteral("\\ep"), false, LineEnd::None, true},
          {QStringLiteral("TARE"), QStringLiteral("\\et"), false, LineEnd::None, false},
          {QStringLiteral("UNIT"), QStringLiteral("\\es"), false, LineEnd::None, false},
          {QStringLiteral("COUNT"), QStringLiteral("\\er"), false, LineEnd::None, false}}},
        {QStringLiteral("Command words, CR LF"),
         {{QStringLiteral("S"), QStringLiteral("S"), false, LineEnd::CrLf, true},
          {QStringLiteral("SI"), QStringLiteral("SI"), false, LineEnd::CrLf, true},
          {QStringLiteral("T"), QStringLiteral("T"), false, LineEnd::CrLf, false},
          {QStringLiteral("Z"), QStringLiteral("Z"), false, LineEnd::CrLf, false}}},
        {QStringLiteral("Letters, CR LF"),
         {{QStringLiteral("Q"), QStringLiteral("Q"), false, LineEnd::CrLf, true},
          {QStringLiteral("S"), QStringLiteral("S"), false, LineEnd::CrLf, true},
          {QStringLiteral("T"), QStringLiteral("T"), false, LineEnd::CrLf, false},
          {QStringLiteral("Z"), QStringLiteral("Z"), false, LineEnd::CrLf, false}}},
    };
    return sets;
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
