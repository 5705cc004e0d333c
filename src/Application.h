#pragma once

class QMenu;

namespace ondril {

class Dialogs;
class Form1;
class Journal;
class JournalMenu;
class PortMap;
class ReadingsWindow;

// The one menu to the right of EXIT, where everything beyond the main window
// opens; made by the first that asks for it, and handed to each feature.
QMenu *toolsMenu(Form1 *form);

// The features beside the window, joined: the readings' rows go to the
// journal beside their lines, and a recovery brings lines and readings back
// together. The program's, and the bench's with every feature on.
void joinFeatures(Journal &journal, ReadingsWindow &readings, JournalMenu &journalMenu);

// Start-up and the event loop. Returns the process exit status: 0 after EXIT
// or the close box, 1 when no COM port could be opened.
int runOndril(Dialogs &dialogs, const PortMap &ports);

} // namespace ondril
