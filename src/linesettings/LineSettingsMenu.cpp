#include "LineSettingsMenu.h"

#include "LineSettingsDialog.h"
#include "LinkScan.h"
#include "send/CommandSets.h"
#include "serial/MSComm.h"
#include "window/Dialogs.h"
#include "window/Form1.h"
#include "window/KeptChoices.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSettings>
#include <QTextStream>

namespace ondril {

namespace {
const QString framingKey = QStringLiteral("line/framing");
const QString handshakingKey = QStringLiteral("line/handshaking");

bool isDefault(const LineSettings &line)
{
    return line.sameFraming(LineSettings()) && line.handshaking == Handshaking::None;
}
} // namespace

LineSettingsMenu::LineSettingsMenu(Form1 *form, Dialogs *dialogs, QMenu *menu)
    : QObject(form), m_form(form), m_dialogs(dialogs)
{
    menu->addSeparator();
    m_settingsAction = menu->addAction(QStringLiteral("Line &settings…"), this, &LineSettingsMenu::openDialog);
    m_settingsAction->setObjectName(QStringLiteral("lineSettingsAction"));
    m_findAction = menu->addAction(QStringLiteral("&Find the balance's settings…"), this, &LineSettingsMenu::findSettings);
    m_findAction->setObjectName(QStringLiteral("findSettingsAction"));
    connect(menu, &QMenu::aboutToShow, this, [this] {
        m_findAction->setEnabled(!m_form->isCycleRunning() && !m_scan);
        m_settingsAction->setEnabled(!m_scan);
    });
    connect(form->MSComm1, &MSComm::outputStalled, this, [this](const QString &reason) {
        const bool handshake = m_form->MSComm1->handshaking() != Handshaking::None;
        m_dialogs->notice(m_form, QStringLiteral("ERROR: %1.\nThe program goes on. Check that the balance is "
                                                 "switched on and its cable%2.")
                                      .arg(reason, handshake ? QStringLiteral(", or set the handshake to none under "
                                                                              "Tools > Line settings")
                                                             : QString()));
    });
    watchBytes(true);
}

void LineSettingsMenu::watchBytes(bool on)
{
    QObject::disconnect(m_watch);
    if (!on)
        return;
    m_hint.reset();
    m_watch = connect(m_form->MSComm1, &MSComm::bytesRead, this, [this](const QByteArray &bytes) {
        if (!m_hint.feed(bytes))
            return;
        watchBytes(false); // once
        m_dialogs->notice(m_form,
                          QStringLiteral("The last replies look garbled: bytes above 127, or 7-bit characters read "
                                         "as 8. That is what a speed or parity other than the balance's looks like "
                                         "(%1 is at %2 baud, %3).\nTry Tools > Find the balance's settings.")
                              .arg(portText())
                              .arg(m_form->MSComm1->line().baud)
                              .arg(m_form->MSComm1->line().shortName()));
    });
}

QString LineSettingsMenu::portText() const
{
    return QStringLiteral("COM %1").arg(m_form->MSComm1->commPort());
}

bool LineSettingsMenu::isRemembered()
{
    return keptChoices()->contains(framingKey);
}

void LineSettingsMenu::restore()
{
    const auto kept = keptChoices();
    if (!kept->contains(framingKey))
        return;
    LineSettings line = m_form->MSComm1->line();
    const int handshake = kept->value(handshakingKey, 0).toInt();
    if (!LineSettings::parse(QStringLiteral("%1,%2").arg(line.baud).arg(kept->value(framingKey).toString()), &line)
        || handshake < 0
        || handshake > int(Handshaking::RtsXonXoff)) {
        QTextStream(stderr) << "ondril: the remembered line settings in " << kept->fileName()
                            << " are not understood; the port keeps n,8,1\n";
        return;
    }
    line.handshaking = Handshaking(handshake);
    apply(line, true);
}

LineSettingsDialog *LineSettingsMenu::openDialog()
{
    auto *dialog = new LineSettingsDialog(m_form->MSComm1->line(), isRemembered(), m_form);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { apply(dialog->chosen(), dialog->remember()); });
    dialog->open();
    return dialog;
}

bool LineSettingsMenu::apply(const LineSettings &line, bool remember)
{
    MSComm *comm = m_form->MSComm1;
    const bool taken = comm->setLine(line);
    if (!taken)
        m_dialogs->message(m_form,
                           QStringLiteral("ERROR: %1 does not take %2 with handshake %3; it keeps %4.")
                               .arg(portText(), line.shortName(), handshakingName(line.handshaking),
                                    comm->line().shortName()),
                           comm->errorString());
    const auto kept = keptChoices();
    if (remember && taken) {
        kept->setValue(framingKey, line.framingText().mid(1));
        kept->setValue(handshakingKey, int(line.handshaking));
    } else if (!remember && kept->contains(framingKey)) {
        kept->remove(QStringLiteral("line"));
    }
    showState();
    watchBytes(true);
    return taken;
}

void LineSettingsMenu::showState()
{
    const LineSettings &line = m_form->MSComm1->line();
    const bool plain = isDefault(line);
    QString shown = line.shortName();
    if (line.handshaking != Handshaking::None)
        shown += QStringLiteral(", ") + handshakingName(line.handshaking);
    m_settingsAction->setText(plain ? QStringLiteral("Line &settings…") : QStringLiteral("Line &settings (%1)…").arg(shown));
    m_form->Combo2->setToolTip(plain ? QString()
                                     : QStringLiteral("Line settings: %1, handshake %2")
                                           .arg(line.description(), handshakingName(line.handshaking)));
}

bool LineSettingsMenu::findSettings()
{
    if (m_scan || m_form->isCycleRunning())
        return false;
    MSComm *comm = m_form->MSComm1;
    if (!comm->portOpen()) {
        m_dialogs->message(m_form, QStringLiteral("ERROR: The port is not open.\nPick a port or a speed to open it, "
                                                  "then find the balance's settings."));
        return false;
    }
    QList<qint32> speeds;
    for (int i = 0; i < m_form->Combo2->count(); ++i)
        speeds << m_form->Combo2->itemText(i).toInt();

    // Nothing the scan provokes goes to the receive box, and a reply still
    // awaited is not coming at these settings.
    watchBytes(false);
    m_form->CommLoopStop = 1;
    comm->setRThreshold(0);

    m_scan = new LinkScan(comm, speeds, this);
    m_progress = new QProgressDialog(QStringLiteral("Finding the balance's settings…"), QStringLiteral("Cancel"), 0,
                                     m_scan->plan().count(), m_form);
    m_progress->setObjectName(QStringLiteral("scanProgress"));
    if (auto *bar = m_progress->findChild<QProgressBar *>())
        bar->setAccessibleName(QStringLiteral("Settings tried"));
    m_progress->setWindowTitle(QStringLiteral("Find the balance's settings"));
    m_progress->setWindowModality(Qt::WindowModal); // no cycle print, pick or command meanwhile
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connect(m_progress, &QProgressDialog::canceled, m_scan, &LinkScan::cancel);
    connect(m_scan, &LinkScan::trying, m_progress, [this](const LineSettings &line) {
        const int made = m_scan->plan().made();
        m_progress->setLabelText(QStringLiteral("Listening to %1, then asking it, at %2 baud, %3 (try %4 of %5)…")
                                     .arg(portText())
                                     .arg(line.baud)
                                     .arg(line.shortName())
                                     .arg(made)
                                     .arg(m_scan->plan().count()));
        m_progress->setValue(made - 1);
    });
    connect(m_scan, &LinkScan::finished, this, [this](std::optional<ScanFinding> found) {
        scanDone(found, m_scan->plan().made(), m_scan->plan().coverage(), m_scan->observations());
    });
    m_progress->show();
    m_scan->start();
    return true;
}

void LineSettingsMenu::scanDone(std::optional<ScanFinding> found, qsizetype tries, const QString &coverage,
                                const ScanObservations &seen)
{
    const bool cancelled = m_progress && m_progress->wasCanceled();
    m_scan->deleteLater();
    if (m_progress) {
        m_progress->hide();
        m_progress->deleteLater();
    }
    if (m_form->isUnloaded())
        return;
    // As if the operator had picked the speed: the port opens anew with these
    // settings and reception is armed again.
    // A port lost meanwhile is the device watch's to open again.
    MSComm *comm = m_form->MSComm1;
    const int index = m_form->Combo2->findText(QString::number(comm->line().baud));
    if (index >= 0 && comm->portOpen()) {
        m_form->Combo2->setCurrentIndex(index);
        m_form->Combo2_Click(index);
    } else {
        comm->setRThreshold(1);
    }
    showState();
    watchBytes(true);
    if (found) {
        // Remembered settings that the scan has just proved wrong would be
        // back at the next start.
        const bool remembered = isRemembered();
        if (remembered) {
            const auto kept = keptChoices();
            kept->setValue(framingKey, comm->line().framingText().mid(1));
            kept->setValue(handshakingKey, int(comm->line().handshaking));
        }
        const LineSettings &line = found->line;
        const QString settings = QStringLiteral("%1 baud, %2 (%3)").arg(line.baud).arg(line.shortName(), line.description());
        const QString set = QStringLiteral("%1 is set to it%2.")
                                .arg(portText(), remembered ? QStringLiteral(", and its framing is remembered for the "
                                                                             "next run in place of the former one")
                                                            : QString());
        if (!found->streams()) {
            m_dialogs->notice(m_form, QStringLiteral("The balance answers at %1, asked with %2. %3\nTools > Send "
                                                     "commands offers its command set, \"%4\".")
                                          .arg(settings, spokenBytes(found->request), set, found->setName));
        } else if (m_form->keepsEveryLine()) {
            m_dialogs->notice(m_form, QStringLiteral("The balance streams at %1: it sends its readings unasked. %2 "
                                                     "Every line it sends is kept.")
                                          .arg(settings, set));
        } else {
            Form1 *form = m_form;
            m_dialogs->offer(m_form,
                             QStringLiteral("The balance streams at %1: it sends its readings unasked. %2\nWithout "
                                            "Tools > Keep every line, what comes after each line is thrown away, and "
                                            "most of a stream with it. Keep every line now?")
                                 .arg(settings, set),
                             QStringLiteral("Keep every line"), [form] { form->setKeepEveryLine(true); });
        }
    } else if (!cancelled && comm->portOpen()) { // a port lost meanwhile has been reported as such
        m_dialogs->notice(
            m_form,
            QStringLiteral("No balance answered on %1 at any of %2 settings (%3). %1 is back at %4 baud, %5.\n"
                           "%6\n"
                           "Otherwise check:\n"
                           "- the cable: most balances need a null-modem (crossed) cable, some a straight one;\n"
                           "- that the balance's serial interface is switched on in its menu;\n"
                           "- its handshake: none on the balance, or the same here under Line settings;\n"
                           "- the port: that the cable is in the port picked under Port.")
                .arg(portText())
                .arg(tries)
                .arg(coverage)
                .arg(comm->line().baud)
                .arg(comm->line().shortName(), failedScanVerdict(seen)));
    }
    emit scanFinished(found);
}

} // namespace ondril
