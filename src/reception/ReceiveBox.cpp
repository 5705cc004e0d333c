#include "ReceiveBox.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace ondril {

namespace {
constexpr char16_t loneLf = 0x2028;
constexpr char16_t loneCr = 0x240D;
} // namespace

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
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    end.insertText(toBoxText(received));
    box->setTextCursor(end);
    box->ensureCursorVisible();
}

} // namespace ondril
