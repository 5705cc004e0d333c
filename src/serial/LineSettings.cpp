#include "LineSettings.h"

#include <QStringList>

namespace ondril {

bool LineSettings::parse(const QString &text, LineSettings *out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;

    LineSettings s = *out;
    bool ok = false;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        return false;

    const QString parity = parts[1].trimmed().toLower();
    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity))
        return false;
    s.parity = parity.at(0).toLatin1();

    s.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8)
        return false;

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBitsTimesTwo = 2;
    else if (stop == QLatin1String("1.5"))
        s.stopBitsTimesTwo = 3;
    else if (stop == QLatin1String("2"))
        s.stopBitsTimesTwo = 4;
    else
        return false;

    *out = s;
    return true;
}

static QString stopText(int timesTwo)
{
    return timesTwo == 3 ? QStringLiteral("1.5") : QString::number(timesTwo / 2);
}

QString LineSettings::framingText() const
{
    return QStringLiteral(",%1,%2,%3").arg(QChar::fromLatin1(parity)).arg(dataBits).arg(stopText(stopBitsTimesTwo));
}

QString LineSettings::text() const
{
    return QString::number(baud) + framingText();
}

QString LineSettings::shortName() const
{
    return QString::number(dataBits) + QChar::fromLatin1(parity).toUpper() + stopText(stopBitsTimesTwo);
}

QString LineSettings::description() const
{
    static const char *const parities[] = {"no", "even", "odd", "mark", "space"};
    const int p = int(QByteArrayView("neoms").indexOf(parity));
    return QStringLiteral("%1 data bits, %2 parity, %3 stop bit%4")
        .arg(dataBits)
        .arg(QLatin1String(parities[p < 0 ? 0 : p]), stopText(stopBitsTimesTwo),
             stopBitsTimesTwo == 2 ? QString() : QStringLiteral("s"));
}

QString handshakingName(Handshaking h)
{
    switch (h) {
    case Handshaking::XonXoff: return QStringLiteral("XON/XOFF");
    case Handshaking::Rts: return QStringLiteral("RTS/CTS");
    case Handshaking::RtsXonXoff: return QStringLiteral("RTS/CTS and XON/XOFF");
    case Handshaking::None: break;
    }
    return QStringLiteral("none");
}

} // namespace ondril
