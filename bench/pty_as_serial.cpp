// Preloaded into GTKTerm by the comparison bench, so that it accepts a
// pseudo-terminal as a serial port. GTKTerm closes a port whose modem lines it
// cannot read and one that udev does not know; a pseudo-terminal has no modem
// lines and udev lists no /dev/pts entry. So a pty's modem lines read as all
// raised (and writes to them succeed), and a /dev/pts device is looked up as
// the pty multiplexer it comes from. Reading, writing and drawing stay GTKTerm's.
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <sys/ioctl.h>
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

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    static const auto next = real<int (*)(int, unsigned long, ...)>("ioctl");
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
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
