// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmAbout.h"

#include "AboutTexts.h"
#include "DesignFont.h"
#include "FileHelpers.h"
#include "LabelClicks.h"
#include "QtPlacement.h"
#include "about/core/AboutText.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

namespace gv {

const QString frmAbout::kHomePage = QString::fromUtf8(about::kHomePage);
const QString frmAbout::kDefsListPage = QString::fromUtf8(about::kDefsListPage);
const QString frmAbout::kChangeLogFeed = QString::fromUtf8(about::kChangeLogFeed);

namespace {

frmAbout::Inspector& inspectorSlot()
{
    static frmAbout::Inspector inspector;
    return inspector;
}

// The window was designed in twips; 15 of them make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The face the window was designed with; designFont() stands in the
// nearest installed sans face, preferring one with its metrics.
const QString kDesignFace = QStringLiteral("MS Sans Serif");

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(designFont(kDesignFace, 8.25));
    return label;
}

// Auto-sized labels take the size of their one line of text, keeping their
// top-left corner.
void autoSize(QLabel* label)
{
    label->setWordWrap(false);
    label->resize(label->sizeHint());
}

// A single-line label narrower than its text (a stand-in face wider than
// the designed one) grows to the right rather than cutting the words off.
void fitWidth(QLabel* label)
{
    const int needed = label->fontMetrics().horizontalAdvance(label->text());
    if (needed > label->width())
        label->resize(needed, label->height());
}

// Two labels designed side by side on one line: if the first has grown into
// the second, the second moves along to keep a small gap.
void keepApart(const QLabel* left, QLabel* right, int gap)
{
    const int minLeft = left->geometry().right() + 1 + gap;
    if (right->x() < minLeft)
        right->move(minLeft, right->y());
}

void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

QLabel* makeImage(QWidget* parent, const char* name, const QString& resource, const QRect& rect)
{
    auto* image = new QLabel(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(rect);
    const QPixmap pixmap(resource);
    // A missing picture leaves an empty place rather than stopping the window.
    if (!pixmap.isNull())
        image->setPixmap(pixmap);
    return image;
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QString::fromUtf8(about::kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/art/icon32.png")));
    setFont(designFont(kDesignFace, 8.25));
    setFixedSize(500, 352);
    setSizeGripEnabled(false);
    buildControls();
}

frmAbout::~frmAbout() = default;

void frmAbout::buildControls()
{
    // Created back to front: a later sibling is drawn over an earlier one.
    // The logos go first so that the word "GUI" lies on the upper one, and
    // Label8's bold name can share the first line of Label5's paragraph,
    // which begins with blanks to leave it room.
    makeImage(this, "Image3", QStringLiteral(":/art/logo.jpg"), twips(6210, 300, 990, 780));
    makeImage(this, "Image2", QStringLiteral(":/art/logo2.jpg"), twips(6255, 2025, 990, 780));

    m_text1 = new QPlainTextEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(twips(105, 4335, 6615, 855));
    m_text1->setReadOnly(true);
    m_text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text1->setFont(designFont(kDesignFace, 8.25));
    m_text1->setPlainText(aboutTermsText());

    QLabel* label5 = makeLabel(this, "Label5", aboutProgramText(), twips(90, 270, 5805, 1035));
    label5->setWordWrap(true);

    QLabel* label8 = makeLabel(this, "Label8", QStringLiteral("GUI-Vonk"), twips(105, 270, 780, 195));
    label8->setFont(designFont(kDesignFace, 8.25, true));
    autoSize(label8);

    QLabel* label6 = makeLabel(this, "Label6", QStringLiteral("Vonk"), twips(75, 1335, 540, 300));
    label6->setFont(designFont(kDesignFace, 12, true));
    autoSize(label6);

    m_label2[2] = makeLabel(this, "Label2_2", QStringLiteral("home page"), twips(690, 1395, 795, 195));
    m_label2[2]->setFont(designFont(kDesignFace, 8.25, false, true));
    setTextColour(m_label2[2], QColor(0, 0, 192));
    m_label2[2]->setCursor(Qt::PointingHandCursor);
    m_label2[2]->setToolTip(QStringLiteral("home page di voNK"));
    autoSize(m_label2[2]);

    m_label2[0] = makeLabel(this, "Label2_0", aboutIdentifierText(), twips(60, 1650, 5805, 825));
    m_label2[0]->setWordWrap(true);

    QLabel* label3 = makeLabel(this, "Label3", aboutDefinitionsText(), twips(75, 2520, 5805, 1035));
    label3->setWordWrap(true);

    m_image1 = makeImage(this, "Image1", QStringLiteral(":/art/feed.png"), twips(90, 3690, 540, 210));
    m_image1->setToolTip(QStringLiteral("Feed aggiornato (click per collegarsi)"));

    QLabel* label4 = makeLabel(this, "Label4", QStringLiteral("Vonk's Definitions DB changes log feed"), twips(750, 3720, 2895, 180));

    QLabel* label1 = makeLabel(this, "Label1", QStringLiteral("VonkDefs.VKD package, 326KB ZIP (3390 tipi di file, 28062008)"),
              twips(75, 3990, 4725, 195));

    // The only label with a background of its own: the form's colour.
    m_label7 = makeLabel(this, "Label7", QStringLiteral("File extension defs"), twips(4905, 3990, 1380, 210));
    m_label7->setFont(designFont(kDesignFace, 8.25, false, true));
    setTextColour(m_label7, QColor(0, 0, 192));
    m_label7->setAutoFillBackground(true);
    m_label7->setToolTip(QStringLiteral("vai alla pagina definizioni [on line]"));

    // With the designed face these change nothing; with a wider stand-in
    // they keep every caption whole and side-by-side captions apart.
    fitWidth(label4);
    fitWidth(label1);
    fitWidth(m_label7);
    keepApart(label1, m_label7, 6);
    keepApart(label6, m_label2[2], 2);

    QLabel* label9 = makeLabel(this, "Label9", QStringLiteral("GUI"), twips(6360, 630, 675, 435));
    label9->setFont(designFont(kDesignFace, 18, true));
    setTextColour(label9, Qt::white);
    autoSize(label9);

    // Tab order as designed: Label1 (0) up to Label9 (10); only Text1 takes
    // the focus, the rest are labels.
    m_text1->setFocus();

    using K = LabelClicks;
    K::attach(m_label2[0], K::Click, [this] { Label2_Click(0); });
    K::attach(m_label2[2], K::Click, [this] { Label2_Click(2); });
    K::attach(m_label7, K::Click, [this] { Label7_Click(); });
    K::attach(m_image1, K::Click, [this] { Image1_Click(); });
}

QLabel* frmAbout::Label2(int index) const
{
    return (index == 0 || index == 2) ? m_label2[static_cast<std::size_t>(index)] : nullptr;
}

void frmAbout::Label2_Click(int index)
{
    // Member 0 is the description paragraph: it shares the handler but
    // opens nothing.
    if (index == 2)
        OpenWithShell(kHomePage, QString());
}

void frmAbout::Label7_Click()
{
    OpenWithShell(kDefsListPage, QString());
}

void frmAbout::Image1_Click()
{
    OpenWithShell(kChangeLogFeed, QString());
}

void frmAbout::setInspector(Inspector inspector)
{
    inspectorSlot() = std::move(inspector);
}

void frmAbout::showModalAbout(QWidget* parent)
{
    // Application-modal, in the centre of the screen whichever window asked
    // for it. It stands over the asking window for the window manager: one
    // that offers to minimise the About window (a dialog asks for no minimise
    // button, but not every manager listens) then minimises and restores the
    // two together, instead of hiding the About window alone and leaving the
    // blocked main window dead.
    frmAbout about(parent ? parent->window() : nullptr);
    about.setWindowModality(Qt::ApplicationModal);
    // Placed before it is shown, when it has no frame yet: its client
    // area is centred, within a few pixels of the whole window's centre.
    PlaceWindow(&about, parent ? parent->window() : nullptr, ScreenCenter, 0);
    if (const Inspector& inspector = inspectorSlot()) {
        QPointer<frmAbout> guard(&about);
        QTimer::singleShot(0, &about, [guard, inspector] {
            if (!guard)
                return;
            inspector(*guard);
            if (guard && guard->isVisible())
                guard->reject();
        });
    }
    about.exec();
}

} // namespace gv
