#pragma once

#include "serial/LineSettings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace ondril {

// What one setting of the loopback test sent and got back.
struct LoopbackSetting {
    LineSettings line;
    qint64 sent = 0;
    qint64 back = 0;
    qint64 changed = 0; // bytes back that differ from those sent
    std::optional<qint64> errors; // the driver's framing, parity and overrun counts
    bool refused = false; // the device does not take this setting
    bool good() const { return !refused && back == sent && changed == 0 && errors.value_or(0) == 0; }
};

// Whether a line from the far end followed ours; none where the adapter
// does not report its lines.
struct LoopbackWires {
    std::optional<bool> rtsToCts, dtrToDsr, dtrToDcd;
};

struct LoopbackResult {
    QList<LoopbackSetting> settings;
    LoopbackWires wires;
};

// Per wire pair: its name and "works", "does not work" or "not reported by
// this adapter".
QList<QPair<QString, QString>> wireRows(const LoopbackResult &result);
// One sentence: "port and adapter carry data at every speed; RTS→CTS works;
// DTR→DSR/DCD does not".
QString loopbackVerdict(const LoopbackResult &result);
// What to join, on a DB9 plug.
QString loopbackJoinHint();

} // namespace ondril
