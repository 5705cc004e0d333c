#pragma once

#include <QByteArray>
#include <QString>

class QPlainTextEdit;
class QTextDocument;

namespace ondril {

// The receive box holds received bytes one character each (Latin-1). A CR LF
// is a line break of the box. A lone CR or LF would become a line break too
// and come back as CR LF when saved, so each is kept as a stand-in character
// instead: U+2028, which the box shows as a line break, for LF, and the
// visible mark U+240D for CR.
QString toBoxText(const QString &received);

// The box's whole text as bytes for the log: line breaks as CR LF, stand-ins
// as the bytes they stand for, every other character as its Latin-1 byte.
QByteArray boxBytes(const QTextDocument &box);

// Appends at the end without rebuilding the text, and puts the caret there,
// which scrolls the box to its end. While lines stream in, the box is painted
// at most ten times a second; the first line after a pause shows at once.
void appendToBox(QPlainTextEdit *box, const QString &received);

} // namespace ondril
