#pragma once

#include "serial/PortTrouble.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <unistd.h>

// What a program leaves on the machine: open descriptors, serial lock files,
// lines on standard error.

inline int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

// Whether this process holds the lock of `device`. A lock file alone proves
// nothing once a pseudo-terminal has closed: another program may have its
// number already.
inline bool lockedByUs(const QString &device)
{
    QFile lock(ondril::lockFileOf(device));
    return lock.open(QIODevice::ReadOnly)
        && lock.readLine().trimmed() == QByteArray::number(QCoreApplication::applicationPid());
}

// Everything written to standard error while it lives.
class CapturedStderr {
public:
    CapturedStderr()
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        m_file = std::tmpfile();
        ::dup2(::fileno(m_file), 2);
    }
    ~CapturedStderr()
    {
        restore();
        std::fclose(m_file);
    }
    CapturedStderr(const CapturedStderr &) = delete;
    CapturedStderr &operator=(const CapturedStderr &) = delete;

    QString text()
    {
        restore();
        std::rewind(m_file);
        QByteArray all;
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, m_file)) > 0;)
            all.append(buf, qsizetype(n));
        return QString::fromLocal8Bit(all);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }
    int m_saved = -1;
    std::FILE *m_file = nullptr;
};
