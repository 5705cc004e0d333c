#pragma once

#include "LineSettings.h"

#include <QSerialPort>
#include <QString>

namespace ondril {

// What Qt's serial port does not set, put to the device directly:
// - both handshakes at once (RTS/CTS and XON/XOFF);
// - the framing of a pseudo-terminal. The kernel keeps a pseudo-terminal at
//   8 data bits without parity, and the C library then reports any other
//   framing as an invalid argument. There 7 data bits are kept as ISTRIP (bit
//   7 dropped on input, as a 7-bit port does) and a parity as INPCK with
//   PARODD and CMSPAR, where a program on the other end (the balance
//   simulator) can read them. (Linux only; on Windows there are none.)
// - on a real port, errors marked: Qt always lets a character with a parity
//   or framing error pass as data (INPCK off on Linux, no error character on
//   Windows); marked, it reads as NUL (INPCK without IGNPAR or PARMRK;
//   Windows replaces parity errors only).
bool isPseudoTerminal(const QString &device);
// The settings to hand Qt for `line` on that device.
LineSettings framingForQt(const LineSettings &line, bool pseudoTerminal);
// After Qt has set its part on the open `port`.
bool setTerminalExtras(QSerialPort &port, const LineSettings &line, bool pseudoTerminal, bool markErrors,
                       QString *error);

} // namespace ondril
