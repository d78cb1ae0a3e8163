#include "frmDOSOutput.h"

#include "winhelpers/DesignFont.h"
#include "winhelpers/FileHelpers.h"
#include "winhelpers/MsgBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <new>

namespace gv {

namespace {

// Twips to pixels at 96 dots per inch.
int tw(int twips)
{
    return (twips * 2 + 15) / 30;
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

const QString kSans = QStringLiteral("MS Sans Serif");
const QString kTahoma = QStringLiteral("Tahoma");
const QString kArial = QStringLiteral("Arial");
const QString kLucida = QStringLiteral("Lucida Console");

const QString kReadComplete = QStringLiteral("Lettura completa");
// Ends the report of a run the user stopped, so that it cannot pass for a
// complete one.
const QString kStoppedByUser = QStringLiteral("-> interrotto dall'utente");

QString descriptionText()
{
    return QStringLiteral(
        "Vonk è un utility per l'identificazione di binary files. Non contiene alcuna regola "
        "scritta nel codice: per riconoscere un file si affida soltanto a un database di "
        "definizioni, ognuna delle quali descrive le sequenze di byte che ricorrono con "
        "regolarità nei file di un certo tipo, e restituisce l'elenco dei tipi possibili "
        "ordinati secondo la loro probabilità.\n"
        "Il pacchetto delle definizioni viene aggiornato spesso e pubblicato come download "
        "separato: per usarlo basta scompattarlo nella stessa directory del programma, senza "
        "reinstallare nulla.\n"
        "Più ampio è l'insieme delle definizioni, più precisi sono i risultati: ogni contributo "
        "è quindi benvenuto, e chi conosce un formato che ancora manca può inviarne la "
        "descrizione perché la libreria cresca a vantaggio di tutti.\n"
        "Le nuove definizioni si costruiscono con un modulo compagno, \"VonkScan\", che esamina "
        "una serie di file campione dello stesso tipo, ne ricava le parti comuni e scrive una "
        "definizione pronta da aggiungere al database, senza bisogno di conoscere a fondo il "
        "formato in questione.\n"
        "Questa impostazione evita il rapido invecchiamento tipico dei programmi di questo "
        "genere: per riconoscere un formato nuovo non serve una nuova versione del programma, "
        "basta una definizione in più, e ciò che il programma sa fare cresce insieme alla "
        "sua libreria.\n"
        "La libreria attuale comprende 2601 tipi di file.");
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, QPalette::WindowText, colour);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    palette.setColor(QPalette::Active, QPalette::ButtonText, colour);
    palette.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text = {})
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    label->setText(text);
    return label;
}

// A label whose size follows its caption, from its designed top-left.
void autoSize(QLabel* label)
{
    const QPoint topLeft = label->pos();
    label->adjustSize();
    label->move(topLeft);
}

QLabel* makeImage(QWidget* parent, const char* name, const QRect& geometry, const QString& resource, bool stretch)
{
    auto* image = new QLabel(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(geometry);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Missing artwork leaves an empty piece rather than stopping the window.
    const QPixmap picture(resource);
    if (!picture.isNull())
        image->setPixmap(picture);
    image->setScaledContents(stretch);
    return image;
}

} // namespace

QString runErrorText(const std::exception& error)
{
    int number = 5; // invalid procedure call or argument
    if (dynamic_cast<const std::bad_alloc*>(&error))
        number = 7; // out of memory
    else if (dynamic_cast<const MissingRunnerError*>(&error))
        number = 91;
    return QString::fromUtf8(error.what()) + QStringLiteral(" - ") + QStringLiteral("frmDOSOutput")
        + QStringLiteral(" - ") + QString::number(number);
}

QString frmDOSOutput::identifierAuthorMail()
{
    return QStringLiteral("vonk@example.org");
}

QString frmDOSOutput::programAuthorMail()
{
    return QStringLiteral("gui@example.net");
}

QString frmDOSOutput::distributionHomePage()
{
    return QStringLiteral("https://lumetra.example.org/");
}

QString frmDOSOutput::contactPage()
{
    return QStringLiteral("https://vonk.example.org/contatti.html");
}

frmDOSOutput::frmDOSOutput(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmDOSOutput"));
    setWindowTitle(QStringLiteral("VONK Gui"));
    setFont(designFont(kSans, 8.25));
    resize(DesignWidth, DesignHeight);

    QIcon icon;
    for (const char* path : { ":/art/icon16.png", ":/art/icon32.png", ":/art/icon48.png" }) {
        const QString file = QString::fromLatin1(path);
        if (QFile::exists(file))
            icon.addFile(file);
    }
    if (!icon.isNull())
        setWindowIcon(icon);

    buildFrame();
    buildControls();
    applyTabOrder();
    connectFrame();

    m_console = new ConsoleRun(consoleHooks(), this);

    // Enter anywhere presses the default button; Esc ends a run.
    for (const int key : { int(Qt::Key_Return), int(Qt::Key_Enter) }) {
        auto* enter = new QShortcut(QKeySequence(key), this);
        enter->setContext(Qt::WindowShortcut);
        connect(enter, &QShortcut::activated, this, &frmDOSOutput::onEnterPressed);
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (isRunning())
            cmdStop_Click();
    });

    // Centre of the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(DesignWidth / 2, DesignHeight / 2));
    }

    connectRequests();
}

frmDOSOutput::~frmDOSOutput()
{
    // The command goes before the files it may be using.
    delete m_console;
    m_console = nullptr;
    // A window that goes without being closed still takes the deployed
    // files with it.
    m_life.reset();
}

void frmDOSOutput::buildFrame()
{
    // The frame pieces lie under every other control; the hot spots and
    // the title label are raised over them later.
    const QString frame = QStringLiteral(":/art/frame/Image%1.png");
    m_Image[0] = makeImage(this, "Image1", twipsRect(15, 0, 7875, 300), frame.arg(1), true);
    m_Image[2] = makeImage(this, "Image3", twipsRect(15, 930, 60, 4905), frame.arg(3), true);
    m_Image[1] = makeImage(this, "Image2", twipsRect(15, 285, 60, 645), frame.arg(2), false);
    m_Image[5] = makeImage(this, "Image6", twipsRect(8655, 285, 60, 2610), frame.arg(6), true);
    m_Image[6] = makeImage(this, "Image7", twipsRect(345, 5805, 4215, 120), frame.arg(7), true);
    m_Image[3] = makeImage(this, "Image4", twipsRect(15, 5805, 345, 120), frame.arg(4), false);
    m_Image[4] = makeImage(this, "Image5", twipsRect(4530, 5805, 330, 120), frame.arg(5), false);
    m_Image[7] = makeImage(this, "Image8", twipsRect(7725, 0, 180, 300), frame.arg(8), false);
    m_Image[8] = makeImage(this, "Image9", twipsRect(7920, 0, 795, 300), frame.arg(9), false);
    m_Image[9] = makeImage(this, "Image10", twipsRect(60, 0, 180, 300), frame.arg(10), false);
}

void frmDOSOutput::buildControls()
{
    const QColor red(255, 0, 0);
    const QColor buttonFace = palette().color(QPalette::Window);

    // Title text and the title-bar hot spots, which stay over it.
    m_LabelTOP = makeLabel(this, "LabelTOP", twipsRect(405, 60, 2415, 225), QStringLiteral("OEM"));
    m_LabelTOP->setFont(designFont(kTahoma, 8.25, true));
    setTextColour(m_LabelTOP, QColor(255, 128, 0));
    m_LabelTOP->setMouseTracking(true);
    m_LabelTOP->installEventFilter(this);

    m_Label7 = makeLabel(this, "Label7", twipsRect(8415, 60, 225, 180));
    m_Label7->setToolTip(QStringLiteral("Chiudi Programma"));
    m_Label9 = makeLabel(this, "Label9", twipsRect(5445, 45, 255, 255));
    m_Label9->setToolTip(QStringLiteral("Chiudi Quorvane"));
    m_Label8 = makeLabel(this, "Label8", twipsRect(5205, 30, 195, 255));
    m_Label8->setToolTip(QStringLiteral("Massimizza / Ripristina"));
    m_Label2[4] = makeLabel(this, "Label2_4", twipsRect(4950, 45, 255, 255));
    m_Label2[4]->setToolTip(QStringLiteral("Minimizza nella traybar"));
    // Each title-bar button is drawn by the hot spot that does its work;
    // the maximise and "Chiudi Quorvane" spots do nothing and draw nothing.
    if (const QPixmap glyph(QStringLiteral(":/art/frame/Minimise.png")); !glyph.isNull())
        m_Label2[4]->setPixmap(glyph);

    // Header panel: logo, the large "GUI" over it, the description.
    m_Picture1 = new QFrame(this);
    m_Picture1->setObjectName(QStringLiteral("Picture1"));
    m_Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_Picture1->setGeometry(twipsRect(120, 330, 8505, 795));
    m_Image78 = makeImage(m_Picture1, "Image78", twipsRect(0, 0, 990, 780), QStringLiteral(":/art/logo.jpg"), false);
    m_Label6 = makeLabel(m_Picture1, "Label6", twipsRect(135, 240, 675, 435), QStringLiteral("GUI"));
    m_Label6->setFont(designFont(kSans, 18, true));
    setTextColour(m_Label6, Qt::white);
    autoSize(m_Label6);
    m_Text1 = new QPlainTextEdit(m_Picture1);
    m_Text1->setObjectName(QStringLiteral("Text1"));
    m_Text1->setGeometry(twipsRect(1065, 15, 7380, 705));
    m_Text1->setPlainText(descriptionText());
    m_Text1->setReadOnly(true);
    m_Text1->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    {
        QPalette p = m_Text1->palette();
        p.setColor(QPalette::Base, buttonFace);
        m_Text1->setPalette(p);
    }

    m_Check2 = new QCheckBox(QStringLiteral("Sempre in primo piano"), this);
    m_Check2->setObjectName(QStringLiteral("Check2"));
    m_Check2->setGeometry(twipsRect(240, 1680, 2430, 315));
    setTextColour(m_Check2, QColor(128, 0, 0));
    m_Check2->setEnabled(false);
    connect(m_Check2, &QCheckBox::clicked, this, &frmDOSOutput::Check2_Click);

    m_Check1 = new QCheckBox(QStringLiteral("Attiva [max number of matches][-r:nn ]"), this);
    m_Check1->setObjectName(QStringLiteral("Check1"));
    m_Check1->setGeometry(twipsRect(240, 1470, 3615, 225));

    m_ckVerbose = new QCheckBox(QStringLiteral("Attiva : [verbose mode][-v]"), this);
    m_ckVerbose->setObjectName(QStringLiteral("ckVerbose"));
    m_ckVerbose->setGeometry(twipsRect(255, 1200, 2550, 225));
    m_ckVerbose->setToolTip(QStringLiteral("Abilita la visualizzazione dettagli"));

    // State-carrying controls beyond the designed client width.
    m_txtCartella = new QLineEdit(this);
    m_txtCartella->setObjectName(QStringLiteral("txtCartella"));
    m_txtCartella->setGeometry(twipsRect(10710, 4770, 2910, 300));

    auto* placement = new QButtonGroup(this);
    placement->setExclusive(true);
    const int optionTops[5] = { 2475, 2820, 3150, 3495, 3840 };
    for (int i = 0; i < 5; ++i) {
        auto* option = new QRadioButton(QStringLiteral("Option1"), this);
        option->setObjectName(QStringLiteral("Option1_%1").arg(i));
        option->setGeometry(twipsRect(9795, optionTops[i], 2000, 225));
        placement->addButton(option, i);
        m_Option1[size_t(i)] = option;
    }

    m_txtFile = new QLineEdit(this);
    m_txtFile->setObjectName(QStringLiteral("txtFile"));
    m_txtFile->setGeometry(twipsRect(10695, 4425, 2940, 300));

    m_cmdFile = new QPushButton(QStringLiteral("File"), this);
    m_cmdFile->setObjectName(QStringLiteral("cmdFile"));
    m_cmdFile->setGeometry(twipsRect(6585, 1215, 1875, 375));
    m_cmdFile->setToolTip(QStringLiteral("Scelta del FILE da esaminare con Vonk"));

    m_cmdCartella = new QPushButton(QStringLiteral("Cartella"), this);
    m_cmdCartella->setObjectName(QStringLiteral("cmdCartella"));
    m_cmdCartella->setGeometry(twipsRect(4635, 1215, 1875, 375));
    m_cmdCartella->setToolTip(QStringLiteral("Scelta dela CARTELLA  da esaminare con Vonk"));

    m_txtCommand = new QComboBox(this);
    m_txtCommand->setObjectName(QStringLiteral("txtCommand"));
    m_txtCommand->setEditable(true);
    // The field records no history of runs.
    m_txtCommand->setInsertPolicy(QComboBox::NoInsert);
    m_txtCommand->setGeometry(twipsRect(105, 4920, 8520, 285));
    m_txtCommand->setFont(designFont(kLucida, 8.25, true));
    for (const QString& preset : { QStringLiteral("cmd /c vonk *"), QStringLiteral("cmd /c vonk *  -ae "),
             QStringLiteral("cmd /c vonk *  -v  -r:5") })
        m_txtCommand->addItem(preset, 0);
    m_txtCommand->setEditText(QStringLiteral("Vonk - File Identifier - ") + contactPage());
    {
        QPalette p = m_txtCommand->palette();
        p.setColor(QPalette::Base, buttonFace);
        m_txtCommand->setPalette(p);
    }
    m_txtCommand->setEnabled(false);

    m_cmdExit = new QPushButton(QStringLiteral("Esci"), this);
    m_cmdExit->setObjectName(QStringLiteral("cmdExit"));
    m_cmdExit->setGeometry(twipsRect(7020, 5280, 1410, 450));
    m_cmdExit->setFont(designFont(kSans, 8.25, true));
    m_cmdExit->setToolTip(QStringLiteral("Chiude il programma"));

    m_txtOutputs = new ConsolePane(this);
    m_txtOutputs->setObjectName(QStringLiteral("txtOutputs"));
    m_txtOutputs->setGeometry(twipsRect(90, 2055, 8520, 2835));
    m_txtOutputs->setFont(designFont(kLucida, 8.25));
    {
        QPalette p = m_txtOutputs->palette();
        for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
            p.setColor(group, QPalette::Base, QColor(0, 0, 0));
            p.setColor(group, QPalette::Text, QColor(224, 224, 224));
        }
        m_txtOutputs->setPalette(p);
    }
    m_txtOutputs->setToolTip(QStringLiteral("Drag&Drop del file o della cartella dentro questo box o direttamente sul Form"));
    m_txtOutputs->setConsoleText(QStringLiteral("-> output: idle\n"));

    m_cmdExecute = new QPushButton(QStringLiteral("Execute"), this);
    m_cmdExecute->setObjectName(QStringLiteral("cmdExecute"));
    m_cmdExecute->setGeometry(twipsRect(10680, 5130, 1875, 375));
    m_cmdExecute->setDefault(true);
    m_cmdExecute->setVisible(false);
    connect(m_cmdExecute, &QPushButton::clicked, this, &frmDOSOutput::cmdExecute_Click);

    // Shown only while a run lasts, beside the exit button.
    m_cmdStop = new QPushButton(QStringLiteral("Stop"), this);
    m_cmdStop->setObjectName(QStringLiteral("cmdStop"));
    m_cmdStop->setGeometry(tw(6105), tw(5280), tw(840), tw(450));
    m_cmdStop->setFont(designFont(kSans, 8.25, true));
    m_cmdStop->setToolTip(QStringLiteral("Interrompe il comando in corso (Esc)"));
    m_cmdStop->setVisible(false);
    connect(m_cmdStop, &QPushButton::clicked, this, &frmDOSOutput::cmdStop_Click);

    m_Label5 = makeLabel(this, "Label5", twipsRect(5475, 1830, 840, 165), QStringLiteral("Lumetra"));
    m_Label5->setFont(designFont(kArial, 6.75, true, true));
    setTextColour(m_Label5, red);
    m_Label5->setToolTip(distributionHomePage() + QStringLiteral(" - distribuzione curata dallo staff Lumetra"));
    autoSize(m_Label5);

    m_Label1 = makeLabel(this, "Label1", twipsRect(3165, 1830, 4635, 165),
        QStringLiteral("Un grazie particolare allo staff di                      per la distribuzione "));
    m_Label1->setFont(designFont(kArial, 6.75, true));
    setTextColour(m_Label1, red);
    autoSize(m_Label1);
    m_Label5->raise(); // sits in the thanks line's gap

    const QColor linkBlue(0, 0, 255);
    m_Label2[3] = makeLabel(this, "Label2_3", twipsRect(255, 5520, 2070, 195), identifierAuthorMail() + QStringLiteral(" ->Vonk"));
    m_Label2[3]->setToolTip(QStringLiteral("Scrivi all'autore di Vonk"));
    m_Label2[2] = makeLabel(this, "Label2_2", twipsRect(2535, 5520, 2460, 195), programAuthorMail() + QStringLiteral(" ->GUI-Vonk"));
    m_Label2[2]->setToolTip(QStringLiteral("Scrivi all'autore di GUI-Vonk"));
    m_Label2[1] = makeLabel(this, "Label2_1", twipsRect(7980, 1785, 420, 195), QStringLiteral("About"));
    m_Label2[1]->setToolTip(QStringLiteral("info programma"));
    for (int i = 1; i <= 3; ++i) {
        QLabel* link = m_Label2[size_t(i)];
        link->setFont(designFont(kSans, 8.25, false, true));
        setTextColour(link, i == 1 ? QColor(0, 0, 192) : linkBlue);
        link->setCursor(Qt::UpArrowCursor);
        autoSize(link);
    }

    m_lblControl = makeLabel(this, "lblControl", twipsRect(10740, 5580, 630, 240), QStringLiteral("-"));
    m_lblControl->setAutoFillBackground(true);
    {
        QPalette p = m_lblControl->palette();
        p.setColor(QPalette::Window, red);
        m_lblControl->setPalette(p);
    }

    m_Label4 = makeLabel(this, "Label4", twipsRect(195, 5325, 5775, 165),
        QStringLiteral("Puoi anche trascinare il FILE o la CARTELLA scelta sul FORM per eseguire il parsing"));
    m_Label4->setFont(designFont(kArial, 6.75, true));
    setTextColour(m_Label4, red);
    autoSize(m_Label4);

    m_Label3 = makeLabel(this, "Label3", twipsRect(9765, 4860, 1215, 165), QStringLiteral("Cartella"));
    m_Label2[0] = makeLabel(this, "Label2_0", twipsRect(9750, 4500, 1215, 165), QStringLiteral("file"));
}

void frmDOSOutput::applyTabOrder()
{
    // Designed tab indexes 0 upward; labels and the panel take no focus.
    const QList<QWidget*> order = {
        m_cmdExecute, m_txtOutputs, m_cmdExit, m_txtCommand, m_cmdCartella, m_cmdFile, m_txtFile,
        m_Option1[4], m_Option1[3], m_Option1[0], m_Option1[1], m_Option1[2], m_txtCartella,
        m_ckVerbose, m_Check1, m_Check2, m_Text1, m_cmdStop,
    };
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QRadioButton* frmDOSOutput::Option1(int index) const
{
    return index >= 0 && index < 5 ? m_Option1[size_t(index)] : nullptr;
}

QLabel* frmDOSOutput::Label2(int index) const
{
    return index >= 0 && index < 5 ? m_Label2[size_t(index)] : nullptr;
}

QLabel* frmDOSOutput::Image(int number) const
{
    return number >= 1 && number <= 10 ? m_Image[size_t(number - 1)] : nullptr;
}

void frmDOSOutput::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;

    // A second copy says so and touches nothing.
    if (refuseSecondCopy())
        return;

    // Every command button gets the flat look, which also shows the
    // default button again (beyond the right edge, but Enter reaches it).
    // The Stop control looks the same but shows only while a run lasts.
    for (QPushButton* button : { m_cmdFile, m_cmdCartella, m_cmdExit, m_cmdExecute, m_cmdStop })
        MakeControlFlat(button);
    m_cmdStop->setVisible(false);

    Check2_Click();

    m_LabelTOP->setText(titleText());

    m_console->createRunner();

    if (deployIdentifier())
        return;

    const QString captions[5] = {
        QStringLiteral("No move"), QStringLiteral("Screen center"), QStringLiteral("Parent form center"),
        QStringLiteral("Parent form shift"), QStringLiteral("Mouse shift"),
    };
    for (int i = 0; i < 5; ++i)
        m_Option1[size_t(i)]->setText(captions[i]);
    m_Option1[4]->setChecked(true);
}

int frmDOSOutput::GetPlacementMode() const
{
    for (int i = 0; i < 5; ++i) {
        if (m_Option1[size_t(i)]->isChecked())
            return i;
    }
    return 0;
}

void frmDOSOutput::onEnterPressed()
{
    // As in a dialog: a focused push button takes Enter itself, otherwise
    // the default button is pressed.
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused && focused != m_cmdExecute) {
        if (focused->isEnabled() && focused->isVisible())
            focused->click();
        return;
    }
    if (m_cmdExecute->isVisible() && m_cmdExecute->isEnabled())
        m_cmdExecute->click();
}

bool frmDOSOutput::isRunning() const
{
    return m_console && m_console->isRunning();
}

DOSOutputs* frmDOSOutput::objDOS() const
{
    return m_console ? m_console->runner() : nullptr;
}

ConsoleRun::Hooks frmDOSOutput::consoleHooks()
{
    ConsoleRun::Hooks hooks;
    hooks.chunk = [this](const QString& chunk) { objDOS_ReceiveOutputs(chunk); };
    // Everything read in one pass reaches the pane as one insertion.
    hooks.passDone = [this] { m_txtOutputs->flushPending(); };
    hooks.runnerFailure = [](const std::string& message) {
        SystemMsgBox(QString::fromStdString(message), vbCritical, QString());
    };
    hooks.ended = [this](ConsoleRun::Ending how, std::exception_ptr error) { runEnded(how, error); };
    hooks.idle = [this] {
        m_cmdExecute->setEnabled(true);
        Q_EMIT runFinished();
    };
    return hooks;
}

void frmDOSOutput::cmdExecute_Click()
{
    if (isRunning() || refuseWithoutIdentifier())
        return;
    m_console->start([this] {
        setCursor(Qt::WaitCursor);
        m_cmdExecute->setEnabled(false);
        return commandBytesFromText(m_txtCommand->currentText());
    });
    if (isRunning())
        m_cmdStop->setVisible(true);
}

void frmDOSOutput::cmdStop_Click()
{
    m_console->stopByUser();
}

void frmDOSOutput::objDOS_ReceiveOutputs(const QString& CommandOutputs)
{
    m_txtOutputs->appendOutput(CommandOutputs);
}

void frmDOSOutput::runEnded(ConsoleRun::Ending how, std::exception_ptr error)
{
    m_txtOutputs->endOfStream();
    unsetCursor();
    m_cmdStop->setVisible(false);
    switch (how) {
    case ConsoleRun::Ending::Failed:
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            SystemMsgBox(runErrorText(e), vbOKOnly, QString());
        } catch (...) {
            SystemMsgBox(QStringLiteral("Unknown error - frmDOSOutput - 5"), vbOKOnly, QString());
        }
        break;
    case ConsoleRun::Ending::StoppedByUser:
        m_txtOutputs->appendLine(kStoppedByUser);
        [[fallthrough]];
    case ConsoleRun::Ending::Completed:
        SystemMsgBox(kReadComplete, vbOKOnly, QString());
        break;
    case ConsoleRun::Ending::Abandoned:
        // The window goes: no box waits for an answer.
        break;
    }
}

void frmDOSOutput::showEvent(QShowEvent* event)
{
    if (!m_loaded)
        Form_Load();
    QWidget::showEvent(event);
}

void frmDOSOutput::closeEvent(QCloseEvent* event)
{
    // Every way out (the title bar, the exit button, the window system)
    // comes here; the close is never refused.
    m_console->abandon();
    Form_QueryUnload();
    QWidget::closeEvent(event);
}

void frmDOSOutput::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmDOSOutput::Form_Resize()
{
    // Frame pieces follow the edges; nothing else moves. Widths and
    // heights read afresh at every step, as the pieces depend on each
    // other (the bottom pieces all take Image4's height).
    auto W = [this] { return width(); };
    auto H = [this] { return height(); };
    QLabel* image3 = Image(3);
    QLabel* image4 = Image(4);
    QLabel* image5 = Image(5);
    QLabel* image6 = Image(6);
    QLabel* image7 = Image(7);
    QLabel* image8 = Image(8);
    QLabel* image9 = Image(9);
    QLabel* image1 = Image(1);

    image6->move(W() - image6->width(), image6->y());
    image4->move(image4->x(), H() - image4->height());
    image7->move(image7->x(), H() - image4->height());
    image5->move(image5->x(), H() - image4->height());
    image6->resize(image6->width(), H());
    image5->move(W() - image5->width(), image5->y());
    image7->resize(W(), image7->height());
    image3->resize(image3->width(), H());
    image9->move(W() - image9->width(), image9->y());
    m_LabelTOP->resize(W(), m_LabelTOP->height());
    image1->resize(W(), image1->height());
    image8->move(W() - image8->width() - tw(800), image8->y());

    // The title spans the strip, but its text stops short of the first
    // title-bar button instead of running under it.
    const int textWidth = m_Label2[4]->x() - 4 - m_LabelTOP->x();
    m_LabelTOP->setContentsMargins(0, 0, std::max(0, m_LabelTOP->width() - std::max(0, textWidth)), 0);
}

void frmDOSOutput::Check2_Click()
{
    const Qt::CheckState state = m_Check2->checkState();
    if (state == Qt::PartiallyChecked)
        return;
    const bool onTop = state == Qt::Checked;
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == onTop)
        return;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (QWindow* window = windowHandle(); window && isVisible()) {
        // Changing a shown widget's flags would hide and re-create it:
        // tell the native window only, and keep the widget's record.
        overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

bool frmDOSOutput::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_LabelTOP) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_dragOffset = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
                m_movePending = true;
            }
            break;
        }
        case QEvent::MouseMove:
            LabelTOP_MouseMove(static_cast<QMouseEvent*>(event));
            break;
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            m_movePending = false;
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmDOSOutput::LabelTOP_MouseMove(QMouseEvent* event)
{
    // Moving over the title with no button held moves nothing.
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (m_dragging) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        return;
    }
    // One move per press on the title. The window manager's move takes
    // the pointer, release included, so afterwards Qt may still report the
    // button held: a move started from such a report would follow the
    // pointer until the next click.
    if (!m_movePending)
        return;
    m_movePending = false;
    // The system's own move when the platform offers one; otherwise the
    // window follows the pointer until the button is released.
    if (QWindow* window = windowHandle(); window && window->startSystemMove())
        return;
    m_dragging = true;
    move(event->globalPosition().toPoint() - m_dragOffset);
}

} // namespace gv
