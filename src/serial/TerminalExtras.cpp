#include "TerminalExtras.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#endif

namespace ondril {

bool isPseudoTerminal(const QString &device)
{
#ifdef Q_OS_LINUX
    struct stat st {};
    // Unix 98 pseudo-terminal slaves have majors 136 to 143.
    return ::stat(device.toLocal8Bit().constData(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136
           && major(st.st_rdev) <= 143;
#else
    Q_UNUSED(device);
    return false;
#endif
}

LineSettings framingForQt(const LineSettings &line, bool pseudoTerminal)
{
    LineSettings qt = line;
    if (pseudoTerminal) {
        qt.dataBits = 8;
        qt.parity = 'n';
    }
    return qt;
}

bool setTerminalExtras(QSerialPort &port, const LineSettings &line, bool pseudoTerminal, bool markErrors,
                       QString *error)
{
    const bool both = line.handshaking == Handshaking::RtsXonXoff;
    const auto fd = port.handle();
#ifdef Q_OS_WIN
    Q_UNUSED(pseudoTerminal);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(fd, &dcb)) {
        if (both)
            dcb.fOutX = dcb.fInX = TRUE;
        dcb.fErrorChar = markErrors && dcb.fParity;
        dcb.ErrorChar = 0;
        if (SetCommState(fd, &dcb))
            return true;
    }
#else
    termios t{};
    if (::tcgetattr(int(fd), &t) == 0) {
        if (both)
            t.c_iflag |= IXON | IXOFF;
        if (pseudoTerminal) {
            t.c_iflag &= ~(ISTRIP | INPCK);
            t.c_cflag &= ~(PARODD | CMSPAR);
            if (line.dataBits < 8)
                t.c_iflag |= ISTRIP;
            if (line.parity != 'n')
                t.c_iflag |= INPCK;
            if (line.parity == 'o' || line.parity == 'm')
                t.c_cflag |= PARODD;
            if (line.parity == 'm' || line.parity == 's')
                t.c_cflag |= CMSPAR;
        } else if (markErrors) {
            t.c_iflag = (t.c_iflag | INPCK) & ~(IGNPAR | PARMRK);
        } else {
            t.c_iflag &= ~INPCK;
        }
        if (::tcsetattr(int(fd), TCSANOW, &t) == 0)
            return true;
    }
#endif
    *error = qt_error_string();
    return false;
}

} // namespace ondril
