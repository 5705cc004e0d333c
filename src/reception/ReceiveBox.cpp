#include "ReceiveBox.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace ondril {

namespace {
constexpr char16_t loneLf = 0x2028;
constexpr char16_t loneCr = 0x240D;
constexpr int paintPacingMs = 100;
} // namespace

// A balance streaming lines would cost a repaint, and a round trip to the
// display server, per line. The first line after a pause is painted at once;
// lines that follow within the pacing interval wait for one shared paint.
class PaintPacer : public QObject {
    Q_OBJECT
public:
    explicit PaintPacer(QWidget *box) : QObject(box), m_box(box)
    {
        m_interval.setSingleShot(true);
        m_interval.setInterval(paintPacingMs);
        connect(&m_interval, &QTimer::timeout, this, &PaintPacer::intervalEnded);
    }

    static PaintPacer *of(QWidget *box)
    {
        auto *pacer = box->findChild<PaintPacer *>(QString(), Qt::FindDirectChildrenOnly);
        return pacer ? pacer : new PaintPacer(box);
    }

    // Before the box's text changes.
    void changing()
    {
        if (!m_interval.isActive())
            m_interval.start(); // this change is painted as usual
        else if (m_box->updatesEnabled())
            m_box->setUpdatesEnabled(false);
    }

private:
    void intervalEnded()
    {
        if (m_box->updatesEnabled())
            return; // nothing was held back
        m_box->setUpdatesEnabled(true); // paints everything held back at once
        m_interval.start();
    }

    QWidget *m_box;
    QTimer m_interval;
};

QString toBoxText(const QString &received)
{
    QString out = received;
    const qsizetype n = out.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (out[i] == u'\r') {
            if (i + 1 < n && out[i + 1] == u'\n')
                ++i; // a CR LF stays: the box makes it one line break
            else
                out[i] = QChar(loneCr);
        } else if (out[i] == u'\n') {
            out[i] = QChar(loneLf);
        }
    }
    return out;
}

QByteArray boxBytes(const QTextDocument &box)
{
    // The raw text keeps every character as stored; the plain-text accessor
    // would turn a no-break space into a blank.
    const QString raw = box.toRawText();
    QByteArray out;
    out.reserve(raw.size() + raw.size() / 16);
    for (const QChar c : raw) {
        switch (c.unicode()) {
        case QChar::ParagraphSeparator: out.append("\r\n", 2); break;
        case loneLf: out.append('\n'); break;
        case loneCr: out.append('\r'); break;
        default: out.append(c.unicode() <= 0xFF ? char(c.unicode()) : '?'); // typed, not received
        }
    }
    return out;
}

void appendToBox(QPlainTextEdit *box, const QString &received)
{
    PaintPacer::of(box)->changing();
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    end.insertText(toBoxText(received));
    box->setTextCursor(end);
    box->ensureCursorVisible();
}

} // namespace ondril

#include "ReceiveBox.moc"
