// SPDX-License-Identifier: GPL-3.0-or-later
// Draws every picture the two windows show: the frame pieces of the main
// window, the logos, the feed badge and the application icon. Run by hand
// after a change of look; its output is kept in the source tree so that an
// ordinary build needs neither this program nor its fonts.
//
//   gv-artgen OUTPUT_FOLDER [PREVIEW_FOLDER]
// writes the artwork into OUTPUT_FOLDER (frame pieces in frame/ below it)
// and, when asked, enlarged previews of the tiled frame and the logos.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>

#include <array>
#include <cstdio>

namespace {

// One palette for every piece, so that pieces drawn apart meet without seams.
const QColor kOuter(6, 11, 26);        // outermost line of the frame
const QColor kHighlight(74, 98, 150);  // light bevel line
const QColor kMid(36, 54, 95);         // body of the border
const QColor kInner(16, 26, 54);       // line next to the window's inside
const QColor kAccent(255, 128, 0);     // orange of the title text

// The title bar is a vertical gradient; each row has one colour, so the
// 4-pixel strip may be stretched to any width.
QColor titleRow(int y)
{
    if (y == 0)
        return QColor(96, 122, 178);
    if (y == 19)
        return kOuter;
    const double t = (y - 1) / 17.0;
    const QColor a(50, 72, 122), b(14, 22, 46);
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

// Side borders: four columns, from the outside in.
const std::array<QColor, 4> kSide = {kOuter, kHighlight, kMid, kInner};
// Bottom border: eight rows, from the inside (top) to the outside (bottom).
const std::array<QColor, 8> kBottom = {kInner, kMid, kMid, QColor(44, 64, 110), kMid, QColor(28, 42, 76), kHighlight, kOuter};

QImage blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

QImage titleStrip(int w)
{
    QImage img = blank(w, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, titleRow(y));
    return img;
}

// Left edge (mirrored for the right edge) of height h; when joinTitle the
// first row continues the title bar's bottom line.
QImage sideStrip(int h, bool right, bool joinTitle)
{
    QImage img = blank(4, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 4; ++x) {
            const int fromOutside = right ? 3 - x : x;
            img.setPixelColor(x, y, (joinTitle && y == 0) ? kOuter : kSide[fromOutside]);
        }
    return img;
}

// A bottom corner: the side columns meet the bottom rows on a mitre, so the
// bevel lines turn the corner instead of crossing.
QImage bottomCorner(int w, bool right)
{
    QImage img = blank(w, 8);
    for (int y = 0; y < 8; ++y) {
        const int fromBottom = 7 - y;
        for (int x = 0; x < w; ++x) {
            const int fromSide = right ? w - 1 - x : x;
            QColor c = kBottom[y];
            if (fromSide < 4 && fromSide * 2 < fromBottom)
                c = kSide[fromSide];
            img.setPixelColor(x, y, c);
        }
    }
    // Three rivets set into the bottom bar near the corner.
    QPainter p(&img);
    for (int i = 0; i < 3; ++i) {
        const int cx = right ? w - 9 - i * 4 : 8 + i * 4;
        p.fillRect(cx, 3, 2, 2, QColor(20, 30, 60));
        p.fillRect(cx, 3, 1, 1, QColor(110, 136, 190));
    }
    return img;
}

QImage bottomStrip(int w)
{
    QImage img = blank(w, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, kBottom[y]);
    return img;
}

// Left end of the title bar: a small orange diamond, the spot that closes
// the window on a double click.
QImage titleLeftEnd()
{
    QImage img = titleStrip(12);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath diamond;
    diamond.moveTo(6, 4.5);
    diamond.lineTo(10.5, 10);
    diamond.lineTo(6, 15.5);
    diamond.lineTo(1.5, 10);
    diamond.closeSubpath();
    QLinearGradient g(0, 4, 0, 16);
    g.setColorAt(0, QColor(255, 190, 90));
    g.setColorAt(1, QColor(200, 80, 0));
    p.fillPath(diamond, g);
    p.setPen(QPen(QColor(60, 25, 0), 1));
    p.drawPath(diamond);
    return img;
}

// The piece left of the buttons: an etched divider that ends the title text.
QImage titleDivider()
{
    QImage img = titleStrip(12);
    for (int y = 3; y < 17; ++y) {
        img.setPixelColor(5, y, kOuter);
        img.setPixelColor(6, y, QColor(88, 112, 166));
    }
    for (int y = 8; y < 12; ++y) {
        img.setPixelColor(2, y, kAccent.darker(130));
        img.setPixelColor(9, y, kAccent.darker(130));
    }
    return img;
}

void drawButtonFace(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(kOuter, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 2, 2);
}

// Right end of the title bar: the red close button under the close hot
// spot, whose place is x 28..42, y 4..15 of this piece once it is laid at
// the right edge. The window has no working maximise, so no button for it.
QImage titleRightEnd()
{
    QImage img = titleStrip(53);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor glyph(225, 232, 245);
    const QRectF closeR(28.5, 4.5, 14, 11);
    drawButtonFace(p, closeR, QColor(214, 84, 52), QColor(130, 26, 12));
    p.setPen(QPen(glyph, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32.5, 7.5), QPointF(38.5, 12.5));
    p.drawLine(QPointF(38.5, 7.5), QPointF(32.5, 12.5));
    p.end();

    // The outermost column continues the right border's outer line.
    for (int y = 0; y < 20; ++y)
        img.setPixelColor(52, y, kOuter);
    return img;
}

// The minimise button, drawn by the minimise hot spot itself (17 x 17, on
// the title bar 3 pixels below its top): transparent around the button, so
// the title bar shows through.
QImage minimiseButton()
{
    QImage img = blank(17, 17);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    drawButtonFace(p, QRectF(3.5, 3.5, 10, 10), QColor(70, 94, 146), QColor(30, 44, 80));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(6, 10, 6, 2), QColor(225, 232, 245));
    return img;
}

// The emblem shared by the logos and the icon: a sheet with a folded corner
// and lines of content, looked at through a magnifying lens. Drawn in a
// 100 x 100 box, scaled by the caller.
void drawEmblem(QPainter& p, const QColor& sheetEdge, const QColor& sheetFill, const QColor& lensRing, bool lines = true, double weight = 1.0)
{
    QPainterPath sheet;
    sheet.moveTo(14, 4);
    sheet.lineTo(56, 4);
    sheet.lineTo(74, 22);
    sheet.lineTo(74, 86);
    sheet.lineTo(14, 86);
    sheet.closeSubpath();
    p.setPen(QPen(sheetEdge, 5 * weight, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(sheetFill);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(56, 4);
    fold.lineTo(56, 22);
    fold.lineTo(74, 22);
    p.setBrush(Qt::NoBrush);
    p.drawPath(fold);
    if (lines) {
        p.setPen(Qt::NoPen);
        p.setBrush(sheetEdge);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(24, 32 + i * 12, i % 2 ? 26 : 38, 5));
    }
    // Lens over the lower right of the sheet, handle towards the corner.
    p.setPen(QPen(lensRing, 13 * weight, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(80, 80), QPointF(94, 94));
    QRadialGradient glass(QPointF(60, 60), 22);
    glass.setColorAt(0, QColor(190, 220, 255, 150));
    glass.setColorAt(1, QColor(90, 140, 220, 110));
    p.setBrush(glass);
    p.setPen(QPen(lensRing, 7 * weight));
    p.drawEllipse(QPointF(63, 63), 20, 20);
}

// A 66x52 logo. The word "GUI" is laid over it at run time in white, from
// about x 9..54, y 16..45: that part stays dark, and the emblem sits in the
// upper right corner, out of the word's way.
QImage logo(const QColor& top, const QColor& bottom, const QColor& glow, bool withWord)
{
    QImage img(66, 52, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 30, 52);
    bg.setColorAt(0, top);
    bg.setColorAt(1, bottom);
    p.fillRect(img.rect(), bg);
    QRadialGradient halo(QPointF(56, 10), 20);
    halo.setColorAt(0, glow);
    halo.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(img.rect(), halo);

    // Scan lines across the lower edge, the identifier's reading of a file.
    for (int i = 0; i < 3; ++i) {
        QColor c = kAccent;
        c.setAlpha(200 - i * 60);
        p.fillRect(QRectF(4 + i * 2, 47 + i, 58 - i * 4, 1), c);
    }

    p.save();
    p.translate(43, 1);
    p.scale(0.22, 0.22);
    drawEmblem(p, QColor(255, 150, 40), QColor(20, 28, 58), QColor(225, 232, 245));
    p.restore();

    if (withWord) {
        // The second logo has no label over it: it carries its own word, in
        // the lower right, small and quiet.
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(10);
        f.setBold(true);
        f.setHintingPreference(QFont::PreferFullHinting);
        p.setFont(f);
        p.setPen(QColor(225, 232, 245));
        p.drawText(QRect(0, 20, 62, 24), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("vonk"));
    }
    // A one-pixel frame, so the logo reads as a tile on a light form.
    p.setPen(QPen(kOuter, 1));
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.drawRect(0, 0, 65, 51);
    return img;
}

// 36x14 feed badge: orange, with the broadcast sign and "RSS".
QImage feedBadge()
{
    QImage img = blank(36, 14);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 14);
    g.setColorAt(0, QColor(255, 160, 60));
    g.setColorAt(1, QColor(214, 88, 0));
    p.setPen(QPen(QColor(150, 58, 0), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 35, 13), 2.5, 2.5);

    // Broadcast sign: a dot and two arcs.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(4.2, 10.3), 1.3, 1.3);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.3));
    p.drawArc(QRectF(-1.0, 5.0, 10.4, 10.4), 0, 90 * 16);
    p.drawArc(QRectF(-4.8, 1.2, 18.0, 18.0), 0, 90 * 16);

    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(10);
    f.setBold(true);
    f.setHintingPreference(QFont::PreferFullHinting);
    p.setFont(f);
    p.setPen(QColor(120, 40, 0));
    p.drawText(QRect(13, 1, 23, 13), Qt::AlignCenter, QStringLiteral("RSS"));
    p.setPen(Qt::white);
    p.drawText(QRect(12, 0, 23, 13), Qt::AlignCenter, QStringLiteral("RSS"));
    return img;
}

// The application icon at any size: a rounded tile in the title bar's blue
// with the emblem. Small sizes get a plain sheet without content lines and
// heavier strokes, which would otherwise blur away.
QImage icon(int size)
{
    QImage img = blank(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    QLinearGradient bg(0, 0, 0, 100);
    bg.setColorAt(0, QColor(58, 82, 138));
    bg.setColorAt(1, QColor(12, 20, 44));
    p.setPen(size >= 32 ? QPen(kOuter, 2) : Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, 96, 96), 16, 16);
    p.translate(12, 10);
    p.scale(0.8, 0.8);
    drawEmblem(p, kAccent, QColor(242, 246, 252), QColor(235, 240, 250), size >= 32, size < 32 ? 1.8 : 1.0);
    return img;
}

bool save(const QImage& img, const QString& path)
{
    const bool jpeg = path.endsWith(QStringLiteral(".jpg"));
    const bool ok = jpeg ? img.convertToFormat(QImage::Format_RGB32).save(path, "JPG", 95) : img.save(path, "PNG");
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << " (" << img.width() << 'x' << img.height() << ")\n";
    return ok;
}

// The frame pieces laid out as the main window lays them (title bar, sides,
// bottom) at a given size, to judge the seams at a glance.
QImage framePreview(const QString& dir, int w, int h)
{
    QImage out(w, h, QImage::Format_RGB32);
    out.fill(QColor(240, 240, 240));
    QPainter p(&out);
    auto piece = [&](int n) { return QImage(dir + QStringLiteral("/frame/Image%1.png").arg(n)); };
    p.drawImage(QRect(1, 0, w - 1, 20), piece(1));
    p.drawImage(QRect(1, 19, 4, h), piece(3));
    p.drawImage(QPoint(1, 19), piece(2));
    p.drawImage(QRect(w - 4, 19, 4, h), piece(6));
    p.drawImage(QRect(23, h - 8, w, 8), piece(7));
    p.drawImage(QPoint(1, h - 8), piece(4));
    p.drawImage(QPoint(w - 22, h - 8), piece(5));
    p.drawImage(QPoint(4, 0), piece(10));
    p.drawImage(QPoint(w - 12 - 53, 0), piece(8));
    p.drawImage(QPoint(w - 53, 0), piece(9));
    p.drawImage(QPoint(330, 3), QImage(dir + QStringLiteral("/frame/Minimise.png")));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(8.25);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kAccent);
    p.drawText(QRect(27, 4, 200, 15), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("GUI-Vonk 1.0.0.6"));
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: gv-artgen OUTPUT_FOLDER [PREVIEW_FOLDER]\n");
        return 2;
    }
    const QString dir = args.at(1);
    if (!QDir().mkpath(dir + QStringLiteral("/frame"))) {
        std::fprintf(stderr, "gv-artgen: cannot create %s/frame\n", qPrintable(dir));
        return 1;
    }
    const QString frame = dir + QStringLiteral("/frame/");
    bool ok = true;
    ok &= save(titleStrip(4), frame + QStringLiteral("Image1.png"));
    ok &= save(sideStrip(43, false, true), frame + QStringLiteral("Image2.png"));
    ok &= save(sideStrip(7, false, false), frame + QStringLiteral("Image3.png"));
    ok &= save(bottomCorner(23, false), frame + QStringLiteral("Image4.png"));
    ok &= save(bottomCorner(22, true), frame + QStringLiteral("Image5.png"));
    ok &= save(sideStrip(3, true, false), frame + QStringLiteral("Image6.png"));
    ok &= save(bottomStrip(7), frame + QStringLiteral("Image7.png"));
    ok &= save(titleDivider(), frame + QStringLiteral("Image8.png"));
    ok &= save(titleRightEnd(), frame + QStringLiteral("Image9.png"));
    ok &= save(titleLeftEnd(), frame + QStringLiteral("Image10.png"));
    ok &= save(minimiseButton(), frame + QStringLiteral("Minimise.png"));

    ok &= save(logo(QColor(30, 46, 92), QColor(6, 10, 28), QColor(255, 150, 40, 70), false), dir + QStringLiteral("/logo.jpg"));
    ok &= save(logo(QColor(20, 70, 80), QColor(4, 18, 26), QColor(120, 220, 255, 60), true), dir + QStringLiteral("/logo2.jpg"));
    ok &= save(feedBadge(), dir + QStringLiteral("/feed.png"));
    for (int size : {16, 32, 48, 64, 128, 256})
        ok &= save(icon(size), dir + QStringLiteral("/icon%1.png").arg(size));

    if (args.size() > 2) {
        const QString preview = args.at(2);
        QDir().mkpath(preview);
        ok &= save(framePreview(dir, 586, 401), preview + QStringLiteral("/frame.png"));
        ok &= save(framePreview(dir, 586, 401).copy(0, 0, 586, 70).scaled(586 * 3, 70 * 3), preview + QStringLiteral("/frame-top-x3.png"));
        ok &= save(framePreview(dir, 586, 401).copy(0, 341, 586, 60).scaled(586 * 3, 60 * 3), preview + QStringLiteral("/frame-bottom-x3.png"));
        QImage sheet(66 * 8 + 24, 52 * 4 + 16, QImage::Format_RGB32);
        sheet.fill(QColor(236, 236, 236));
        QPainter p(&sheet);
        p.drawImage(QRect(8, 8, 66 * 4, 52 * 4), QImage(dir + QStringLiteral("/logo.jpg")));
        p.drawImage(QRect(16 + 66 * 4, 8, 66 * 4, 52 * 4), QImage(dir + QStringLiteral("/logo2.jpg")));
        // The word the windows lay over the first logo, as they lay it.
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(24 * 4);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QPoint(8 + 9 * 4, 8 + 41 * 4), QStringLiteral("GUI"));
        p.end();
        ok &= save(sheet, preview + QStringLiteral("/logos-x4.png"));
        QImage icons(16 + 32 + 48 + 64 + 128 + 256 + 70, 266, QImage::Format_RGB32);
        icons.fill(QColor(236, 236, 236));
        QPainter ip(&icons);
        int x = 5;
        for (int size : {16, 32, 48, 64, 128, 256}) {
            ip.drawImage(QPoint(x, 5), QImage(dir + QStringLiteral("/icon%1.png").arg(size)));
            x += size + 10;
        }
        ip.drawImage(QRect(5, 150, 36 * 4, 14 * 4), QImage(dir + QStringLiteral("/feed.png")));
        ip.drawImage(QPoint(5, 220), QImage(dir + QStringLiteral("/feed.png")));
        ip.end();
        ok &= save(icons, preview + QStringLiteral("/icons.png"));
    }
    return ok ? 0 : 1;
}
