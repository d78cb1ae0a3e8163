// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmAbout.h"

#include "MsgBox.h"
#include "FileHelpers.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

namespace {

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gv::SetShellOpener([this](const QString& target, const QString& params) {
            m_opened.push_back(target);
            m_params.push_back(params);
            return m_openSucceeds;
        });
        gv::SetMsgBoxAnswerer([this](const gv::MsgBoxRequest& req, QMessageBox*) {
            m_boxes.push_back(req);
            return int(gv::vbOK);
        });
    }
    void TearDown() override
    {
        gv::SetShellOpener({});
        gv::SetMsgBoxAnswerer({});
        gv::frmAbout::setInspector({});
    }

    std::vector<QString> m_opened;
    std::vector<QString> m_params; // every link passes empty parameters
    std::vector<gv::MsgBoxRequest> m_boxes;
    bool m_openSucceeds = true;
};

// True when the face shown has the designed face's metrics, so that every
// caption must sit exactly where it was designed.
bool designMetrics(const QFont& font)
{
    const QString family = QFontInfo(font).family();
    return family == QStringLiteral("Liberation Sans") || family == QStringLiteral("Arimo")
        || family == QStringLiteral("MS Sans Serif");
}

template <typename T = QWidget>
T* child(const QWidget& w, const char* name)
{
    return w.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

TEST_F(AboutTest, IsAFixedSizeDialogWithoutMinimiseOrMaximise)
{
    gv::frmAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Info GUI-Vonk 1.0 - Gui per Vonk command line."));
    EXPECT_EQ(about.size(), QSize(500, 352));
    EXPECT_EQ(about.minimumSize(), QSize(500, 352));
    EXPECT_EQ(about.maximumSize(), QSize(500, 352));
    const Qt::WindowFlags flags = about.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_FALSE(about.isSizeGripEnabled());
    about.show();
    about.resize(800, 600);
    EXPECT_EQ(about.size(), QSize(500, 352));
}

// Every control of the design, in its place, with its text, tooltip and look.
TEST_F(AboutTest, ControlsMatchTheDesign)
{
    struct Row {
        const char* name;
        QRect rect;      // design rectangle in pixels
        bool autoSized;  // then only the top-left corner is designed
        QString text;    // empty: not checked here
        QString toolTip;
        qreal points;
        bool bold;
        bool underline;
        QColor colour;   // invalid: default text colour
    };
    const QColor link(0, 0, 192);
    const std::vector<Row> rows = {
        {"Label9", {424, 42, 45, 29}, true, QStringLiteral("GUI"), {}, 18, true, false, Qt::white},
        {"Label2_2", {46, 93, 53, 13}, true, QStringLiteral("home page"), QStringLiteral("home page di voNK"), 8.25, false, true, link},
        {"Label8", {7, 18, 52, 13}, true, QStringLiteral("GUI-Vonk"), {}, 8.25, true, false, {}},
        {"Label7", {327, 266, 92, 14}, false, QStringLiteral("File extension defs"), QStringLiteral("vai alla pagina definizioni [on line]"), 8.25, false, true, link},
        {"Label6", {5, 89, 36, 20}, true, QStringLiteral("Vonk"), {}, 12, true, false, {}},
        {"Label5", {6, 18, 387, 69}, false, {}, {}, 8.25, false, false, {}},
        {"Label4", {50, 248, 193, 12}, false, QStringLiteral("Vonk's Definitions DB changes log feed"), {}, 8.25, false, false, {}},
        {"Label3", {5, 168, 387, 69}, false, {}, {}, 8.25, false, false, {}},
        {"Label2_0", {4, 110, 387, 55}, false, {}, {}, 8.25, false, false, {}},
        {"Label1", {5, 266, 315, 13}, false, QStringLiteral("VonkDefs.VKD package, 326KB ZIP (3390 tipi di file, 28062008)"), {}, 8.25, false, false, {}},
    };
    gv::frmAbout about;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto* label = child<QLabel>(about, r.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->y(), r.rect.y());
        if (designMetrics(label->font())) {
            EXPECT_EQ(label->x(), r.rect.x());
            if (!r.autoSized) {
                EXPECT_EQ(label->size(), r.rect.size());
            }
        } else {
            // A wider stand-in face may push a caption right or widen it,
            // never shrink it or move it left.
            EXPECT_GE(label->x(), r.rect.x());
            if (!r.autoSized) {
                EXPECT_GE(label->width(), r.rect.width());
                EXPECT_EQ(label->height(), r.rect.height());
            }
        }
        if (!r.text.isEmpty()) {
            EXPECT_EQ(label->text(), r.text);
        }
        EXPECT_EQ(label->toolTip(), r.toolTip);
        EXPECT_DOUBLE_EQ(label->font().pointSizeF(), r.points);
        EXPECT_EQ(label->font().bold(), r.bold);
        EXPECT_EQ(label->font().underline(), r.underline);
        if (r.colour.isValid()) {
            EXPECT_EQ(label->palette().color(QPalette::WindowText), r.colour);
        }
    }

    struct Picture {
        const char* name;
        QRect rect;
        QSize picture;
        QString toolTip;
    };
    const std::vector<Picture> pictures = {
        {"Image1", {6, 246, 36, 14}, {36, 14}, QStringLiteral("Feed aggiornato (click per collegarsi)")},
        {"Image2", {417, 135, 66, 52}, {66, 52}, {}},
        {"Image3", {414, 20, 66, 52}, {66, 52}, {}},
    };
    for (const Picture& p : pictures) {
        SCOPED_TRACE(p.name);
        auto* image = child<QLabel>(about, p.name);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->geometry(), p.rect);
        EXPECT_EQ(image->pixmap().size(), p.picture);
        EXPECT_EQ(image->toolTip(), p.toolTip);
    }

    auto* text1 = child<QPlainTextEdit>(about, "Text1");
    ASSERT_NE(text1, nullptr);
    EXPECT_EQ(text1->geometry(), QRect(7, 289, 441, 57));
}

TEST_F(AboutTest, TextsFollowTheDesign)
{
    gv::frmAbout about;
    const QString label5 = child<QLabel>(about, "Label5")->text();
    EXPECT_TRUE(label5.startsWith(QString(19, QLatin1Char(' ')) + QStringLiteral("è "))) << label5.toStdString();
    EXPECT_TRUE(child<QLabel>(about, "Label2_0")->text().startsWith(
        QStringLiteral("Vonk è un utility per l'identificazione di binary files.")));
    EXPECT_TRUE(child<QLabel>(about, "Label2_0")->text().contains(QStringLiteral("automatico")));
    const QString terms = child<QPlainTextEdit>(about, "Text1")->toPlainText();
    EXPECT_TRUE(terms.startsWith(QStringLiteral("Condizioni Generali\n")));
    EXPECT_TRUE(terms.contains(QStringLiteral("\nTutela dei dati personali\n")));
    // Blank lines separate the paragraphs of the terms.
    EXPECT_GE(terms.count(QStringLiteral("\n\n")), 5);
}

// The words must fit where they are put and every accented letter must have
// a glyph in the face that shows it.
TEST_F(AboutTest, TextsAreNotClippedAndAccentsHaveGlyphs)
{
    gv::frmAbout about;
    about.show();
    const auto labels = about.findChildren<QLabel*>();
    int checked = 0;
    for (QLabel* label : labels) {
        if (label->text().isEmpty())
            continue;
        SCOPED_TRACE(label->objectName().toStdString());
        ++checked;
        const QFontMetrics fm(label->font());
        if (label->wordWrap()) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height());
        } else {
            EXPECT_LE(fm.horizontalAdvance(label->text()), label->width());
            EXPECT_LE(fm.height(), label->height() + 2);
        }
        for (QChar c : label->text()) {
            if (c.unicode() > 0x7f) {
                EXPECT_TRUE(fm.inFontUcs4(c.unicode())) << "no glyph for U+" << std::hex << int(c.unicode());
            }
        }
    }
    EXPECT_EQ(checked, 10);
    auto* text1 = child<QPlainTextEdit>(about, "Text1");
    const QFontMetrics fm(text1->font());
    for (QChar c : text1->toPlainText()) {
        if (c.unicode() > 0x7f) {
            EXPECT_TRUE(fm.inFontUcs4(c.unicode())) << "no glyph for U+" << std::hex << int(c.unicode());
        }
    }
}

TEST_F(AboutTest, TermsAreReadOnlyAndScroll)
{
    gv::frmAbout about;
    about.show();
    auto* text1 = child<QPlainTextEdit>(about, "Text1");
    ASSERT_NE(text1, nullptr);
    QApplication::processEvents();
    const QString before = text1->toPlainText();
    text1->setFocus();
    QTest::keyClicks(text1, QStringLiteral("xyz"));
    QTest::keyClick(text1, Qt::Key_Backspace);
    QTest::keyClick(text1, Qt::Key_Delete);
    EXPECT_EQ(text1->toPlainText(), before);
    QScrollBar* bar = text1->verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_GT(bar->maximum(), 0) << "the terms should be longer than the box";
    QTest::keyClick(text1, Qt::Key_PageDown);
    QTest::keyClick(text1, Qt::Key_PageDown);
    EXPECT_GT(bar->value(), 0);
}

// Each link opens exactly its own target through the shell, once per click;
// everything else opens nothing.
TEST_F(AboutTest, LinksOpenTheirTargetsAndNothingElseOpens)
{
    struct Case {
        const char* control;
        QString target; // empty: nothing may open
    };
    const std::vector<Case> cases = {
        {"Label2_2", QStringLiteral("https://vonk.example.org/soft-vonk.html")},
        {"Label7", QStringLiteral("https://vonk.example.org/soft-vonk-deflist.html")},
        {"Image1", QStringLiteral("https://forum.example.org/forum/index.php?action=.xml;sa=recent;board=8.0;limit=15;type=rss2")},
        {"Label2_0", {}},
        {"Label1", {}},
        {"Label3", {}},
        {"Label4", {}},
        {"Label5", {}},
        {"Label6", {}},
        {"Label8", {}},
        {"Label9", {}},
        {"Image2", {}},
        {"Image3", {}},
    };
    gv::frmAbout about;
    about.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        m_opened.clear();
        m_params.clear();
        QWidget* w = child(about, c.control);
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseClick(w, Qt::RightButton, {}, QPoint(2, 2));
        if (c.target.isEmpty()) {
            EXPECT_TRUE(m_opened.empty());
        } else {
            ASSERT_EQ(m_opened.size(), 1u);
            EXPECT_EQ(m_opened.front(), c.target);
            EXPECT_TRUE(m_params.front().isEmpty());
        }
        EXPECT_TRUE(about.isVisible()) << "following a link leaves the window open";
    }
    EXPECT_TRUE(m_boxes.empty());
}

// A double click on a link is one request, not two: the second press of a
// double click does not open the page again.
TEST_F(AboutTest, DoubleClickOpensALinkOnce)
{
    gv::frmAbout about;
    about.show();
    QWidget* link = child(about, "Image1");
    ASSERT_NE(link, nullptr);
    // What a real double click delivers: a click, then a double-click
    // press and its release.
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseDClick(link, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(m_opened.size(), 1u);
}

TEST_F(AboutTest, SharedHandlerActsOnlyForTheHomePageMember)
{
    gv::frmAbout about;
    about.Label2_Click(0);
    EXPECT_TRUE(m_opened.empty());
    about.Label2_Click(2);
    ASSERT_EQ(m_opened.size(), 1u);
    EXPECT_EQ(m_opened.front(), gv::frmAbout::kHomePage);
    EXPECT_EQ(about.Label2(1), nullptr);
    EXPECT_EQ(about.Label2(0), child<QLabel>(about, "Label2_0"));
}

// A link the shell cannot open is reported by the shell helper, and the
// window stays open for another try.
TEST_F(AboutTest, FailedLinkIsReportedAndTheWindowStays)
{
    m_openSucceeds = false;
    gv::frmAbout about;
    about.show();
    QTest::mouseClick(child(about, "Label7"), Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes.front().prompt, QStringLiteral("Error jumping to:") + gv::frmAbout::kDefsListPage);
    EXPECT_EQ(m_boxes.front().title, QStringLiteral("Warning"));
    EXPECT_TRUE(about.isVisible());
}

// Shown modally, centred, and built afresh each time: what the user scrolled
// in one showing is gone in the next.
TEST_F(AboutTest, ShowModalAboutIsModalCentredAndFreshEachTime)
{
    struct Seen {
        bool visible = false;
        bool modalTop = false;
        Qt::WindowModality modality = Qt::NonModal;
        QPoint centre;
        int scroll = -1;
        const void* instance = nullptr;
    };
    std::vector<Seen> seen;
    gv::frmAbout::setInspector([&seen](gv::frmAbout& about) {
        Seen s;
        s.visible = about.isVisible();
        s.modalTop = QApplication::activeModalWidget() == &about;
        s.modality = about.windowModality();
        s.centre = about.geometry().center();
        auto* text1 = about.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
        s.scroll = text1->verticalScrollBar()->value();
        s.instance = &about;
        text1->verticalScrollBar()->setValue(text1->verticalScrollBar()->maximum());
        seen.push_back(s);
    });
    QWidget owner;
    owner.show();
    gv::frmAbout::showModalAbout(&owner);
    gv::frmAbout::showModalAbout(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.visible);
        EXPECT_TRUE(s.modalTop);
        EXPECT_EQ(s.modality, Qt::ApplicationModal);
        EXPECT_LE((s.centre - screenCentre).manhattanLength(), 4);
        EXPECT_EQ(s.scroll, 0);
    }
    // Nothing of the closed windows is left behind.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<gv::frmAbout*>(w), nullptr);
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
