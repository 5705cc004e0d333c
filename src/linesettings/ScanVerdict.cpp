#include "ScanVerdict.h"

#include <QStringList>

namespace ondril {

static QString settingsList(const QList<ScanObservations::Heard> &heard)
{
    QStringList names;
    for (const auto &h : heard.mid(0, 3))
        names << QStringLiteral("%1 %2").arg(h.line.baud).arg(h.line.shortName());
    if (heard.size() > 3)
        names << QStringLiteral("%1 more").arg(heard.size() - 3);
    return names.join(QStringLiteral(", "));
}

static QString cause(const ScanObservations &seen)
{
    const bool rtsHandshake = seen.handshake == Handshaking::Rts || seen.handshake == Handshaking::RtsXonXoff;
    if (!seen.heard.isEmpty()) {
        qsizetype garbled = 0;
        for (const auto &h : seen.heard)
            garbled += h.errors;
        if (garbled == seen.heard.size())
            return QStringLiteral("Most likely: the balance sends at a speed or framing not tried here: everything "
                                  "that came had framing or parity errors. Try: read its speed and framing in its "
                                  "own menu and set one of the speeds offered here.");
        return QStringLiteral("Most likely: something sends, but never a reading: another device, or a balance "
                              "asked in a way none of the command sets knows. Try: set %1 by hand and look at "
                              "what comes in the window.")
            .arg(settingsList(seen.heard.mid(0, 1)));
    }
    if (!seen.linesSeen)
        return QStringLiteral("Most likely: the cable or the balance's interface: nothing came back, and this "
                              "adapter does not report its control lines. Try: Tools > Link check, whose loopback "
                              "test proves the port and adapter; then the other kind of cable (null-modem or "
                              "straight), and the balance's interface switched on.");
    const ControlLines &l = *seen.linesSeen;
    if (rtsHandshake && !l.cts)
        return QStringLiteral("Most likely: the handshake. It is set to %1 here, and CTS never rose, so nothing "
                              "can be sent once it is back. Try: no handshake here and on the balance, or a cable "
                              "that carries CTS.")
            .arg(handshakingName(seen.handshake));
    if (!l.dsr && !l.cts)
        return QStringLiteral("Most likely: nothing powered at the other end, or a cable that does not carry the "
                              "lines (DSR and CTS stayed low). Try: the balance switched on and its cable in "
                              "this port; then the other kind of cable.");
    return QStringLiteral("Most likely: the cable's data wires: a device is there (%1 high) but nothing it sent "
                          "came back. Try: the other kind of cable (null-modem where a straight one is, or the "
                          "reverse), and the balance's interface switched on in its menu.")
        .arg(l.dsr && l.cts ? QStringLiteral("DSR and CTS") : l.dsr ? QStringLiteral("DSR") : QStringLiteral("CTS"));
}

static QString seenText(const ScanObservations &seen)
{
    QStringList parts;
    if (seen.heard.isEmpty()) {
        parts << QStringLiteral("no byte at any setting");
    } else {
        qint64 bytes = 0;
        for (const auto &h : seen.heard)
            bytes += h.bytes;
        parts << QStringLiteral("%1 bytes, at %2").arg(bytes).arg(settingsList(seen.heard));
    }
    if (seen.counts)
        parts << QStringLiteral("%1 framing and %2 parity errors").arg(seen.counts->framing).arg(seen.counts->parity);
    else
        parts << QStringLiteral("errors not reported by this adapter");
    if (seen.linesSeen)
        parts << QStringLiteral("DSR %1, CTS %2")
                     .arg(seen.linesSeen->dsr ? QStringLiteral("high") : QStringLiteral("low"),
                          seen.linesSeen->cts ? QStringLiteral("high") : QStringLiteral("low"));
    else
        parts << QStringLiteral("lines not reported by this adapter");
    parts << QStringLiteral("handshake %1").arg(handshakingName(seen.handshake));
    return QStringLiteral("The port saw: %1.").arg(parts.join(QStringLiteral("; ")));
}

QString failedScanVerdict(const ScanObservations &seen)
{
    return cause(seen) + QLatin1Char('\n') + seenText(seen);
}

} // namespace ondril
