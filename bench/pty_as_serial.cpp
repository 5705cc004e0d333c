// Preloaded into a program so that it takes a pseudo-terminal for a serial
// port. Two uses:
//
// The comparison bench preloads it into GTKTerm, which closes a port whose
// modem lines it cannot read and one that udev does not know; a
// pseudo-terminal has no modem lines and udev lists no /dev/pts entry. So a
// pty's modem lines read as all raised (and writes to them succeed), and a
// /dev/pts device is looked up as the pty multiplexer it comes from. Reading,
// writing and drawing stay GTKTerm's.
//
// The tests preload it into Ondril with ONDRIL_LINE_FILE set, to stand in for
// a port's control lines and error counters, which a pty lacks. On a terminal,
// the line and break requests (TIOCMGET/SET/BIS/BIC, TIOCMIWAIT, TIOCGICOUNT,
// TIOCSBRK, TIOCCBRK, TCSBRK 0) are then answered from two files (see
// tools/balance-sim/LineFile.h): the far end's lines and counters are read
// from $ONDRIL_LINE_FILE, written by balance-sim --lines or the test; DTR, RTS
// and the count of breaks sent are kept in $ONDRIL_LINE_FILE.host. Everything
// else goes to the real ioctl. glibc's own tcsendbreak() calls the kernel
// directly and so is not seen here.
#include "LineFile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <linux/serial.h>
#include <mutex>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

template <class F>
F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool isModemLineRequest(unsigned long request)
{
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

bool isLineFileRequest(unsigned long request, void *arg)
{
    return isModemLineRequest(request) || request == TIOCMIWAIT || request == TIOCGICOUNT ||
           request == TIOCSBRK || request == TIOCCBRK || (request == TCSBRK && int(reinterpret_cast<std::uintptr_t>(arg)) == 0);
}

int fail(int error)
{
    errno = error;
    return -1;
}

// Threads of one program may set DTR and send a break at once; each change
// reads, edits and replaces the host file.
std::mutex hostLock;

template <class Edit>
int editHost(const std::string &farPath, Edit edit)
{
    std::lock_guard<std::mutex> hold(hostLock);
    const std::string path = linefile::hostPath(farPath);
    linefile::HostSide host = linefile::readHost(path);
    edit(host);
    return linefile::replaceFile(path, linefile::format(host)) ? 0 : fail(EIO);
}

int modemBits(const linefile::FarSide &far)
{
    return (far.cts ? TIOCM_CTS : 0) | (far.dsr ? TIOCM_DSR : 0) | (far.dcd ? TIOCM_CD : 0) |
           (far.ri ? TIOCM_RNG : 0);
}

// Blocks until the directory watch reports something about `name` (or lost
// events, which may have been about it). False with *result set when the
// wait ends without that.
bool awaitEvent(int watch, const std::string &name, int *result)
{
    for (;;) {
        alignas(inotify_event) char buf[4096];
        const ssize_t got = ::read(watch, buf, sizeof buf);
        if (got < 0) {
            *result = -1; // EINTR from a signal, as the kernel's wait
            return false;
        }
        bool ours = false;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buf + at);
            if (event->mask & IN_IGNORED) {
                *result = fail(EIO); // the directory is gone, as a port unplugged
                return false;
            }
            if ((event->mask & IN_Q_OVERFLOW) || (event->len && name == event->name))
                ours = true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
        if (ours)
            return true;
    }
}

// Until a line in `mask` differs from what it was at the call, as the kernel's
// TIOCMIWAIT. Woken by inotify on the far file's directory rather than by
// polling; a signal whose handler does not restart calls ends it with EINTR.
int waitForLines(const std::string &farPath, int mask)
{
    const linefile::FarSide start = linefile::readFar(farPath);
    if (start.noModem)
        return fail(EINVAL);
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0)
        return -1;
    if (inotify_add_watch(watch, linefile::dirOf(farPath).c_str(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE) < 0) {
        const int error = errno;
        ::close(watch);
        return fail(error);
    }
    const std::string name = linefile::baseOf(farPath);
    const int wanted = mask & (TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG);
    int result = 0;
    // Read again once the watch is in place: a change made before it would be missed.
    for (;;) {
        const linefile::FarSide now = linefile::readFar(farPath);
        if (now.noModem) {
            result = fail(EINVAL);
            break;
        }
        if ((modemBits(now) ^ modemBits(start)) & wanted)
            break;
        if (!awaitEvent(watch, name, &result))
            break;
    }
    const int error = errno;
    ::close(watch);
    errno = error;
    return result;
}

int answerFromFiles(const std::string &farPath, unsigned long request, void *arg)
{
    switch (request) {
    case TIOCMGET: {
        const linefile::FarSide far = linefile::readFar(farPath);
        if (far.noModem)
            return fail(EINVAL);
        if (!arg)
            return fail(EFAULT);
        const linefile::HostSide host = linefile::readHost(linefile::hostPath(farPath));
        *static_cast<int *>(arg) = modemBits(far) | (host.dtr ? TIOCM_DTR : 0) | (host.rts ? TIOCM_RTS : 0);
        return 0;
    }
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC: {
        if (linefile::readFar(farPath).noModem)
            return fail(EINVAL);
        if (!arg)
            return fail(EFAULT);
        const int bits = *static_cast<const int *>(arg);
        return editHost(farPath, [request, bits](linefile::HostSide &host) {
            const bool dtr = bits & TIOCM_DTR;
            const bool rts = bits & TIOCM_RTS;
            if (request == TIOCMSET) {
                host.dtr = dtr;
                host.rts = rts;
            } else if (request == TIOCMBIS) {
                host.dtr = host.dtr || dtr;
                host.rts = host.rts || rts;
            } else {
                host.dtr = host.dtr && !dtr;
                host.rts = host.rts && !rts;
            }
        });
    }
    case TIOCMIWAIT:
        return waitForLines(farPath, int(reinterpret_cast<std::uintptr_t>(arg)));
    case TIOCGICOUNT: {
        const linefile::FarSide far = linefile::readFar(farPath);
        if (far.noCount)
            return fail(EINVAL);
        if (!arg)
            return fail(EFAULT);
        // Changes of each line are not counted: 0, as a driver that does not.
        serial_icounter_struct counts{};
        counts.frame = int(far.frame);
        counts.parity = int(far.parity);
        counts.overrun = int(far.overrun);
        counts.buf_overrun = int(far.bufOverrun);
        counts.brk = int(far.brk);
        counts.rx = int(far.rx);
        counts.tx = int(far.tx);
        std::memcpy(arg, &counts, sizeof counts);
        return 0;
    }
    case TIOCSBRK:
    case TCSBRK: // with 0, tcsendbreak's request
        return editHost(farPath, [](linefile::HostSide &host) { ++host.breaks; });
    case TIOCCBRK:
        return 0;
    }
    return fail(EINVAL);
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    static const auto next = real<int (*)(int, unsigned long, ...)>("ioctl");
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    const char *lineFile = std::getenv("ONDRIL_LINE_FILE");
    if (lineFile && *lineFile && isLineFileRequest(request, arg) && isatty(fd)) {
        // A request that succeeds leaves errno as it was (opening an absent file sets it).
        const int before = errno;
        const int result = answerFromFiles(lineFile, request, arg);
        if (result == 0)
            errno = before;
        return result;
    }
    const int result = next(fd, request, arg);
    if (result == 0 || errno != ENOTTY || !isModemLineRequest(request) || !isatty(fd))
        return result;
    if (request == TIOCMGET)
        *static_cast<int *>(arg) = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    return 0;
}

extern "C" void *g_udev_client_query_by_device_file(void *client, const char *file)
{
    static const auto next = real<void *(*)(void *, const char *)>("g_udev_client_query_by_device_file");
    void *device = next(client, file);
    if (!device && file && std::strncmp(file, "/dev/pts/", 9) == 0)
        device = next(client, "/dev/ptmx");
    return device;
}
