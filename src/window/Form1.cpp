#include "Form1.h"

#include "Dialogs.h"
#include "Fonts.h"
#include "commands/BalanceCommand.h"
#include "datalog/LogFolder.h"
#include "receivebox/ReceiveBox.h"
#include "serial/DeviceWatch.h"
#include "serial/MSComm.h"

#include <QAction>
#include <QDir>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextStream>
#include <QTimer>

namespace ondril {

// Positions are kept in twips, as the layout was drawn; 15 make a pixel.
constexpr int twips(int t) { return t / 15; }
constexpr int clientWidth = 10620;
constexpr int clientHeight = 9165;

namespace {

template <class W>
W *place(QWidget *parent, const char *name, int left, int top, int width, int height, FontKey font)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(twips(left), twips(top), twips(width), twips(height));
    w->setFont(formFont(font));
    return w;
}

QPushButton *button(QWidget *parent, const char *name, const char *caption, int l, int t, int w, int h)
{
    auto *b = place<QPushButton>(parent, name, l, t, w, h, FontKey::B);
    b->setText(QLatin1String(caption));
    b->setAutoDefault(false); // Enter and Esc press no button
    b->setDefault(false);
    return b;
}

QLabel *label(QWidget *parent, const char *name, const char *caption, int l, int t, int w, int h,
              FontKey font = FontKey::M13)
{
    auto *lb = place<QLabel>(parent, name, l, t, w, h, font);
    lb->setTextFormat(Qt::PlainText);
    lb->setText(QLatin1String(caption));
    lb->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lb->setFocusPolicy(Qt::NoFocus);
    return lb;
}

QComboBox *combo(QWidget *parent, const char *name, const QStringList &entries, int l, int t, int w, int h)
{
    auto *c = place<QComboBox>(parent, name, l, t, w, h, FontKey::M13);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert); // a typed value never joins the list
    c->setCompleter(nullptr);                // and is not completed into an entry
    c->addItems(entries);
    c->setCurrentIndex(0);
    return c;
}

QCheckBox *check(QWidget *parent, const char *name, const char *caption, int l, int t, int w, int h,
                 bool checked)
{
    auto *c = place<QCheckBox>(parent, name, l, t, w, h, FontKey::W);
    c->setText(QLatin1String(caption));
    c->setChecked(checked);
    return c;
}

QLineEdit *hexBox(QWidget *parent, const char *name, int l, int t, int w, int h)
{
    auto *e = place<QLineEdit>(parent, name, l, t, w, h, FontKey::M12);
    e->setEnabled(false); // greyed and out of the tab chain; the program still writes it
    return e;
}

} // namespace

Form1::Form1(MSComm *comm, Dialogs *dialogs, QWidget *parent)
    : QMainWindow(parent), MSComm1(comm), m_dialogs(dialogs), m_watch(new DeviceWatch(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Brivon Electronic Balance Communications Test"));
    setFont(formFont(FontKey::W));
    buildControls();
    connectHandlers();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    EXIT = menuBar()->addAction(QStringLiteral("EXIT"));
    EXIT->setObjectName(QStringLiteral("EXIT"));

    // A bare widget: controls keep their places whatever size the window takes.
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    QWidget *p = client;

    // Created in tab order, which Qt takes as the focus chain.
    Command1 = button(p, "Command1", cyclePrintCaption, 960, 1200, 1845, 615);
    // The command buttons stand in a row, in the order of the command table.
    const auto commandButton = [&](const char *name, int i) {
        return button(p, name, balanceCommands[i].caption, 960 + 1800 * i, 2160, 1485, 495);
    };
    Command2 = commandButton("Command2", 0);
    Command3 = commandButton("Command3", 1);
    Command4 = commandButton("Command4", 2);
    Command5 = commandButton("Command5", 3);
    Command6 = commandButton("Command6", 4);
    Command8 = button(p, "Command8", "Clear", 1680, 5280, 1455, 495);
    Command7 = button(p, "Command7", "Save", 1680, 6000, 1455, 495);
    Command9 = button(p, "Command9", "Save as", 1680, 7080, 1455, 495);

    QStringList ports;
    for (int n = 1; n <= PortMap::PortCount; ++n)
        ports << portText(n);
    Combo1 = combo(p, "Combo1", ports, 1920, 480, 1455, 480);
    for (int n = 1; n <= PortMap::PortCount; ++n)
        setPortToolTip(n, QString());
    Combo2 = combo(p, "Combo2",
                   {QStringLiteral("600"), QStringLiteral("1200"), QStringLiteral("2400"),
                    QStringLiteral("4800"), QStringLiteral("9600")},
                   5760, 480, 1215, 480);

    Text1 = place<QLineEdit>(p, "Text1", 5760, 1320, 1095, 495, FontKey::M13);
    Text1->setMaxLength(5);
    Text1->setText(QStringLiteral("1000"));

    Label2 = label(p, "Label2", "Receive data(ASCII)", 1560, 3720, 2715, 465);
    QPalette black = Label2->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label2->setPalette(black);
    Label3 = label(p, "Label3", "Port:", 1080, 480, 735, 375);
    Label4 = label(p, "Label4", "Baud rate:", 4080, 480, 1455, 375);
    Label5 = label(p, "Label5", "ms", 6960, 1440, 495, 375);
    Label6 = label(p, "Label6", "Time interval", 3840, 1320, 1815, 375);
    Label7 = label(p, "Label7", "Send data (HEX)", 1560, 3000, 2655, 375);

    Check1 = check(p, "Check1", "Time", 1680, 4320, 1695, 375, false);

    Text2 = place<ReceiveBox>(p, "Text2", 4440, 3720, 5535, 4815, FontKey::M10);

    Text3 = hexBox(p, "Text3", 4440, 3000, 495, 495);
    Text4 = hexBox(p, "Text4", 5040, 3000, 495, 495);

    Check2 = check(p, "Check2", "Date", 1680, 4800, 1695, 375, false);

    Label1 = place<PathLabel>(p, "Label1", 360, 6600, 3855, 375, FontKey::M10);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setText(QStringLiteral("c:\\brivontest\\Recdata0.txt"));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    Check3 = check(p, "Check3", "New Data", 1680, 7800, 1575, 375, true);

    // What a screen reader calls the boxes: the labels beside them.
    Text1->setAccessibleName(Label6->text());
    Text2->setAccessibleName(Label2->text());
    Text3->setAccessibleName(Label7->text());
    Text3->setAccessibleDescription(QStringLiteral("first byte"));
    Text4->setAccessibleName(Label7->text());
    Text4->setAccessibleDescription(QStringLiteral("second byte"));
    for (const auto &[box, caption] : {std::pair{Combo1, Label3}, {Combo2, Label4}}) {
        caption->setBuddy(box);
        box->setAccessibleName(caption->text());
        box->lineEdit()->setAccessibleName(caption->text()); // where Tab lands in a box one may type in
    }

    const QList<QWidget *> chain = {Command1, Command2, Command3, Command4, Command5, Command6,
                                    Command8, Command7, Command9, Combo1,   Combo2,   Text1,
                                    Check1,   Text2,    Check2,   Check3};
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    MSComm1->setObjectName(QStringLiteral("MSComm1"));

    // The client area is drawn below the menu bar, as high as the window's
    // layout will make it at this width (with Windows' style a pixel more
    // than its size hint).
    const int menu = qMax(menuBar()->sizeHint().height(), menuBar()->heightForWidth(twips(clientWidth)));
    resize(twips(clientWidth), twips(clientHeight) + menu);
}

void Form1::connectHandlers()
{
    connect(EXIT, &QAction::triggered, this, &Form1::EXIT_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    const std::array<QPushButton *, balanceCommands.size()> commandButtons{Command2, Command3, Command4,
                                                                           Command5, Command6};
    for (size_t i = 0; i < commandButtons.size(); ++i)
        connect(commandButtons[i], &QPushButton::clicked, this, [this, i] { sendCommand(balanceCommands[i]); });
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    // A waiting collector looks at the port again.
    connect(MSComm1, &MSComm::bytesReceived, this, [this] { m_waits.wake(); });
    connect(MSComm1, &MSComm::deviceLost, this, &Form1::MSComm1_Lost);
    connect(m_watch, &DeviceWatch::back, this, &Form1::MSComm1_Back);
    // activated() is a pick from the list, never a value set by the program.
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    // Queued: the box says so from inside an append, possibly within a wait.
    connect(Text2, &ReceiveBox::full, this, &Form1::Text2_Full, Qt::QueuedConnection);
    connect(Text2, &ReceiveBox::noMemoryFor, this, &Form1::Text2_NoMemoryFor, Qt::QueuedConnection);
}

bool Form1::Form_Load()
{
    Label1->setText(QDir::toNativeSeparators(logFolder() + QStringLiteral("/Recdata0.txt")));
    Timer1->setInterval(1000);

    MSComm1->setSettings(QStringLiteral("600,n,8,1"));
    MSComm1->setInputLen(0);
    MSComm1->setInputMode(0);
    MSComm1->setInBufferCount(0);
    MSComm1->setRThreshold(1);

    // Every failure here only means "try the next port"; stderr says why, so
    // that a missing dialout membership is easy to spot, and so does the
    // message when none opens, for an operator who started from the menu.
    QTextStream err(stderr);
    if (MSComm1->ports().count() == 0)
        err << "ondril: no serial port is configured or present\n";
    QStringList tried;
    for (PortNo = 1; PortNo <= PortMap::PortCount; ++PortNo) {
        MSComm1->setCommPort(PortNo);
        QString trouble;
        if (!openPort(&trouble) && !MSComm1->device().isEmpty())
            err << "ondril: " << portText(PortNo) << " skipped: " << MSComm1->errorString() << '\n';
        if (MSComm1->portOpen()) {
            setComboPortText(PortNo);
            return true;
        }
        tried << trouble;
    }
    err.flush();
    m_dialogs->message(nullptr,
                       QStringLiteral("ERROR: could not found Comm port!\r\n"
                                      "        program will exit!"),
                       tried.join(u'\n'));
    return false;
}

void Form1::EXIT_Click()
{
    m_watch->stop();
    CommLoopStop = 1;
    TimerLoopStop = 1;
    if (Timer1->isActive())
        Timer1->stop();
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    unload();
}

void Form1::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    hide();
    // Waiting handlers further up the stack see their stop flags and return
    // first; the main loop then ends.
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The close box ends everything just as EXIT does; otherwise a waiting
    // handler would keep a windowless process alive.
    if (!m_unloaded)
        EXIT_Click();
    event->accept();
}

void Form1::showCentred()
{
    const QScreen *where = screen();
    if (where)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        where->availableGeometry()));
    Command1->setFocus(); // the first tab stop
    show();
}

void Form1::reportError(const QString &text, const QString &details)
{
    m_dialogs->message(this, text, details);
}

void Form1::Text2_NoMemoryFor(const QString &what)
{
    reportError(QStringLiteral("ERROR: The computer has no memory left to %1.\n"
                               "The receive box stays as it was.").arg(what));
}

void Form1::setComboPortText(int port)
{
    const int index = port - 1;
    if (index >= 0 && index < Combo1->count())
        Combo1->setCurrentIndex(index); // raises no pick: only activated() is handled
    else
        Combo1->setEditText(portText(port));
}

void Form1::setKeepEveryLine(bool keep)
{
    if (keep == m_keepEveryLine)
        return;
    m_keepEveryLine = keep;
    emit keepEveryLineChanged(keep);
}

} // namespace ondril
