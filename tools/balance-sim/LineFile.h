#pragma once

// The two files through which a pseudo-terminal gets a serial port's control
// lines and error counters. The far side's (FILE) is written by balance-sim or
// a test; the host side's (FILE.host) only by the preloaded pty-as-serial, when
// the program sets DTR or RTS or sends a break. Both hold key=value pairs
// separated by white space. A writer replaces a file whole by a rename, so a
// reader sees the old one or the new one, never half of one.
// Header only, as the preloaded library shares it without linking anything.

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace linefile {

struct FarSide {
    bool cts = false;
    bool dsr = false;
    bool dcd = false;
    bool ri = false;
    long frame = 0;
    long parity = 0;
    long overrun = 0;
    long bufOverrun = 0;
    long brk = 0;
    long rx = 0;
    long tx = 0;
    bool noModem = false; // modem=none: an adapter without control lines
    bool noCount = false; // icount=none: an adapter that does not count errors
};

struct HostSide {
    bool dtr = true; // Linux raises DTR and RTS when it opens a port
    bool rts = true;
    long breaks = 0;
};

inline std::string hostPath(const std::string &farPath) { return farPath + ".host"; }

inline std::string dirOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

inline std::string baseOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The whole file; "" when it is absent or unreadable, which reads as defaults.
inline std::string readText(const std::string &path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buf[512];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got <= 0)
            break;
        text.append(buf, size_t(got));
    }
    ::close(fd);
    return text;
}

template <class Fn>
void forEachPair(const std::string &text, Fn fn)
{
    const char *space = " \t\r\n\f\v";
    size_t at = text.find_first_not_of(space);
    while (at != std::string::npos) {
        const size_t end = std::min(text.find_first_of(space, at), text.size());
        const std::string word = text.substr(at, end - at);
        const size_t eq = word.find('=');
        if (eq != std::string::npos && eq > 0)
            fn(word.substr(0, eq), word.substr(eq + 1));
        at = text.find_first_not_of(space, end);
    }
}

inline long number(const std::string &value, long fallback)
{
    if (value.empty())
        return fallback;
    char *end = nullptr;
    const long v = std::strtol(value.c_str(), &end, 10);
    return *end ? fallback : v;
}

inline FarSide parseFar(const std::string &text)
{
    FarSide f;
    forEachPair(text, [&f](const std::string &k, const std::string &v) {
        if (k == "cts") f.cts = number(v, 0) != 0;
        else if (k == "dsr") f.dsr = number(v, 0) != 0;
        else if (k == "dcd") f.dcd = number(v, 0) != 0;
        else if (k == "ri") f.ri = number(v, 0) != 0;
        else if (k == "frame") f.frame = number(v, 0);
        else if (k == "parity") f.parity = number(v, 0);
        else if (k == "overrun") f.overrun = number(v, 0);
        else if (k == "buf_overrun") f.bufOverrun = number(v, 0);
        else if (k == "brk") f.brk = number(v, 0);
        else if (k == "rx") f.rx = number(v, 0);
        else if (k == "tx") f.tx = number(v, 0);
        else if (k == "modem") f.noModem = v == "none";
        else if (k == "icount") f.noCount = v == "none";
    });
    return f;
}

inline HostSide parseHost(const std::string &text)
{
    HostSide h;
    forEachPair(text, [&h](const std::string &k, const std::string &v) {
        if (k == "dtr") h.dtr = number(v, 1) != 0;
        else if (k == "rts") h.rts = number(v, 1) != 0;
        else if (k == "breaks") h.breaks = number(v, 0);
    });
    return h;
}

inline std::string format(const FarSide &f)
{
    std::string s = "cts=" + std::to_string(f.cts) + " dsr=" + std::to_string(f.dsr) +
                    " dcd=" + std::to_string(f.dcd) + " ri=" + std::to_string(f.ri) +
                    " frame=" + std::to_string(f.frame) + " parity=" + std::to_string(f.parity) +
                    " overrun=" + std::to_string(f.overrun) + " buf_overrun=" + std::to_string(f.bufOverrun) +
                    " brk=" + std::to_string(f.brk) + " rx=" + std::to_string(f.rx) + " tx=" + std::to_string(f.tx);
    if (f.noModem)
        s += " modem=none";
    if (f.noCount)
        s += " icount=none";
    return s + "\n";
}

inline std::string format(const HostSide &h)
{
    return "dtr=" + std::to_string(h.dtr) + " rts=" + std::to_string(h.rts) + " breaks=" +
           std::to_string(h.breaks) + "\n";
}

inline FarSide readFar(const std::string &path) { return parseFar(readText(path)); }
inline HostSide readHost(const std::string &path) { return parseHost(readText(path)); }

// A temporary file beside `path`, then a rename over it: a reader never sees
// half a file, and a watcher sees one IN_MOVED_TO for the name.
inline bool replaceFile(const std::string &path, const std::string &text)
{
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0644);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put <= 0)
            break;
        done += size_t(put);
    }
    const bool ok = ::close(fd) == 0 && done == text.size() && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace linefile
