#include "MainWindowDesign.h"

#include "ConsolePane.h"
#include "winhelpers/DesignFont.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

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

int MainWindowDesign::twips(int value)
{
    return tw(value);
}

QString MainWindowDesign::identifierAuthorMail()
{
    return QStringLiteral("vonk@example.org");
}

QString MainWindowDesign::programAuthorMail()
{
    return QStringLiteral("gui@example.net");
}

QString MainWindowDesign::distributionHomePage()
{
    return QStringLiteral("https://lumetra.example.org/");
}

QString MainWindowDesign::contactPage()
{
    return QStringLiteral("https://vonk.example.org/contatti.html");
}
void MainWindowDesign::buildDesign(QWidget* form)
{
    form->setObjectName(QStringLiteral("frmDOSOutput"));
    form->setWindowTitle(QStringLiteral("VONK Gui"));
    form->setFont(designFont(kSans, 8.25));
    form->resize(DesignWidth, DesignHeight);

    QIcon icon;
    for (const char* path : { ":/art/icon16.png", ":/art/icon32.png", ":/art/icon48.png" }) {
        const QString file = QString::fromLatin1(path);
        if (QFile::exists(file))
            icon.addFile(file);
    }
    if (!icon.isNull())
        form->setWindowIcon(icon);

    buildFrame(form);
    buildControls(form);
    applyTabOrder();
}

void MainWindowDesign::buildFrame(QWidget* form)
{
    // The frame pieces lie under every other control; the hot spots and
    // the title label are raised over them later.
    const QString frame = QStringLiteral(":/art/frame/Image%1.png");
    m_Image[0] = makeImage(form, "Image1", twipsRect(15, 0, 7875, 300), frame.arg(1), true);
    m_Image[2] = makeImage(form, "Image3", twipsRect(15, 930, 60, 4905), frame.arg(3), true);
    m_Image[1] = makeImage(form, "Image2", twipsRect(15, 285, 60, 645), frame.arg(2), false);
    m_Image[5] = makeImage(form, "Image6", twipsRect(8655, 285, 60, 2610), frame.arg(6), true);
    m_Image[6] = makeImage(form, "Image7", twipsRect(345, 5805, 4215, 120), frame.arg(7), true);
    m_Image[3] = makeImage(form, "Image4", twipsRect(15, 5805, 345, 120), frame.arg(4), false);
    m_Image[4] = makeImage(form, "Image5", twipsRect(4530, 5805, 330, 120), frame.arg(5), false);
    m_Image[7] = makeImage(form, "Image8", twipsRect(7725, 0, 180, 300), frame.arg(8), false);
    m_Image[8] = makeImage(form, "Image9", twipsRect(7920, 0, 795, 300), frame.arg(9), false);
    m_Image[9] = makeImage(form, "Image10", twipsRect(60, 0, 180, 300), frame.arg(10), false);
}

void MainWindowDesign::buildControls(QWidget* form)
{
    const QColor red(255, 0, 0);
    const QColor buttonFace = form->palette().color(QPalette::Window);

    // Title text and the title-bar hot spots, which stay over it.
    m_LabelTOP = makeLabel(form, "LabelTOP", twipsRect(405, 60, 2415, 225), QStringLiteral("OEM"));
    m_LabelTOP->setFont(designFont(kTahoma, 8.25, true));
    setTextColour(m_LabelTOP, QColor(255, 128, 0));

    m_Label7 = makeLabel(form, "Label7", twipsRect(8415, 60, 225, 180));
    m_Label7->setToolTip(QStringLiteral("Chiudi Programma"));
    m_Label9 = makeLabel(form, "Label9", twipsRect(5445, 45, 255, 255));
    m_Label9->setToolTip(QStringLiteral("Chiudi Quorvane"));
    m_Label8 = makeLabel(form, "Label8", twipsRect(5205, 30, 195, 255));
    m_Label8->setToolTip(QStringLiteral("Massimizza / Ripristina"));
    m_Label2[4] = makeLabel(form, "Label2_4", twipsRect(4950, 45, 255, 255));
    m_Label2[4]->setToolTip(QStringLiteral("Minimizza nella traybar"));
    // Each title-bar button is drawn by the hot spot that does its work;
    // the maximise and "Chiudi Quorvane" spots do nothing and draw nothing.
    if (const QPixmap glyph(QStringLiteral(":/art/frame/Minimise.png")); !glyph.isNull())
        m_Label2[4]->setPixmap(glyph);

    // Header panel: logo, the large "GUI" over it, the description.
    m_Picture1 = new QFrame(form);
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

    m_Check2 = new QCheckBox(QStringLiteral("Sempre in primo piano"), form);
    m_Check2->setObjectName(QStringLiteral("Check2"));
    m_Check2->setGeometry(twipsRect(240, 1680, 2430, 315));
    setTextColour(m_Check2, QColor(128, 0, 0));
    m_Check2->setEnabled(false);

    m_Check1 = new QCheckBox(QStringLiteral("Attiva [max number of matches][-r:nn ]"), form);
    m_Check1->setObjectName(QStringLiteral("Check1"));
    m_Check1->setGeometry(twipsRect(240, 1470, 3615, 225));

    m_ckVerbose = new QCheckBox(QStringLiteral("Attiva : [verbose mode][-v]"), form);
    m_ckVerbose->setObjectName(QStringLiteral("ckVerbose"));
    m_ckVerbose->setGeometry(twipsRect(255, 1200, 2550, 225));
    m_ckVerbose->setToolTip(QStringLiteral("Abilita la visualizzazione dettagli"));

    // State-carrying controls beyond the designed client width.
    m_txtCartella = new QLineEdit(form);
    m_txtCartella->setObjectName(QStringLiteral("txtCartella"));
    m_txtCartella->setGeometry(twipsRect(10710, 4770, 2910, 300));

    auto* placement = new QButtonGroup(form);
    placement->setExclusive(true);
    const int optionTops[5] = { 2475, 2820, 3150, 3495, 3840 };
    for (int i = 0; i < 5; ++i) {
        auto* option = new QRadioButton(QStringLiteral("Option1"), form);
        option->setObjectName(QStringLiteral("Option1_%1").arg(i));
        option->setGeometry(twipsRect(9795, optionTops[i], 2000, 225));
        placement->addButton(option, i);
        m_Option1[size_t(i)] = option;
    }

    m_txtFile = new QLineEdit(form);
    m_txtFile->setObjectName(QStringLiteral("txtFile"));
    m_txtFile->setGeometry(twipsRect(10695, 4425, 2940, 300));

    m_cmdFile = new QPushButton(QStringLiteral("File"), form);
    m_cmdFile->setObjectName(QStringLiteral("cmdFile"));
    m_cmdFile->setGeometry(twipsRect(6585, 1215, 1875, 375));
    m_cmdFile->setToolTip(QStringLiteral("Scelta del FILE da esaminare con Vonk"));

    m_cmdCartella = new QPushButton(QStringLiteral("Cartella"), form);
    m_cmdCartella->setObjectName(QStringLiteral("cmdCartella"));
    m_cmdCartella->setGeometry(twipsRect(4635, 1215, 1875, 375));
    m_cmdCartella->setToolTip(QStringLiteral("Scelta dela CARTELLA  da esaminare con Vonk"));

    m_txtCommand = new QComboBox(form);
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

    m_cmdExit = new QPushButton(QStringLiteral("Esci"), form);
    m_cmdExit->setObjectName(QStringLiteral("cmdExit"));
    m_cmdExit->setGeometry(twipsRect(7020, 5280, 1410, 450));
    m_cmdExit->setFont(designFont(kSans, 8.25, true));
    m_cmdExit->setToolTip(QStringLiteral("Chiude il programma"));

    m_txtOutputs = new ConsolePane(form);
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

    m_cmdExecute = new QPushButton(QStringLiteral("Execute"), form);
    m_cmdExecute->setObjectName(QStringLiteral("cmdExecute"));
    m_cmdExecute->setGeometry(twipsRect(10680, 5130, 1875, 375));
    m_cmdExecute->setDefault(true);
    m_cmdExecute->setVisible(false);

    // Shown only while a run lasts, beside the exit button.
    m_cmdStop = new QPushButton(QStringLiteral("Stop"), form);
    m_cmdStop->setObjectName(QStringLiteral("cmdStop"));
    m_cmdStop->setGeometry(tw(6105), tw(5280), tw(840), tw(450));
    m_cmdStop->setFont(designFont(kSans, 8.25, true));
    m_cmdStop->setToolTip(QStringLiteral("Interrompe il comando in corso (Esc)"));
    m_cmdStop->setVisible(false);

    m_Label5 = makeLabel(form, "Label5", twipsRect(5475, 1830, 840, 165), QStringLiteral("Lumetra"));
    m_Label5->setFont(designFont(kArial, 6.75, true, true));
    setTextColour(m_Label5, red);
    m_Label5->setToolTip(distributionHomePage() + QStringLiteral(" - distribuzione curata dallo staff Lumetra"));
    autoSize(m_Label5);

    m_Label1 = makeLabel(form, "Label1", twipsRect(3165, 1830, 4635, 165),
        QStringLiteral("Un grazie particolare allo staff di                      per la distribuzione "));
    m_Label1->setFont(designFont(kArial, 6.75, true));
    setTextColour(m_Label1, red);
    autoSize(m_Label1);
    m_Label5->raise(); // sits in the thanks line's gap

    const QColor linkBlue(0, 0, 255);
    m_Label2[3] = makeLabel(form, "Label2_3", twipsRect(255, 5520, 2070, 195), identifierAuthorMail() + QStringLiteral(" ->Vonk"));
    m_Label2[3]->setToolTip(QStringLiteral("Scrivi all'autore di Vonk"));
    m_Label2[2] = makeLabel(form, "Label2_2", twipsRect(2535, 5520, 2460, 195), programAuthorMail() + QStringLiteral(" ->GUI-Vonk"));
    m_Label2[2]->setToolTip(QStringLiteral("Scrivi all'autore di GUI-Vonk"));
    m_Label2[1] = makeLabel(form, "Label2_1", twipsRect(7980, 1785, 420, 195), QStringLiteral("About"));
    m_Label2[1]->setToolTip(QStringLiteral("info programma"));
    for (int i = 1; i <= 3; ++i) {
        QLabel* link = m_Label2[size_t(i)];
        link->setFont(designFont(kSans, 8.25, false, true));
        setTextColour(link, i == 1 ? QColor(0, 0, 192) : linkBlue);
        link->setCursor(Qt::UpArrowCursor);
        autoSize(link);
    }

    m_lblControl = makeLabel(form, "lblControl", twipsRect(10740, 5580, 630, 240), QStringLiteral("-"));
    m_lblControl->setAutoFillBackground(true);
    {
        QPalette p = m_lblControl->palette();
        p.setColor(QPalette::Window, red);
        m_lblControl->setPalette(p);
    }

    m_Label4 = makeLabel(form, "Label4", twipsRect(195, 5325, 5775, 165),
        QStringLiteral("Puoi anche trascinare il FILE o la CARTELLA scelta sul FORM per eseguire il parsing"));
    m_Label4->setFont(designFont(kArial, 6.75, true));
    setTextColour(m_Label4, red);
    autoSize(m_Label4);

    m_Label3 = makeLabel(form, "Label3", twipsRect(9765, 4860, 1215, 165), QStringLiteral("Cartella"));
    m_Label2[0] = makeLabel(form, "Label2_0", twipsRect(9750, 4500, 1215, 165), QStringLiteral("file"));
}

void MainWindowDesign::applyTabOrder()
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

QRadioButton* MainWindowDesign::Option1(int index) const
{
    return index >= 0 && index < 5 ? m_Option1[size_t(index)] : nullptr;
}

QLabel* MainWindowDesign::Label2(int index) const
{
    return index >= 0 && index < 5 ? m_Label2[size_t(index)] : nullptr;
}

QLabel* MainWindowDesign::Image(int number) const
{
    return number >= 1 && number <= 10 ? m_Image[size_t(number - 1)] : nullptr;
}

} // namespace gv
