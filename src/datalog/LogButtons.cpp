#include "datalog/LogFile.h"
#include "datalog/LogFolder.h"
#include "receivebox/ReceiveBox.h"
#include "window/Dialogs.h"
#include "window/Form1.h"

#include <QDir>

#include <QCheckBox>
#include <QFileInfo>

namespace ondril {

void Form1::Command7_Click()
{
    // An empty box would replace a good log with nothing.
    if (Text2->isEmpty())
        return;
    const QString path = Label1->text();
    makeDocumentsFolder(QFileInfo(path).absolutePath());
    QString why;
    if (!writeLog(path, {Text2->bytes(), "\r\n"}, Check3->isChecked() ? LogMode::Replace : LogMode::Append, &why))
        reportError(QStringLiteral("ERROR: The log file could not be saved.\n%1\n%2").arg(path, why));
    else
        emit saved(path);
}

void Form1::Command8_Click()
{
    Text2->clear();
    emit cleared();
}

void Form1::Command9_Click()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Save as: choose the log file");
    request.directory = logFolder();
    makeDocumentsFolder(request.directory);
    // "*" rather than "*.*", which would hide names without a dot.
    request.filters = QStringList{QStringLiteral("text (*.txt *.xls *.doc)"), QStringLiteral("all (*)")};
    request.selectedFilter = 0;
    const QString chosen = m_dialogs->openFile(this, request);
    if (chosen.isEmpty())
        return;
    const QString path = QFileInfo(chosen).absoluteFilePath();
    QString why;
    if (!createLog(path, &why)) {
        reportError(QStringLiteral("ERROR: The log file could not be created.\n%1\n%2").arg(path, why));
        return;
    }
    Label1->setText(QDir::toNativeSeparators(path));
}

} // namespace ondril
