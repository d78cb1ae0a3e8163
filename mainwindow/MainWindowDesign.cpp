// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindowDesign.h"

#include "ConsolePane.h"
#include "winhelpers/DesignFont.h"
#include "mainwindow/core/DesignTable.h"

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

namespace d = gv::design;

// Twips to pixels at 96 dots per inch.
int tw(int twips)
{
    return d::pixels(twips);
}

QRect twipsRect(d::Twips t)
{
    return QRect(tw(t.left), tw(t.top), tw(t.width), tw(t.height));
}

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QColor colour(d::Rgb c)
{
    return QColor(c.r, c.g, c.b);
}

QFont font(const d::Font& f)
{
    return designFont(text(f.face), f.points, f.bold, f.underline);
}

QString descriptionText()
{
    return text(d::kDescription);
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
    return text(d::kIdentifierAuthorMail);
}

QString MainWindowDesign::programAuthorMail()
{
    return text(d::kProgramAuthorMail);
}

QString MainWindowDesign::distributionHomePage()
{
    return text(d::kDistributionHomePage);
}

QString MainWindowDesign::contactPage()
{
    return text(d::kContactPage);
}
void MainWindowDesign::buildDesign(QWidget* form)
{
    form->setObjectName(QStringLiteral("frmDOSOutput"));
    form->setWindowTitle(text(d::kCaption));
    form->setFont(font(d::kFormFont));
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
    for (const int i : { 0, 2, 1, 5, 6, 3, 4, 7, 8, 9 }) {
        const QByteArray name = "Image" + QByteArray::number(i + 1);
        m_Image[size_t(i)] = makeImage(form, name.constData(), twipsRect(d::kImage[i]), frame.arg(i + 1),
                                       d::kImageStretched[i]);
    }
}

void MainWindowDesign::buildControls(QWidget* form)
{
    const QColor red = colour(d::kRed);
    const QColor buttonFace = form->palette().color(QPalette::Window);

    // Title text and the title-bar hot spots, which stay over it.
    m_LabelTOP = makeLabel(form, "LabelTOP", twipsRect(d::kLabelTOP), QStringLiteral("OEM"));
    m_LabelTOP->setFont(font(d::kTitleFont));
    setTextColour(m_LabelTOP, colour(d::kTitleOrange));

    m_Label7 = makeLabel(form, "Label7", twipsRect(d::kLabel7));
    m_Label7->setToolTip(text(d::kLabel7Tip));
    m_Label9 = makeLabel(form, "Label9", twipsRect(d::kLabel9));
    m_Label9->setToolTip(text(d::kLabel9Tip));
    m_Label8 = makeLabel(form, "Label8", twipsRect(d::kLabel8));
    m_Label8->setToolTip(text(d::kLabel8Tip));
    m_Label2[4] = makeLabel(form, "Label2_4", twipsRect(d::kLabel2_4));
    m_Label2[4]->setToolTip(text(d::kLabel2_4Tip));
    // Each title-bar button is drawn by the hot spot that does its work;
    // the maximise and "Chiudi Quorvane" spots do nothing and draw nothing.
    if (const QPixmap glyph(QStringLiteral(":/art/frame/Minimise.png")); !glyph.isNull())
        m_Label2[4]->setPixmap(glyph);

    // Header panel: logo, the large "GUI" over it, the description.
    m_Picture1 = new QFrame(form);
    m_Picture1->setObjectName(QStringLiteral("Picture1"));
    m_Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_Picture1->setGeometry(twipsRect(d::kPicture1));
    m_Image78 = makeImage(m_Picture1, "Image78", twipsRect(d::kImage78), QStringLiteral(":/art/logo.jpg"), false);
    m_Label6 = makeLabel(m_Picture1, "Label6", twipsRect(d::kLabel6), text(d::kLabel6Text));
    m_Label6->setFont(font(d::kHeaderWordFont));
    setTextColour(m_Label6, colour(d::kWhite));
    autoSize(m_Label6);
    m_Text1 = new QPlainTextEdit(m_Picture1);
    m_Text1->setObjectName(QStringLiteral("Text1"));
    m_Text1->setGeometry(twipsRect(d::kText1));
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

    m_Check2 = new QCheckBox(text(d::kCheck2Text), form);
    m_Check2->setObjectName(QStringLiteral("Check2"));
    m_Check2->setGeometry(twipsRect(d::kCheck2));
    setTextColour(m_Check2, colour(d::kDarkRed));
    m_Check2->setEnabled(false);

    m_Check1 = new QCheckBox(text(d::kCheck1Text), form);
    m_Check1->setObjectName(QStringLiteral("Check1"));
    m_Check1->setGeometry(twipsRect(d::kCheck1));

    m_ckVerbose = new QCheckBox(text(d::kCkVerboseText), form);
    m_ckVerbose->setObjectName(QStringLiteral("ckVerbose"));
    m_ckVerbose->setGeometry(twipsRect(d::kCkVerbose));
    m_ckVerbose->setToolTip(text(d::kCkVerboseTip));

    // State-carrying controls beyond the designed client width.
    m_txtCartella = new QLineEdit(form);
    m_txtCartella->setObjectName(QStringLiteral("txtCartella"));
    m_txtCartella->setGeometry(twipsRect(d::kTxtCartella));

    auto* placement = new QButtonGroup(form);
    placement->setExclusive(true);
    for (int i = 0; i < 5; ++i) {
        auto* option = new QRadioButton(text(d::kOption1Design), form);
        option->setObjectName(QStringLiteral("Option1_%1").arg(i));
        option->setGeometry(twipsRect({ d::kOption1Left, d::kOption1Top[i], d::kOption1Width, d::kOption1Height }));
        placement->addButton(option, i);
        m_Option1[size_t(i)] = option;
    }

    m_txtFile = new QLineEdit(form);
    m_txtFile->setObjectName(QStringLiteral("txtFile"));
    m_txtFile->setGeometry(twipsRect(d::kTxtFile));

    m_cmdFile = new QPushButton(text(d::kCmdFileText), form);
    m_cmdFile->setObjectName(QStringLiteral("cmdFile"));
    m_cmdFile->setGeometry(twipsRect(d::kCmdFile));
    m_cmdFile->setToolTip(text(d::kCmdFileTip));

    m_cmdCartella = new QPushButton(text(d::kCmdCartellaText), form);
    m_cmdCartella->setObjectName(QStringLiteral("cmdCartella"));
    m_cmdCartella->setGeometry(twipsRect(d::kCmdCartella));
    m_cmdCartella->setToolTip(text(d::kCmdCartellaTip));

    m_txtCommand = new QComboBox(form);
    m_txtCommand->setObjectName(QStringLiteral("txtCommand"));
    m_txtCommand->setEditable(true);
    // The field records no history of runs.
    m_txtCommand->setInsertPolicy(QComboBox::NoInsert);
    m_txtCommand->setGeometry(twipsRect(d::kTxtCommand));
    m_txtCommand->setFont(font(d::kCommandFont));
    for (const char* preset : d::kCommandPresets)
        m_txtCommand->addItem(text(preset), 0);
    m_txtCommand->setEditText(text(d::kCommandIntro) + contactPage());
    {
        QPalette p = m_txtCommand->palette();
        p.setColor(QPalette::Base, buttonFace);
        m_txtCommand->setPalette(p);
    }
    m_txtCommand->setEnabled(false);

    m_cmdExit = new QPushButton(text(d::kCmdExitText), form);
    m_cmdExit->setObjectName(QStringLiteral("cmdExit"));
    m_cmdExit->setGeometry(twipsRect(d::kCmdExit));
    m_cmdExit->setFont(font(d::kBoldButtonFont));
    m_cmdExit->setToolTip(text(d::kCmdExitTip));

    m_txtOutputs = new ConsolePane(form);
    m_txtOutputs->setObjectName(QStringLiteral("txtOutputs"));
    m_txtOutputs->setGeometry(twipsRect(d::kTxtOutputs));
    m_txtOutputs->setFont(font(d::kConsoleFont));
    {
        QPalette p = m_txtOutputs->palette();
        for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
            p.setColor(group, QPalette::Base, colour(d::kConsoleBack));
            p.setColor(group, QPalette::Text, colour(d::kConsoleText));
        }
        m_txtOutputs->setPalette(p);
    }
    m_txtOutputs->setToolTip(text(d::kTxtOutputsTip));
    m_txtOutputs->setConsoleText(text(d::kIdleLine));

    m_cmdExecute = new QPushButton(text(d::kCmdExecuteText), form);
    m_cmdExecute->setObjectName(QStringLiteral("cmdExecute"));
    m_cmdExecute->setGeometry(twipsRect(d::kCmdExecute));
    m_cmdExecute->setDefault(true);
    m_cmdExecute->setVisible(false);

    // Shown only while a run lasts, beside the exit button.
    m_cmdStop = new QPushButton(text(d::kCmdStopText), form);
    m_cmdStop->setObjectName(QStringLiteral("cmdStop"));
    m_cmdStop->setGeometry(twipsRect(d::kCmdStop));
    m_cmdStop->setFont(font(d::kBoldButtonFont));
    m_cmdStop->setToolTip(text(d::kCmdStopTip));
    m_cmdStop->setVisible(false);

    m_Label5 = makeLabel(form, "Label5", twipsRect(d::kLabel5), text(d::kLabel5Text));
    m_Label5->setFont(font(d::kDistributionFont));
    setTextColour(m_Label5, red);
    m_Label5->setToolTip(distributionHomePage() + text(d::kLabel5TipTail));
    autoSize(m_Label5);

    m_Label1 = makeLabel(form, "Label1", twipsRect(d::kLabel1), text(d::kLabel1Text));
    m_Label1->setFont(font(d::kRedLineFont));
    setTextColour(m_Label1, red);
    autoSize(m_Label1);
    m_Label5->raise(); // sits in the thanks line's gap

    const QColor linkBlue = colour(d::kLinkBlue);
    m_Label2[3] = makeLabel(form, "Label2_3", twipsRect(d::kLabel2_3), identifierAuthorMail() + text(d::kLabel2_3Tail));
    m_Label2[3]->setToolTip(text(d::kLabel2_3Tip));
    m_Label2[2] = makeLabel(form, "Label2_2", twipsRect(d::kLabel2_2), programAuthorMail() + text(d::kLabel2_2Tail));
    m_Label2[2]->setToolTip(text(d::kLabel2_2Tip));
    m_Label2[1] = makeLabel(form, "Label2_1", twipsRect(d::kLabel2_1), text(d::kLabel2_1Text));
    m_Label2[1]->setToolTip(text(d::kLabel2_1Tip));
    for (int i = 1; i <= 3; ++i) {
        QLabel* link = m_Label2[size_t(i)];
        link->setFont(font(d::kLinkFont));
        setTextColour(link, i == 1 ? colour(d::kAboutBlue) : linkBlue);
        link->setCursor(Qt::UpArrowCursor);
        autoSize(link);
    }

    m_lblControl = makeLabel(form, "lblControl", twipsRect(d::kLblControl), QStringLiteral("-"));
    m_lblControl->setAutoFillBackground(true);
    {
        QPalette p = m_lblControl->palette();
        p.setColor(QPalette::Window, red);
        m_lblControl->setPalette(p);
    }

    m_Label4 = makeLabel(form, "Label4", twipsRect(d::kLabel4), text(d::kLabel4Text));
    m_Label4->setFont(font(d::kRedLineFont));
    setTextColour(m_Label4, red);
    autoSize(m_Label4);

    m_Label3 = makeLabel(form, "Label3", twipsRect(d::kLabel3), text(d::kLabel3Text));
    m_Label2[0] = makeLabel(form, "Label2_0", twipsRect(d::kLabel2_0), text(d::kLabel2_0Text));
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
