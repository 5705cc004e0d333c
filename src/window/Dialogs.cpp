#include "Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace ondril {

void QtDialogs::message(QWidget *parent, const QString &text, const QString &details)
{
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Ondril"));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    // A CR LF pair shows as one line break, not as a stray box glyph.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box.setText(shown);
    box.setDetailedText(details);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void QtDialogs::notice(QWidget *parent, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Ondril"), text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void QtDialogs::offer(QWidget *parent, const QString &text, const QString &action, std::function<void()> accepted)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Ondril"), text, QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QPushButton *yes = box->addButton(action, QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Not now"), QMessageBox::RejectRole);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [yes, accepted = std::move(accepted)](QAbstractButton *b) {
        if (b == yes)
            accepted();
    });
    box->show();
}

QString QtDialogs::textInput(QWidget *parent, const QString &label, const QString &text)
{
    return QInputDialog::getText(parent, QStringLiteral("Ondril"), label, QLineEdit::Normal, text);
}

QString QtDialogs::openFile(QWidget *parent, const FileDialogRequest &request)
{
    QFileDialog dialog(parent, request.title, request.directory);
    dialog.setAcceptMode(request.saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // a name that does not exist yet is fine
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.saving);
    dialog.setDefaultSuffix(request.suffix);
    dialog.setNameFilters(request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size())
        dialog.selectNameFilter(request.filters.at(request.selectedFilter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace ondril
