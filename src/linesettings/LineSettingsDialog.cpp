#include "LineSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ondril {

static QComboBox *choice(QWidget *parent, const char *name, const QList<std::pair<QString, QVariant>> &items,
                         const QVariant &current)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const auto &[text, value] : items)
        box->addItem(text, value);
    box->setCurrentIndex(qMax(0, box->findData(current)));
    return box;
}

LineSettingsDialog::LineSettingsDialog(const LineSettings &current, bool remembered, QWidget *parent)
    : QDialog(parent), m_current(current)
{
    setObjectName(QStringLiteral("lineSettingsDialog"));
    setWindowTitle(QStringLiteral("Line settings"));
    dataBits = choice(this, "dataBits", {{QStringLiteral("7"), 7}, {QStringLiteral("8"), 8}}, current.dataBits);
    parity = choice(this, "parity",
                    {{QStringLiteral("none"), int('n')},
                     {QStringLiteral("odd"), int('o')},
                     {QStringLiteral("even"), int('e')},
                     {QStringLiteral("mark"), int('m')},
                     {QStringLiteral("space"), int('s')}},
                    int(current.parity));
    stopBits = choice(this, "stopBits", {{QStringLiteral("1"), 2}, {QStringLiteral("2"), 4}}, current.stopBitsTimesTwo);
    QList<std::pair<QString, QVariant>> handshakes = {
        {QStringLiteral("none"), int(Handshaking::None)},
        {QStringLiteral("hardware (RTS/CTS)"), int(Handshaking::Rts)},
        {QStringLiteral("software (XON/XOFF)"), int(Handshaking::XonXoff)}};
    if (current.handshaking == Handshaking::RtsXonXoff) // set from code: shown as it is
        handshakes.append({handshakingName(Handshaking::RtsXonXoff), int(Handshaking::RtsXonXoff)});
    handshaking = choice(this, "handshaking", handshakes, int(current.handshaking));
    rememberBox = new QCheckBox(QStringLiteral("Remember these settings"), this);
    rememberBox->setObjectName(QStringLiteral("remember"));
    rememberBox->setChecked(remembered);
    rememberBox->setToolTip(QStringLiteral("Kept for the next run of Ondril. Otherwise every run starts at 8 data "
                                           "bits, no parity, 1 stop bit, no handshake."));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Data bits:"), dataBits);
    form->addRow(QStringLiteral("&Parity:"), parity);
    form->addRow(QStringLiteral("&Stop bits:"), stopBits);
    form->addRow(QStringLiteral("&Handshake:"), handshaking);
    auto *note = new QLabel(QStringLiteral("The speed is the main window's Baud rate. Both apply at once."), this);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(rememberBox);
    layout->addWidget(buttons);
}

LineSettings LineSettingsDialog::chosen() const
{
    LineSettings s = m_current;
    s.dataBits = dataBits->currentData().toInt();
    s.parity = char(parity->currentData().toInt());
    s.stopBitsTimesTwo = stopBits->currentData().toInt();
    s.handshaking = Handshaking(handshaking->currentData().toInt());
    return s;
}

bool LineSettingsDialog::remember() const
{
    return rememberBox->isChecked();
}

} // namespace ondril
