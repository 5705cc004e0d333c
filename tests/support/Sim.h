#pragma once

#include <QProcess>
#include <QStringList>

// The balance simulator as a separate process, reached through its
// pseudo-terminal, whose path it prints first.
class Sim {
public:
    explicit Sim(const QStringList &args)
    {
        m_proc.start(qEnvironmentVariable("BALANCE_SIM"), args);
        if (m_proc.waitForStarted(5000) && m_proc.waitForReadyRead(5000))
            m_path = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
    }
    ~Sim()
    {
        m_proc.terminate();
        m_proc.waitForFinished(5000);
    }
    QString path() const { return m_path; }
    QProcess &process() { return m_proc; }

private:
    QProcess m_proc;
    QString m_path;
};
