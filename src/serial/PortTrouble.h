#pragma once

#include "MSComm.h"

#include <QString>

namespace ondril {

// The lock file Qt's serial port keeps for a device: in the first of the
// usual lock folders that has one already or may be written, named after the
// path without "/dev/", slashes as "_".
QString lockFileOf(const QString &device);

// Why COM `port` would not open, for an operator who never sees standard
// error: its device and the system's reason; where the system refused, the
// fix when the user may not open the device, else who holds it as far as its
// lock file tells. "COM 2: no device" when the port has none.
QString portTrouble(int port, const QString &device, const OpenFailure &failure);

} // namespace ondril
