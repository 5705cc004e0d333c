// Bytes from the balance, appended to the receive box in pieces as the line
// collector delivers them, with the operator's typing and deleting in between,
// come back as exactly the bytes Save writes; and the box's line index and
// rows always tile those bytes. Each input is a script: an operation byte,
// then what it needs.
//   append: a length byte (1 to 64), then that many received bytes
//   type:   a position byte and a text byte (a printable character, or Enter)
//   delete: two position bytes, the selection that Delete removes
// The box is narrow, so that rows wrap often.
#include "receivebox/ReceiveBox.h"

#include <QApplication>

#include <cstdint>
#include <cstdlib>

namespace {

ondril::ReceiveBox *box = nullptr;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Every line starts after an LF; every row follows the one before it, and the
// last row ends where the bytes end.
void checkLayout(const QByteArray &model)
{
    const ondril::BoxText &t = box->content();
    check(t.lineCount() == model.count('\n') + 1);
    for (qint64 line = 1; line < t.lineCount(); ++line)
        check(model.at(t.lineStart(line) - 1) == '\n');
    // Laid out bit by bit as the edits came, the rows are those of a layout
    // made afresh: rows found from a line's marks included.
    ondril::BoxText fresh;
    check(fresh.replace(0, 0, model));
    fresh.setMetrics(t.metrics());
    check(fresh.rowCount() == t.rowCount());
    for (qint64 n = 0; n < t.rowCount(); ++n) {
        const ondril::BoxText::Row a = t.row(n);
        const ondril::BoxText::Row b = fresh.row(n);
        check(a.start == b.start && a.end == b.end && a.line == b.line);
        check(t.rowOf(a.start).number == n || (n > 0 && t.row(n - 1).end == a.start && t.rowOf(a.start).number == n));
    }
    ondril::BoxText::Row row = t.row(0);
    check(row.start == 0);
    for (qint64 n = 1; n < t.rowCount(); ++n) {
        const ondril::BoxText::Row next = t.following(row);
        check(next.start == (next.line == row.line ? row.end : t.lineStart(row.line + 1)));
        check(t.row(n).start == next.start && t.row(n).line == next.line);
        check(t.rowOf(next.start).number == n || next.start == row.end);
        row = next;
    }
    check(row.line == t.lineCount() - 1 && row.end == t.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv); // lives as long as the fuzzer
    box = new ondril::ReceiveBox;
    box->resize(60, 200); // a few cells a row: lines of many rows come soon
    box->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    box->clear();
    QByteArray model;
    size_t at = 0;
    const auto next = [&] { return at < size ? data[at++] : 0; };
    const auto position = [&] { return model.isEmpty() ? 0 : qint64(next()) * model.size() / 255; };
    while (at < size) {
        switch (next() % 3) {
        case 0: {
            const size_t n = std::min<size_t>(1 + next() % 64, size - at);
            const QByteArray piece(reinterpret_cast<const char *>(data + at), qsizetype(n));
            at += n;
            check(box->append(QString::fromLatin1(piece)));
            model += piece;
            check(box->caretPosition() == model.size());
            break;
        }
        case 1: {
            const qint64 pos = position();
            const uint8_t c = next();
            box->setSelection(pos, pos);
            const qint64 caret = box->caretPosition(); // never between a CR and its LF
            const QByteArray typed = c % 8 == 0 ? QByteArray("\r\n") : QByteArray(1, char(' ' + c % 95));
            check(box->insertTyped(c % 8 == 0 ? QStringLiteral("\n") : QString::fromLatin1(typed)));
            model.insert(caret, typed);
            break;
        }
        default: {
            box->setSelection(position(), position());
            const qint64 from = std::min(box->anchorPosition(), box->caretPosition());
            const qint64 to = std::max(box->anchorPosition(), box->caretPosition());
            check(box->insertTyped(QString()));
            model.remove(from, to - from);
            break;
        }
        }
        check(box->bytes() == model);
    }
    checkLayout(model);
    return 0;
}
