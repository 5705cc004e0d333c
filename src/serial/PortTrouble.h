#pragma once

#include <QString>

namespace ondril {

// The lock file Qt's serial port keeps for a device: in the first of the
// usual lock folders that has one already or may be written, named after the
// path without "/dev/", slashes as "_".
QString lockFileOf(const QString &device);

// Why COM `port` would not open, for an operator who never sees standard
// error: its device and the system's `reason`; for a permission, the fix; for
// a busy port, who holds it as far as its lock file tells. "COM 2: no device"
// when the port has none.
QString portTrouble(int port, const QString &device, const QString &reason);

} // namespace ondril
