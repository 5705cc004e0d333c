#include "JournalRecovery.h"

#include "JournalFile.h"
#include "receivebox/ReceiveBox.h"
#include "window/SteadyClock.h"

namespace ondril {

namespace {

constexpr qint64 pieceBytes = qint64(1) << 20;
constexpr qint64 sliceNs = 15'000'000; // the window's turn comes at least this often

} // namespace

JournalRecovery::JournalRecovery(const JournalRun &run, bool whole, ReceiveBox *box, QObject *parent)
    : QObject(parent), m_run(run), m_box(box), m_file(run.text), m_from(whole ? 0 : run.clearedAtByte),
      m_firstLine(whole ? 0 : run.clearedAtLine)
{
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &JournalRecovery::slice);
}

JournalRecovery::~JournalRecovery()
{
    if (m_lock >= 0)
        journalfile::closeFile(m_lock);
}

bool JournalRecovery::start(QString *why)
{
    // Two Ondrils offered the same journal: the first to lock it takes it.
    m_lock = journalfile::openForReading(m_run.text);
    if (m_lock < 0 || !journalfile::tryLock(m_lock, true) || isMarkedRecovered(m_run)) {
        *why = QStringLiteral("Another Ondril recovers it, or has recovered it.");
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly) || !m_file.seek(m_from)) {
        *why = m_file.errorString();
        return false;
    }
    slice();
    return true;
}

void JournalRecovery::slice()
{
    const qint64 until = steadyNow() + sliceNs;
    do {
        const QByteArray read = m_file.read(pieceBytes);
        if (read.isEmpty() && !m_file.atEnd()) { // a disk that fails mid-way
            m_error = m_file.errorString();
            m_slices.stop();
            emit finished(false);
            return;
        }
        QByteArray text = m_carry + read;
        const bool last = m_file.atEnd();
        if (last) {
            // Earlier versions left room ahead of the text: zeros past its last line.
            while (text.endsWith('\0'))
                text.chop(1);
            m_carry.clear();
        } else {
            const qsizetype cut = text.lastIndexOf('\n') + 1;
            m_carry = text.sliced(cut);
            text.truncate(cut);
        }
        if (!text.isEmpty()) {
            if (!m_box->receiveAt(text, m_at)) {
                m_slices.stop();
                emit finished(false);
                return;
            }
            m_at += text.size();
            emit piece(text);
        }
        if (last) {
            m_slices.stop();
            m_box->setSelection(m_box->bytes().size(), m_box->bytes().size());
            emit progress(m_file.size() - m_from, m_file.size() - m_from);
            emit finished(true);
            return;
        }
    } while (steadyNow() < until);
    emit progress(m_file.pos() - m_from, m_file.size() - m_from);
    m_slices.start();
}

} // namespace ondril
