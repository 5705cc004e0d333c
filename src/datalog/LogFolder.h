#pragma once

#include <QString>

namespace ondril {

// Where the log starts and Save as opens: the program's own folder, as it
// always has been; but for a copy in a folder the user may not write (an
// installed /usr/bin/ondril), the user's documents folder, made if missing,
// or the home folder when there is no such folder or it cannot be made.
QString logFolder();

} // namespace ondril
