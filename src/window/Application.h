#pragma once

namespace ondril {

class Dialogs;
class PortMap;

// Start-up and the event loop. Returns the process exit status: 0 after EXIT
// or the close box, 1 when no COM port could be opened.
int runOndril(Dialogs &dialogs, const PortMap &ports);

} // namespace ondril
