#pragma once

#include <QString>

namespace ondril {

// Where the log starts and Save as opens: the program's own folder, as it
// always has been; but for a copy in a folder the user may not write (an
// installed /usr/bin/ondril), the user's documents folder (made by the first
// Save or Save as that needs it), else the home folder; without a home of its
// own, the folder it was started in. Where none may be written, the first
// Save's message says why.
QString logFolder();

// Makes `folder` when it is the user's documents folder and still missing;
// any other folder is left to the save that needs it to report.
void makeDocumentsFolder(const QString &folder);

} // namespace ondril
