#pragma once

#include "serial/LineSettings.h"
#include "serial/MSComm.h"

#include <QList>
#include <QString>

#include <optional>

namespace ondril {

// What the port saw during a scan that found no balance.
struct ScanObservations {
    struct Heard {
        LineSettings line;
        qint64 bytes = 0;
        bool errors = false; // framing or parity errors among them
    };
    QList<Heard> heard; // the settings at which any byte came
    std::optional<LineCounts> counts; // over the scan; none where the driver does not count
    // The lines from the balance: whether each was ever high during the
    // scan; none where the adapter does not report them.
    std::optional<ControlLines> linesSeen;
    Handshaking handshake = Handshaking::None; // the operator's, off while scanning
};

// One most likely cause and what to try, then what the port saw.
QString failedScanVerdict(const ScanObservations &seen);

} // namespace ondril
