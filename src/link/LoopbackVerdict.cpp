#include "LoopbackVerdict.h"

#include <QMap>

namespace ondril {

static QString wireState(std::optional<bool> works)
{
    if (!works)
        return QStringLiteral("not reported by this adapter");
    return *works ? QStringLiteral("works") : QStringLiteral("does not work");
}

QList<QPair<QString, QString>> wireRows(const LoopbackResult &result)
{
    qint64 back = 0;
    bool allGood = true;
    for (const LoopbackSetting &s : result.settings) {
        back += s.back;
        allGood = allGood && (s.refused || s.good());
    }
    const LoopbackWires &wires = result.wires;
    return {{QStringLiteral("TX→RX (pins 3–2)"), back == 0 ? QStringLiteral("does not work")
                                                 : allGood ? QStringLiteral("works")
                                                           : QStringLiteral("works, with faults at some settings")},
            {QStringLiteral("RTS→CTS (pins 7–8)"), wireState(wires.rtsToCts)},
            {QStringLiteral("DTR→DSR (pins 4–6)"), wireState(wires.dtrToDsr)},
            {QStringLiteral("DTR→DCD (pins 4–1)"), wireState(wires.dtrToDcd)}};
}

QString loopbackJoinHint()
{
    return QStringLiteral("join pins 2 and 3 (RX and TX), 7 and 8 (RTS and CTS), and 4, 6 and 1 (DTR, DSR and DCD) "
                          "on the port's DB9 plug");
}

static QString dataPart(const QList<LoopbackSetting> &settings);

// The framings the port would not take, where it took others.
static QString refusedPart(const QList<LoopbackSetting> &settings)
{
    QStringList refused;
    bool anyTaken = false;
    for (const LoopbackSetting &s : settings) {
        anyTaken = anyTaken || !s.refused;
        if (s.refused && !refused.contains(s.line.shortName()))
            refused << s.line.shortName();
    }
    if (refused.isEmpty() || !anyTaken)
        return {};
    return QStringLiteral(" (the port refuses %1)").arg(refused.join(QStringLiteral(", ")));
}

static QString dataPart(const QList<LoopbackSetting> &settings)
{
    qint64 back = 0;
    bool extra = false;
    QMap<qint32, QStringList> badBySpeed;
    QMap<qint32, int> triedBySpeed;
    for (const LoopbackSetting &s : settings) {
        if (s.refused)
            continue;
        back += s.back;
        extra = extra || s.back > s.sent;
        ++triedBySpeed[s.line.baud];
        if (!s.good())
            badBySpeed[s.line.baud] << s.line.shortName();
    }
    if (triedBySpeed.isEmpty())
        return QStringLiteral("the port took none of the settings");
    if (back == 0)
        return QStringLiteral("nothing came back at any setting: %1, or the adapter does not receive")
            .arg(loopbackJoinHint());
    if (extra)
        return QStringLiteral("more came back than was sent: something on the port sends of its own (a balance "
                              "still plugged in?), so the test cannot tell");
    if (badBySpeed.isEmpty())
        return QStringLiteral("port and adapter carry data at every speed");
    QStringList where;
    bool everySpeedBad = true;
    for (auto it = triedBySpeed.cbegin(); it != triedBySpeed.cend(); ++it) {
        const QStringList bad = badBySpeed.value(it.key());
        everySpeedBad = everySpeedBad && !bad.isEmpty();
        if (bad.isEmpty())
            continue;
        where << (bad.size() == it.value() ? QString::number(it.key())
                                           : QStringLiteral("%1 %2").arg(it.key()).arg(bad.join(QLatin1Char('/'))));
    }
    if (everySpeedBad)
        return QStringLiteral("bytes come back lost or changed at every speed: a loose wire, or a plug that joins "
                              "more than it should");
    return QStringLiteral("port and adapter carry data, but bytes come back lost or changed at %1")
        .arg(where.join(QStringLiteral(", ")));
}

static QString wirePart(const QString &name, std::optional<bool> works)
{
    return QStringLiteral("%1 %2").arg(name, *works ? QStringLiteral("works") : QStringLiteral("does not"));
}

QString loopbackVerdict(const LoopbackResult &result)
{
    QStringList parts{dataPart(result.settings) + refusedPart(result.settings)};
    const LoopbackWires &w = result.wires;
    if (!w.rtsToCts && !w.dtrToDsr && !w.dtrToDcd) {
        parts << QStringLiteral("the control lines are not reported by this adapter");
        return parts.join(QStringLiteral("; "));
    }
    if (w.rtsToCts)
        parts << wirePart(QStringLiteral("RTS→CTS"), w.rtsToCts);
    if (w.dtrToDsr && w.dtrToDcd && *w.dtrToDsr == *w.dtrToDcd)
        parts << wirePart(QStringLiteral("DTR→DSR/DCD"), w.dtrToDsr);
    else {
        if (w.dtrToDsr)
            parts << wirePart(QStringLiteral("DTR→DSR"), w.dtrToDsr);
        if (w.dtrToDcd)
            parts << wirePart(QStringLiteral("DTR→DCD"), w.dtrToDcd);
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace ondril
