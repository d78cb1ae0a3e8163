// SPDX-License-Identifier: GPL-3.0-or-later
// The window frame's own behaviour: the title, the link labels through the
// shell seam, the About label, the hot spots over the title label, the
// always-on-top switch's greyed state.

#include "frmDOSOutput.h"

#include "frmAbout.h"
#include "winhelpers/FileHelpers.h"
#include "winhelpers/MsgBox.h"

#include <QApplication>
#include <QImage>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <memory>

using gv::frmDOSOutput;

namespace {

struct Opened {
    QString target;
    QString params;
};

} // namespace

class FrameTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void titleCarriesTheVersion();
    void linksOpenTheirTargets_data();
    void linksOpenTheirTargets();
    void failingLinkSaysSo();
    void aboutOpensModally();
    void inertSpotsDoNothing_data();
    void inertSpotsDoNothing();
    void minimiseSpotMinimises();
    void buttonGlyphsLieOnWorkingSpotsOnly();
    void hotSpotsLieOverTheTitle_data();
    void hotSpotsLieOverTheTitle();
    void closeLabelWorksWhereTheTitleCoversIt();
    void greyedCheck2ChangesNothing();

private:
    void showWindow();

    std::unique_ptr<frmDOSOutput> m_w;
    QList<Opened> m_opened;
    QStringList m_boxes;
    bool m_openerResult = true;
};

void FrameTest::init()
{
    m_opened.clear();
    m_boxes.clear();
    m_openerResult = true;
    gv::SetShellOpener([this](const QString& target, const QString& params) {
        m_opened.append({ target, params });
        return m_openerResult;
    });
    gv::SetMsgBoxAnswerer([this](const gv::MsgBoxRequest& request, QMessageBox*) {
        m_boxes.append(request.title + QLatin1Char('|') + QString::number(request.style) + QLatin1Char('|')
            + request.prompt);
        return int(gv::vbOK);
    });
    m_w = std::make_unique<frmDOSOutput>();
}

void FrameTest::cleanup()
{
    m_w.reset();
    gv::SetShellOpener(nullptr);
    gv::SetMsgBoxAnswerer(nullptr);
    gv::frmAbout::setInspector(nullptr);
}

void FrameTest::showWindow()
{
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
}

void FrameTest::titleCarriesTheVersion()
{
    QCOMPARE(m_w->LabelTOP()->text(), QStringLiteral("OEM"));
    m_w->Form_Load();
    QCOMPARE(m_w->LabelTOP()->text(), QStringLiteral("Vonk-Gui : Gui 4 Vonk  - by Vessandro Version: 1.0.6 by Vessandro"));
    QCOMPARE(frmDOSOutput::titleText(), m_w->LabelTOP()->text());
    QVERIFY(m_boxes.isEmpty());
}

void FrameTest::linksOpenTheirTargets_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("target");
    const QString identifierAuthor = QStringLiteral("mailto:") + frmDOSOutput::identifierAuthorMail();
    QTest::newRow("Label1 double click") << QStringLiteral("Label1") << true << identifierAuthor;
    QTest::newRow("Label2(3)") << QStringLiteral("Label2_3") << false << identifierAuthor;
    QTest::newRow("Label2(2)") << QStringLiteral("Label2_2") << false
                               << QStringLiteral("mailto:") + frmDOSOutput::programAuthorMail();
    QTest::newRow("Label5") << QStringLiteral("Label5") << false << frmDOSOutput::distributionHomePage();
}

void FrameTest::linksOpenTheirTargets()
{
    QFETCH(QString, control);
    QFETCH(bool, doubleClick);
    QFETCH(QString, target);
    showWindow();
    auto* label = m_w->findChild<QLabel*>(control);
    QVERIFY(label);
    // Invented addresses only.
    QVERIFY(target.contains(QStringLiteral("example.")));

    if (doubleClick) {
        // A single click on a double-click link opens nothing.
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(m_opened.isEmpty());
        QTest::mouseDClick(label, Qt::LeftButton);
    } else {
        // A press released outside the label is no click.
        QTest::mousePress(label, Qt::LeftButton);
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(-5, -5));
        QVERIFY(m_opened.isEmpty());
        QTest::mouseClick(label, Qt::LeftButton);
    }
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_opened[0].target, target);
    QVERIFY(m_opened[0].params.isEmpty());
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(m_w->isVisible());
}

void FrameTest::failingLinkSaysSo()
{
    showWindow();
    m_openerResult = false;
    QTest::mouseClick(m_w->Label2(2), Qt::LeftButton);
    QCOMPARE(m_boxes, QStringList { QStringLiteral("Warning|48|Error jumping to:mailto:")
                          + frmDOSOutput::programAuthorMail() });
}

void FrameTest::aboutOpensModally()
{
    showWindow();
    int shown = 0;
    bool modal = false;
    bool mainBlocked = false;
    gv::frmAbout::setInspector([&](gv::frmAbout& about) {
        ++shown;
        modal = about.isVisible() && QApplication::activeModalWidget() == &about;
        mainBlocked = QApplication::activeModalWidget() != m_w.get();
    });
    QTest::mouseClick(m_w->Label2(1), Qt::LeftButton);
    QCOMPARE(shown, 1);
    QVERIFY(modal);
    QVERIFY(mainBlocked);
    QVERIFY(!QApplication::activeModalWidget());
    // Opened again, it comes again.
    m_w->Label2_Click(1);
    QCOMPARE(shown, 2);
    QVERIFY(m_opened.isEmpty());
    QVERIFY(m_boxes.isEmpty());
}

void FrameTest::inertSpotsDoNothing_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("Label8") << QStringLiteral("Label8") << QStringLiteral("Massimizza / Ripristina");
    QTest::newRow("Label9") << QStringLiteral("Label9") << QStringLiteral("Chiudi Quorvane");
    QTest::newRow("Label2(0)") << QStringLiteral("Label2_0") << QString();
}

void FrameTest::inertSpotsDoNothing()
{
    QFETCH(QString, control);
    QFETCH(QString, tooltip);
    showWindow();
    QSignalSpy unloaded(m_w.get(), &frmDOSOutput::formUnloaded);
    auto* spot = m_w->findChild<QLabel*>(control);
    QVERIFY(spot);
    if (!tooltip.isEmpty())
        QCOMPARE(spot->toolTip(), tooltip);
    const QRect before = m_w->geometry();
    QTest::mouseClick(spot, Qt::LeftButton);
    QTest::mouseDClick(spot, Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(m_w->isVisible());
    QCOMPARE(m_w->windowState(), Qt::WindowNoState);
    QCOMPARE(m_w->geometry(), before);
    QVERIFY(m_opened.isEmpty());
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(unloaded.count(), 0);
}

void FrameTest::minimiseSpotMinimises()
{
    showWindow();
    QCOMPARE(m_w->Label2(4)->toolTip(), QStringLiteral("Minimizza nella traybar"));
    QTest::mouseClick(m_w->Label2(4), Qt::LeftButton);
    QTRY_VERIFY(m_w->windowState() & Qt::WindowMinimized);
    QVERIFY(!m_w->isUnloaded());
    QVERIFY(m_boxes.isEmpty());
}

void FrameTest::buttonGlyphsLieOnWorkingSpotsOnly()
{
    m_w->Form_Load();
    showWindow();
    const QImage shot = m_w->grab().toImage();
    // The bare title strip: one colour per row.
    const QImage strip(QStringLiteral(":/art/frame/Image1.png"));
    QVERIFY(!strip.isNull());
    auto drawnPixels = [&](const QRect& area) {
        int drawn = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                drawn += shot.pixelColor(x, y).rgb() != strip.pixelColor(0, y).rgb();
        return drawn;
    };
    // The working buttons, minimise and close, show a glyph on their spot.
    QVERIFY(drawnPixels(m_w->Label2(4)->geometry()) > 20);
    QVERIFY(drawnPixels(m_w->Label7()->geometry()) > 20);
    // The spots that do nothing show bare title bar, and so does the right
    // end piece beside the close button.
    QCOMPARE(drawnPixels(m_w->Label8()->geometry()), 0);
    QCOMPARE(drawnPixels(m_w->Label9()->geometry()), 0);
    const QRect rightEnd = m_w->Image(9)->geometry();
    QCOMPARE(drawnPixels(QRect(QPoint(rightEnd.left(), 2), QPoint(m_w->Label7()->x() - 1, 17))), 0);
}

void FrameTest::hotSpotsLieOverTheTitle_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("design") << frmDOSOutput::DesignWidth;
    QTest::newRow("wide") << 900;
    QTest::newRow("narrow") << 420;
}

void FrameTest::hotSpotsLieOverTheTitle()
{
    QFETCH(int, width);
    showWindow();
    m_w->resize(width, frmDOSOutput::DesignHeight);
    QTRY_COMPARE(m_w->LabelTOP()->width(), width);
    int covered = 0;
    for (QLabel* spot : { m_w->Label7(), m_w->Label8(), m_w->Label9(), m_w->Label2(4) }) {
        const QPoint centre = spot->geometry().center();
        // Only meaningful where the title label does cover the spot (a
        // narrow window leaves Label7 outside).
        if (!m_w->LabelTOP()->geometry().contains(centre))
            continue;
        ++covered;
        QCOMPARE(m_w->childAt(centre), spot);
    }
    QVERIFY(covered >= 3);
}

void FrameTest::closeLabelWorksWhereTheTitleCoversIt()
{
    showWindow();
    QSignalSpy unloaded(m_w.get(), &frmDOSOutput::formUnloaded);
    // Through the window system's input, so the click goes to whatever
    // lies on top at that point.
    const QPoint at = m_w->Label7()->geometry().center();
    QTest::mouseClick(m_w->windowHandle(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(unloaded.count(), 1);
    QVERIFY(!m_w->isVisible());
    m_w->close();
    QCOMPARE(unloaded.count(), 1);
}

void FrameTest::greyedCheck2ChangesNothing()
{
    showWindow();
    QVERIFY(!m_w->Check2()->isEnabled());
    for (const bool onTop : { false, true }) {
        m_w->Check2()->setCheckState(onTop ? Qt::Checked : Qt::Unchecked);
        m_w->Check2_Click();
        const QRect before = m_w->geometry();
        m_w->Check2()->setTristate(true);
        m_w->Check2()->setCheckState(Qt::PartiallyChecked);
        m_w->Check2_Click();
        QCOMPARE(bool(m_w->windowFlags() & Qt::WindowStaysOnTopHint), onTop);
        QCOMPARE(bool(m_w->windowHandle()->flags() & Qt::WindowStaysOnTopHint), onTop);
        QCOMPARE(m_w->geometry(), before);
    }
}

QTEST_MAIN(FrameTest)
#include "FrameTest.moc"
