// balance-sim: a simulated laboratory balance on a pseudo-terminal.
// Prints the terminal's device path as its first line, then answers the
// balance's remote commands (or, with --loopback, echoes as a loopback plug)
// until SIGINT or SIGTERM. With --lines it also plays the far end's control
// lines and error counters, for a program preloaded with pty-as-serial.

#include "Balance.h"
#include "Framing.h"
#include "LineFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int baud = 600;
    Framing framing;
    int delayMs = 0;
    int chunk = 0;
    int chunkGapMs = 20;
    int streamMs = 0;
    int streamLines = 1;
    double mass = 152.37;
    Balance::Format format = Balance::Format::SignValueUnit;
    bool formatGiven = false;
    Balance::Commands commands = Balance::Commands::Escape;
    int unstableEvery = 0;
    int dropEvery = 0;
    unsigned seed = 1;
    std::string link;
    bool verbose = false;
    bool paced = false;
    bool strict = false;
    bool numbered = false;
    bool loopback = false;
    std::string lines;
};

// Set by the handler, read in the loop while the signals are blocked.
volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_lineToggles = 0;
volatile std::sig_atomic_t g_breaksAsked = 0;

void onSignal(int sig)
{
    if (sig == SIGUSR1)
        g_lineToggles = g_lineToggles + 1;
    else if (sig == SIGUSR2)
        g_breaksAsked = g_breaksAsked + 1;
    else
        g_stop = 1;
}

void usage(FILE *to)
{
    std::fputs(
        "usage: balance-sim [options]\n"
        "  --baud N        the balance's own speed (600 1200 2400 4800 9600; default 600);\n"
        "                  at any other port speed its replies arrive garbled\n"
        "  --framing F     its data bits, parity and stop bits (7O1, 7E1, 8N1 ...; default\n"
        "                  8N1); a port framed otherwise reads its replies bit by bit as a\n"
        "                  UART would. It hears commands whatever the port's settings,\n"
        "                  unless --strict\n"
        "  --strict        ignore commands sent at another speed or framing, as a balance\n"
        "                  that drops characters with framing or parity errors\n"
        "  --paced         a reply takes the time its characters take on the line\n"
        "  --delay MS      wait MS milliseconds before each reply (default 0)\n"
        "  --chunk N       send each reply in pieces of N bytes\n"
        "  --chunk-gap MS  pause between pieces (default 20)\n"
        "  --stream MS     also send a weighing line every MS milliseconds unasked\n"
        "  --stream-lines N  that many lines in one write (default 1), as a USB\n"
        "                  adapter hands over lines sent back to back\n"
        "  --numbered      the streamed lines weigh 1 g, 2 g, 3 g ...: a gap is a lost line\n"
        "  --mass G        the mass on the pan in grams (default 152.37)\n"
        "  --seed N        seed of the reading noise (default 1)\n"
        "  --format F      the shape of its lines: sign (\"     +  152.37 g\", the default),\n"
        "                  command (\"S S     152.37 g\") or header (\"ST,+00152.37  g\")\n"
        "  --commands C    how it is asked: esc (ESC and a letter, the default),\n"
        "                  word-crlf (S, SI, T, Z ended by CR LF; its lines then are\n"
        "                  \"command\" unless --format says otherwise) or letter-crlf\n"
        "                  (Q, S, SI, T, Z ended by CR LF; lines \"header\"); it\n"
        "                  ignores the other families\n"
        "  --unstable N    every N-th reading is still moving\n"
        "  --drop N        every N-th PRINT gets no reply\n"
        "  --link PATH     make PATH a symbolic link to the terminal (removed at exit)\n"
        "  --verbose       log commands and replies on standard error\n"
        "  --lines FILE    play the far end's control lines and error counters for a\n"
        "                  program preloaded with pty-as-serial and ONDRIL_LINE_FILE=FILE:\n"
        "                  writes FILE (cts dsr dcd ri, frame parity overrun buf_overrun\n"
        "                  brk rx tx as key=value) with CTS, DSR and DCD raised, adds a\n"
        "                  framing error for every two bytes it garbles, and watches\n"
        "                  FILE.host (dtr rts breaks) that the program's side writes\n"
        "  --loopback      answer as a loopback plug instead: every byte comes straight\n"
        "                  back, whatever the port's settings; with --lines CTS follows\n"
        "                  RTS, DSR and DCD follow DTR, and a break sent comes back;\n"
        "                  with --paced, bytes come back in the time they take on the line\n"
        "Commands (esc): ESC p print, ESC t tare, ESC s next unit, ESC r piece count,\n"
        "ESC q calibrate. The first line of output is the terminal's device path.\n"
        "Signals: SIGUSR1 drops CTS, DSR and DCD, the next one raises them again;\n"
        "SIGUSR2 sends a break (brk counts one). Both need --lines. SIGINT or SIGTERM\n"
        "ends it.\n",
        to);
}

bool parseInt(const char *text, int min, int max, int *out)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < min || v > max)
        return false;
    *out = int(v);
    return true;
}

bool parseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            std::exit(0);
        }
        if (a == "--verbose" || a == "--paced" || a == "--strict" || a == "--numbered" || a == "--loopback") {
            (a == "--verbose"  ? o->verbose
             : a == "--paced"  ? o->paced
             : a == "--strict" ? o->strict
             : a == "--loopback" ? o->loopback
                                 : o->numbered) = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "balance-sim: %s needs a value\n", a.c_str());
            return false;
        }
        const char *v = argv[++i];
        int seed = 0;
        bool ok = true;
        if (a == "--baud")
            ok = parseInt(v, 1, 4000000, &o->baud);
        else if (a == "--framing")
            ok = parseFraming(v, &o->framing);
        else if (a == "--delay")
            ok = parseInt(v, 0, 3600000, &o->delayMs);
        else if (a == "--chunk")
            ok = parseInt(v, 1, 1 << 20, &o->chunk);
        else if (a == "--chunk-gap")
            ok = parseInt(v, 0, 3600000, &o->chunkGapMs);
        else if (a == "--stream")
            ok = parseInt(v, 1, 3600000, &o->streamMs);
        else if (a == "--stream-lines")
            ok = parseInt(v, 1, 1000, &o->streamLines);
        else if (a == "--seed") {
            ok = parseInt(v, 0, 1 << 30, &seed);
            o->seed = unsigned(seed);
        } else if (a == "--mass") {
            char *end = nullptr;
            o->mass = std::strtod(v, &end);
            ok = end != v && !*end;
        } else if (a == "--format") {
            const std::string f = v;
            ok = f == "sign" || f == "command" || f == "header";
            o->formatGiven = true;
            o->format = f == "command" ? Balance::Format::CommandStatus
                        : f == "header" ? Balance::Format::HeaderComma
                                        : Balance::Format::SignValueUnit;
        } else if (a == "--commands") {
            const std::string c = v;
            ok = c == "esc" || c == "word-crlf" || c == "letter-crlf";
            o->commands = c == "word-crlf"     ? Balance::Commands::WordCrLf
                          : c == "letter-crlf" ? Balance::Commands::LetterCrLf
                                               : Balance::Commands::Escape;
        } else if (a == "--unstable")
            ok = parseInt(v, 1, 1 << 30, &o->unstableEvery);
        else if (a == "--drop")
            ok = parseInt(v, 1, 1 << 30, &o->dropEvery);
        else if (a == "--link")
            o->link = v;
        else if (a == "--lines") {
            o->lines = v;
            ok = !o->lines.empty();
        }
        else {
            std::fprintf(stderr, "balance-sim: unknown option %s\n", a.c_str());
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "balance-sim: bad value for %s: %s\n", a.c_str(), v);
            return false;
        }
    }
    return true;
}

int speedOf(speed_t s)
{
    static const std::pair<speed_t, int> table[] = {
        {B50, 50},       {B75, 75},       {B110, 110},     {B134, 134},     {B150, 150},
        {B200, 200},     {B300, 300},     {B600, 600},     {B1200, 1200},   {B1800, 1800},
        {B2400, 2400},   {B4800, 4800},   {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
    for (const auto &e : table)
        if (e.first == s)
            return e.second;
    return -1;
}

speed_t constantFor(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    default: return B600;
    }
}

// The port's framing as the program set it. A pseudo-terminal keeps only 8
// data bits without parity, so a program sets 7 data bits there as ISTRIP and
// a parity as INPCK (with PARODD and CMSPAR as on a real port).
Framing framingOf(const termios &t)
{
    Framing f;
    switch (t.c_cflag & CSIZE) {
    case CS5: f.dataBits = 5; break;
    case CS6: f.dataBits = 6; break;
    case CS7: f.dataBits = 7; break;
    default: f.dataBits = (t.c_iflag & ISTRIP) ? 7 : 8; break;
    }
    if ((t.c_cflag & PARENB) || (t.c_iflag & INPCK)) {
        const bool odd = t.c_cflag & PARODD;
        f.parity = (t.c_cflag & CMSPAR) ? (odd ? 'M' : 'S') : (odd ? 'O' : 'E');
    }
    f.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return f;
}

struct Pending {
    Clock::time_point due;
    std::string bytes;
};

class Simulator {
public:
    explicit Simulator(const Options &o) : m_opt(o), m_balance(o.mass, o.seed)
    {
        m_balance.setCommands(o.commands);
        // A family answers in its own shape unless told otherwise.
        m_balance.setFormat(o.formatGiven || o.commands == Balance::Commands::Escape ? o.format
                            : o.commands == Balance::Commands::WordCrLf        ? Balance::Format::CommandStatus
                                                                                : Balance::Format::HeaderComma);
        m_balance.setUnstableEvery(o.unstableEvery);
        m_balance.setDropEvery(o.dropEvery);
    }

    bool open()
    {
        if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
            std::perror("balance-sim: openpty");
            return false;
        }
        // Holding the terminal's own end open keeps the pair alive while the
        // program closes and reopens the port, and lets us read its speed.
        termios t{};
        tcgetattr(m_slave, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, constantFor(m_opt.baud));
        cfsetospeed(&t, constantFor(m_opt.baud));
        tcsetattr(m_slave, TCSANOW, &t);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        m_path = ttyname(m_slave);
        if (!m_opt.link.empty()) {
            ::unlink(m_opt.link.c_str());
            if (::symlink(m_path.c_str(), m_opt.link.c_str()) != 0) {
                std::fprintf(stderr, "balance-sim: cannot link %s: %s\n", m_opt.link.c_str(),
                             std::strerror(errno));
                return false;
            }
        }
        if (!openLines())
            return false;
        std::printf("%s\n", m_path.c_str());
        std::fflush(stdout);
        return true;
    }

    void close()
    {
        if (!m_opt.link.empty())
            ::unlink(m_opt.link.c_str());
        ::close(m_master);
        ::close(m_slave);
        if (m_hostWatch >= 0)
            ::close(m_hostWatch);
    }

    int run(const sigset_t &waitMask)
    {
        auto nextStream = Clock::now() + std::chrono::milliseconds(m_opt.streamMs);
        for (;;) {
            const auto now = Clock::now();
            if (m_opt.streamMs > 0 && now >= nextStream) {
                std::string lines;
                for (int i = 0; i < m_opt.streamLines; ++i)
                    lines += m_opt.numbered ? m_balance.lineOf(double(++m_streamed)) : m_balance.weighingLine();
                send(lines, 0, true);
                nextStream += std::chrono::milliseconds(m_opt.streamMs);
                if (nextStream < now)
                    nextStream = now + std::chrono::milliseconds(m_opt.streamMs);
            }
            flushDue(now);

            Clock::time_point wake = Clock::time_point::max();
            if (m_opt.streamMs > 0)
                wake = nextStream;
            for (const Pending &p : m_queue)
                wake = std::min(wake, p.due);
            timespec ts{};
            timespec *timeout = nullptr;
            if (wake != Clock::time_point::max()) {
                const auto left = std::max(Clock::duration::zero(), wake - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                ts.tv_sec = time_t(ns / 1000000000);
                ts.tv_nsec = long(ns % 1000000000);
                timeout = &ts;
            }
            pollfd pfd[2] = {{m_master, POLLIN, 0}, {m_hostWatch, POLLIN, 0}};
            const int n = ppoll(pfd, m_hostWatch >= 0 ? 2 : 1, timeout, &waitMask);
            if (g_stop)
                return 0; // SIGINT or SIGTERM
            // A signal may come with ready descriptors as well as alone.
            takeSignals();
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                std::perror("balance-sim: poll");
                return 1;
            }
            if (n > 0 && (pfd[0].revents & POLLIN))
                readCommands();
            if (n > 0 && m_hostWatch >= 0 && (pfd[1].revents & POLLIN))
                readHostChanges();
        }
    }

private:
    void readCommands()
    {
        char buf[512];
        const ssize_t got = ::read(m_master, buf, sizeof buf);
        if (got <= 0)
            return;
        const std::string bytes(buf, size_t(got));
        if (m_opt.loopback) {
            loopBack(bytes);
            return;
        }
        if (m_opt.verbose)
            for (size_t i = 0; i + 1 < bytes.size(); ++i)
                if (bytes[i] == '\x1b')
                    std::fprintf(stderr, "balance-sim: command ESC %c\n", bytes[i + 1]);
        if (m_opt.strict) {
            const PortLine port = portLine();
            if (port.baud != m_opt.baud || port.framing != m_opt.framing)
                return;
        }
        for (const Balance::Reply &r : m_balance.receive(bytes))
            send(r.line, r.delayMs);
    }

    // `afterQueued`: not before what is queued already, as a line sends its
    // bytes in turn (a stream write late by a period would otherwise go out
    // between the pieces of the one before).
    void send(std::string line, int delayMs, bool afterQueued = false)
    {
        const PortLine port = portLine();
        if (port.baud != m_opt.baud) {
            line = garble(line, ++m_garbleSeed);
            // A receiver at the wrong speed flags some of what it samples as
            // framing errors; one for every two bytes is near enough for the
            // count to climb as it does on a port.
            if (!m_opt.lines.empty())
                updateFar(long(line.size() + 1) / 2, 0);
        } else
            line = reframe(line, m_opt.framing, port.framing);
        if (m_opt.verbose)
            std::fprintf(stderr, "balance-sim: reply %zu bytes at %d baud %s (port %d %s)\n", line.size(),
                         m_opt.baud, framingName(m_opt.framing).c_str(), port.baud,
                         framingName(port.framing).c_str());
        if (m_opt.paced) {
            const int bits = 1 + m_opt.framing.dataBits + (m_opt.framing.parity != 'N') + m_opt.framing.stopBits;
            delayMs += int(line.size() * size_t(bits) * 1000 / size_t(m_opt.baud));
        }

        auto due = Clock::now() + std::chrono::milliseconds(m_opt.delayMs + delayMs);
        if (afterQueued && !m_queue.empty())
            due = std::max(due, m_queue.back().due);
        const size_t piece = m_opt.chunk > 0 ? size_t(m_opt.chunk) : line.size();
        for (size_t at = 0; at < line.size(); at += piece) {
            m_queue.push_back({due, line.substr(at, piece)});
            due += std::chrono::milliseconds(m_opt.chunkGapMs);
        }
        std::stable_sort(m_queue.begin(), m_queue.end(),
                         [](const Pending &a, const Pending &b) { return a.due < b.due; });
    }

    struct PortLine {
        int baud;
        Framing framing;
    };
    // The terminal's settings are the port's, as the program set them.
    PortLine portLine() const
    {
        termios t{};
        if (tcgetattr(m_master, &t) != 0)
            return {m_opt.baud, m_opt.framing};
        return {speedOf(cfgetispeed(&t)), framingOf(t)};
    }

    void flushDue(Clock::time_point now)
    {
        while (!m_queue.empty() && m_queue.front().due <= now) {
            const std::string &bytes = m_queue.front().bytes;
            // Nobody reading and the terminal's buffer full: drop, as a line would.
            if (::write(m_master, bytes.data(), bytes.size()) < 0 && m_opt.verbose)
                std::fprintf(stderr, "balance-sim: dropped %zu bytes: %s\n", bytes.size(),
                             std::strerror(errno));
            m_queue.erase(m_queue.begin());
        }
    }

    // A plug hands every byte straight back; what the terminal cannot take is
    // lost, as on a line.
    void loopBack(const std::string &bytes)
    {
        if (m_opt.paced) {
            // Back once its characters have crossed the line at the port's
            // speed and framing, after what is still on its way.
            const PortLine port = portLine();
            const int bits = 1 + port.framing.dataBits + (port.framing.parity != 'N') + port.framing.stopBits;
            const auto lineTime = std::chrono::microseconds(bytes.size() * size_t(bits) * 1000000 / size_t(port.baud));
            auto due = Clock::now();
            if (!m_queue.empty())
                due = std::max(due, m_queue.back().due);
            m_queue.push_back({due + std::chrono::duration_cast<Clock::duration>(lineTime), bytes});
            return;
        }
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (put <= 0)
                break;
            done += size_t(put);
        }
        if (m_opt.verbose)
            std::fprintf(stderr, "balance-sim: looped back %zu of %zu bytes\n", done, bytes.size());
    }

    bool openLines()
    {
        if (m_opt.lines.empty())
            return true;
        // The directory, not the file: each write of FILE.host is a rename.
        m_hostWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        const std::string dir = linefile::dirOf(m_opt.lines);
        if (m_hostWatch < 0 || inotify_add_watch(m_hostWatch, dir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
            std::fprintf(stderr, "balance-sim: cannot watch %s: %s\n", dir.c_str(), std::strerror(errno));
            return false;
        }
        m_host = linefile::readHost(linefile::hostPath(m_opt.lines));
        linefile::FarSide far;
        setLines(&far);
        if (!linefile::replaceFile(m_opt.lines, linefile::format(far))) {
            std::fprintf(stderr, "balance-sim: cannot write %s: %s\n", m_opt.lines.c_str(), std::strerror(errno));
            return false;
        }
        return true;
    }

    void setLines(linefile::FarSide *far) const
    {
        if (m_opt.loopback) {
            far->cts = m_linesUp && m_host.rts;
            far->dsr = far->dcd = m_linesUp && m_host.dtr;
        } else {
            far->cts = far->dsr = far->dcd = m_linesUp;
        }
        far->ri = false;
    }

    // The lines are ours; the counters and switches are the file's, so what a
    // test wrote there stays, and grow by what we add.
    void updateFar(long framingErrors, long breaks)
    {
        linefile::FarSide far = linefile::readFar(m_opt.lines);
        setLines(&far);
        far.frame += framingErrors;
        far.brk += breaks;
        if (!linefile::replaceFile(m_opt.lines, linefile::format(far)))
            std::fprintf(stderr, "balance-sim: cannot write %s: %s\n", m_opt.lines.c_str(), std::strerror(errno));
    }

    void readHostChanges()
    {
        const std::string name = linefile::baseOf(linefile::hostPath(m_opt.lines));
        bool ours = false;
        alignas(inotify_event) char buf[4096];
        ssize_t got;
        while ((got = ::read(m_hostWatch, buf, sizeof buf)) > 0) {
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buf + at);
                if ((event->mask & IN_Q_OVERFLOW) || (event->len && name == event->name))
                    ours = true;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        if (!ours)
            return;
        const linefile::HostSide host = linefile::readHost(linefile::hostPath(m_opt.lines));
        if (host.dtr == m_host.dtr && host.rts == m_host.rts && host.breaks == m_host.breaks)
            return;
        // Each break the program sent counts one; a count that went back
        // (the file removed) is a new start, not breaks.
        const long breaks = std::max(0L, host.breaks - m_host.breaks);
        m_host = host;
        if (m_opt.verbose)
            std::fprintf(stderr, "balance-sim: program's side DTR %d RTS %d, %ld breaks sent\n", int(host.dtr),
                         int(host.rts), host.breaks);
        if (m_opt.loopback)
            updateFar(0, breaks);
    }

    void takeSignals()
    {
        const int toggles = g_lineToggles;
        const int breaks = g_breaksAsked;
        g_lineToggles = 0;
        g_breaksAsked = 0;
        if (!toggles && !breaks)
            return;
        if (m_opt.lines.empty()) {
            if (m_opt.verbose)
                std::fprintf(stderr, "balance-sim: %s%s%s ignored: the pseudo-terminal has no lines without --lines\n",
                             toggles ? "SIGUSR1" : "", toggles && breaks ? " and " : "", breaks ? "SIGUSR2" : "");
            return;
        }
        if (toggles % 2)
            m_linesUp = !m_linesUp;
        updateFar(0, breaks);
        if (m_opt.verbose) {
            if (toggles)
                std::fprintf(stderr, "balance-sim: lines %s\n", m_linesUp ? "raised" : "dropped");
            if (breaks)
                std::fprintf(stderr, "balance-sim: %d break(s) sent\n", breaks);
        }
    }

    Options m_opt;
    Balance m_balance;
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
    std::vector<Pending> m_queue;
    std::uint32_t m_garbleSeed = 0;
    long m_streamed = 0;
    int m_hostWatch = -1;
    linefile::HostSide m_host;
    bool m_linesUp = true;
};

} // namespace

int main(int argc, char **argv)
{
    Options opt;
    if (!parseOptions(argc, argv, &opt)) {
        usage(stderr);
        return 2;
    }
    if (opt.loopback)
        opt.streamMs = 0; // a plug says nothing of its own

    // The signals are blocked except while waiting in ppoll, so one that comes
    // in between is not lost.
    sigset_t block, waitMask;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGUSR1);
    sigaddset(&block, SIGUSR2);
    sigprocmask(SIG_BLOCK, &block, &waitMask);
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    for (const int sig : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Simulator sim(opt);
    if (!sim.open())
        return 1;
    const int status = sim.run(waitMask);
    sim.close();
    return status;
}
