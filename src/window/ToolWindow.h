#pragma once

class QLabel;
class QWidget;

namespace ondril {

// What every window of the Tools menu does alike: a screen reader meets it
// as a window (a plain widget reads as a filler), and Escape closes it.
void makeToolWindow(QWidget *window);
// A line of text a screen reader reaches by Tab, as the figures it tells are.
QLabel *readOutLabel(const char *objectName, QWidget *parent);
// Shows it, the first time to the right of `main` where the screen has room.
void showBeside(QWidget *main, QWidget *window);

} // namespace ondril
