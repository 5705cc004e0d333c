// Ondril side by side with general serial terminals: the same balance stream,
// a 20-byte line every 23 ms (a balance at 9600 baud flat out), goes at once
// into Ondril, GTKTerm, CuteCom and picocom, each on its own pseudo-terminal,
// and into an earlier build of Ondril when --before names one. Prints each
// program's processor time and peak memory over each run, their ratios to
// Ondril, and how much of the stream each left unread; after several runs,
// the medians of Ondril's processor time against each of the others; then
// times Ondril's start-up from process start to its window being mapped.
//
// GTKTerm 1.2 closes a port whose modem lines it cannot read, which no
// pseudo-terminal has; --pty-shim preloads pty-as-serial into it, which lets
// it keep the port. Without it, its row shows the stream unread.
//
//   ondril-compare --ondril PATH [--before PATH] [--pty-shim PATH] [--seconds 60]
//                  [--runs 1] [--startups 10]
//
// Needs an X display (DISPLAY), a throw-away HOME (CuteCom's settings are
// written there), and gtkterm, cutecom, picocom and xdotool on PATH;
// bench/compare.sh provides all of it.
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
    int master = -1;
    int slave = -1; // held, never read: tells how much the program left unread
    std::string path;
};

// A raw pseudo-terminal whose slave side the program under test opens by path.
Pty makePty()
{
    Pty p;
    int slave = -1;
    if (openpty(&p.master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        std::exit(1);
    }
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    p.path = ttyname(slave);
    p.slave = slave;
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return p;
}

struct Program {
    std::string name;
    std::vector<std::string> argv;
    std::vector<std::string> env;
    bool needsTerminal = false; // picocom talks to a terminal of its own
    std::string openCommand;    // run once the program is up, to open its port
    Pty line;
    pid_t pid = -1;
    int terminal = -1; // our side of its own terminal, drained
    long linesSent = 0;
    long linesDropped = 0;
    int unread = 0;
    double cpuAtStart = 0;
    double cpu = 0;
    double peakMb = 0;
};

pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env, int *terminal)
{
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = terminal ? forkpty(terminal, nullptr, nullptr, nullptr) : fork();
    if (pid == 0) {
        for (const auto &e : env)
            putenv(const_cast<char *>(e.c_str()));
        if (!terminal) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    if (terminal && *terminal >= 0)
        fcntl(*terminal, F_SETFL, fcntl(*terminal, F_GETFL) | O_NONBLOCK);
    return pid;
}

double cpuSeconds(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(f)), {});
    const size_t close = all.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double peakMb(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

bool alive(pid_t pid)
{
    return waitpid(pid, nullptr, WNOHANG) == 0;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(100000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

void drain(int fd)
{
    char buf[4096];
    while (fd >= 0 && read(fd, buf, sizeof buf) > 0) {
    }
}

// CuteCom takes its port from a saved session only, and opens it on a click.
void prepareCuteCom(Program &p)
{
    const std::string dir = std::string(std::getenv("HOME")) + "/.config/CuteCom";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/CuteCom5.conf") << "[sessions]\n1\\BaudRate=9600\n1\\DataBits=8\n"
                                              "1\\Device=" << p.line.path << "\n1\\FlowControl=0\n"
                                              "1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n"
                                              "1\\name=Default\nsize=1\n";
    p.argv = {"cutecom"};
    // Windows pile up at the top left with no window manager: raise it first.
    p.openCommand = "xdotool search --sync --onlyvisible --class cutecom sleep 1 windowraise %1 "
                    "mousemove --window %1 50 43 click 1 >/dev/null 2>&1";
}

// GTKTerm stops at a modal notice, before it opens its port, when it has to
// create its settings file; so the file is there already, as GTKTerm writes it.
void prepareGtkTerm(Program &p, const std::string &ptyShim)
{
    const std::string dir = std::string(std::getenv("HOME")) + "/.config";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/.gtktermrc")
        << "[default]\nport\t= " << p.line.path
        << "\nspeed\t= 9600\nbits\t= 8\nstopbits\t= 1\nparity\t= none\nflow\t= none\n"
           "wait_delay\t= 0\nwait_char\t= -1\nrs485_rts_time_before_tx\t= 30\n"
           "rs485_rts_time_after_tx\t= 30\necho\t= False\ncrlfauto\t= False\ntimestamp\t= False\n"
           "font\t= \"Monospace 12\"\nterm_block_cursor\t= True\nterm_rows\t= 80\n"
           "term_columns\t= 25\nterm_scrollback\t= 10000\nterm_visual_bell\t= True\n";
    p.argv = {"gtkterm", "--port", p.line.path, "--speed", "9600"};
    if (!ptyShim.empty())
        p.env = {"LD_PRELOAD=" + ptyShim};
}

// Processor seconds of each program in one run, by name.
using RunCpu = std::vector<std::pair<std::string, double>>;

RunCpu sideBySide(const std::string &ondril, const std::string &before, const std::string &ptyShim, int seconds,
                  bool readingsOpen)
{
    std::vector<Program> programs(before.empty() ? 4 : 5);
    for (auto &p : programs)
        p.line = makePty();
    programs[0].name = "Ondril";
    programs[0].argv = {ondril};
    programs[0].env = {"ONDRIL_PORTS=" + programs[0].line.path};
    if (readingsOpen) // from its menu, to the right of the main window, the trend in view
        programs[0].openCommand =
            "xdotool search --sync --onlyvisible --name '^Brivon Electronic Balance Communications Test$' "
            "sleep 1 mousemove --window %1 75 10 click 1 sleep 0.5 key Down Return >/dev/null 2>&1 && "
            "xdotool search --sync --onlyvisible --name '^Ondril: Readings$' windowmove %1 560 0 >/dev/null 2>&1";
    programs[1].name = "GTKTerm";
    prepareGtkTerm(programs[1], ptyShim);
    programs[2].name = "CuteCom";
    prepareCuteCom(programs[2]);
    programs[3].name = "picocom";
    programs[3].argv = {"picocom", "--quiet", "--nolock", "--baud", "9600", programs[3].line.path};
    programs[3].needsTerminal = true;
    if (!before.empty()) {
        programs[4].name = "Ondril before";
        programs[4].argv = {before};
        programs[4].env = {"ONDRIL_PORTS=" + programs[4].line.path};
    }

    // The one that must be clicked starts first, before other windows cover it.
    std::stable_partition(programs.begin(), programs.end(),
                          [](const Program &p) { return !p.openCommand.empty(); });
    for (auto &p : programs) {
        p.pid = spawn(p.argv, p.env, p.needsTerminal ? &p.terminal : nullptr);
        if (!p.openCommand.empty() && system(p.openCommand.c_str()) != 0)
            std::fprintf(stderr, "could not open the port of %s\n", p.name.c_str());
    }
    std::stable_partition(programs.begin(), programs.end(),
                          [](const Program &p) { return p.name == "Ondril"; });

    // Let every program settle before the clock starts.
    const auto settle = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < settle) {
        for (auto &p : programs)
            drain(p.terminal);
        usleep(50000);
    }
    for (auto &p : programs) {
        if (!alive(p.pid)) {
            std::fprintf(stderr, "%s did not start (%s)\n", p.name.c_str(), p.argv[0].c_str());
            std::exit(1);
        }
        p.cpuAtStart = cpuSeconds(p.pid);
    }

    static const char line[] = "     +  152.37 g  \r\n"; // 20 bytes
    static_assert(sizeof line - 1 == 20, "a 20-byte line");
    const auto period = std::chrono::milliseconds(23);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    auto next = start;
    std::vector<pollfd> fds;
    for (auto &p : programs)
        if (p.terminal >= 0)
            fds.push_back({p.terminal, POLLIN, 0});
    // Each period starts with another program: the first one written to
    // wakes while the others are still being fed, and would cost more.
    for (size_t tick = 0; next < end; ++tick) {
        for (size_t i = 0; i < programs.size(); ++i) {
            Program &p = programs[(tick + i) % programs.size()];
            ++p.linesSent;
            if (write(p.line.master, line, sizeof line - 1) != ssize_t(sizeof line - 1))
                ++p.linesDropped;
        }
        next += period;
        // Sleep in poll until the next line is due, draining picocom's screen.
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
            if (left.count() <= 0)
                break;
            if (poll(fds.data(), fds.size(), int(left.count())) > 0)
                for (auto &f : fds)
                    drain(f.fd);
        }
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    usleep(500000); // the last lines are shown
    for (auto &p : programs)
        drain(p.terminal);
    for (auto &p : programs) {
        ioctl(p.line.slave, FIONREAD, &p.unread);
        p.cpu = cpuSeconds(p.pid) - p.cpuAtStart;
        p.peakMb = peakMb(p.pid);
        stop(p.pid);
    }

    const Program &base = programs[0];
    std::printf("\n%ld lines of 20 bytes every 23 ms for %.1f s, into each program at once\n\n",
                base.linesSent, wall);
    std::printf("| program | CPU seconds | %% of one core | peak memory (MB) | CPU vs Ondril | memory vs Ondril | stream read |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const auto &p : programs) {
        const bool readAll = p.unread == 0 && p.linesDropped == 0;
        std::printf("| %s | %.2f | %.2f | %.1f | %.2f | %.2f | %s |\n", p.name.c_str(), p.cpu,
                    100.0 * p.cpu / wall, p.peakMb, p.cpu / base.cpu, p.peakMb / base.peakMb,
                    readAll ? "all" : ("no: " + std::to_string(p.linesDropped) + " lines refused, "
                                       + std::to_string(p.unread) + " bytes unread").c_str());
    }
    RunCpu cpu;
    for (const auto &p : programs)
        cpu.emplace_back(p.name, p.cpu);
    return cpu;
}

// Ondril's processor time against each other program's, as the median over the runs.
void summarise(const std::vector<RunCpu> &runs)
{
    std::printf("\nOndril's processor time against each, median of %zu run%s:", runs.size(),
                runs.size() == 1 ? "" : "s");
    for (size_t i = 1; i < runs.front().size(); ++i) {
        std::vector<double> ratios;
        for (const RunCpu &run : runs)
            if (run[i].second > 0) // a run where it never opened its port says nothing
                ratios.push_back(run[0].second / run[i].second);
        std::sort(ratios.begin(), ratios.end());
        if (ratios.empty())
            std::printf("%s %s -", i == 1 ? "" : ",", runs.front()[i].first.c_str());
        else
            std::printf("%s %s %.2f (%zu run%s)", i == 1 ? "" : ",", runs.front()[i].first.c_str(),
                        ratios[ratios.size() / 2], ratios.size(), ratios.size() == 1 ? "" : "s");
    }
    std::printf("\n");
}

// Process start to the window mapped on the X server, `runs` times.
void startup(const std::string &name, const std::string &ondril, int runs)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        std::exit(1);
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        Pty port = makePty();
        const auto t0 = Clock::now();
        const pid_t pid = spawn({ondril}, {"ONDRIL_PORTS=" + port.path}, nullptr);
        bool mapped = false;
        while (!mapped) {
            pollfd pfd{ConnectionNumber(display), POLLIN, 0};
            if (!XPending(display) && poll(&pfd, 1, 10000) <= 0)
                break;
            while (XPending(display)) {
                XEvent e;
                XNextEvent(display, &e);
                mapped = mapped || e.type == MapNotify;
            }
        }
        if (mapped)
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        stop(pid);
        close(port.master);
        close(port.slave);
        XSync(display, True);
    }
    XCloseDisplay(display);
    if (ms.empty()) {
        std::printf("%s start-up: the window never appeared\n", name.c_str());
        return;
    }
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    std::printf("\n%s start-up, process start to window mapped, %zu runs: median %.0f ms, "
                "best %.0f ms, worst %.0f ms (first run %.0f ms)\n",
                name.c_str(), ms.size(), ms[ms.size() / 2], ms.front(), ms.back(), first);
}

} // namespace

int main(int argc, char **argv)
{
    std::string ondril;
    std::string before;
    std::string ptyShim;
    int seconds = 60;
    int runs = 1;
    int startups = 10;
    bool readingsOpen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--ondril" && i + 1 < argc)
            ondril = argv[++i];
        else if (a == "--before" && i + 1 < argc)
            before = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (a == "--pty-shim" && i + 1 < argc)
            ptyShim = argv[++i];
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (a == "--startups" && i + 1 < argc)
            startups = std::atoi(argv[++i]);
        else if (a == "--readings-open")
            readingsOpen = true;
        else {
            std::fprintf(stderr, "usage: ondril-compare --ondril PATH [--before PATH] [--pty-shim PATH] "
                                 "[--seconds 60] [--runs 1] [--startups 10] [--readings-open]\n");
            return 2;
        }
    }
    if (ondril.empty() || seconds < 1 || runs < 1 || startups < 0 || !std::getenv("DISPLAY")) {
        std::fprintf(stderr, "ondril-compare needs --ondril PATH and an X display\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    std::vector<RunCpu> all;
    for (int r = 0; r < runs; ++r)
        all.push_back(sideBySide(ondril, before, ptyShim, seconds, readingsOpen));
    summarise(all);
    if (startups > 0) {
        startup("Ondril", ondril, startups);
        if (!before.empty())
            startup("Ondril before", before, startups);
    }
    return 0;
}
