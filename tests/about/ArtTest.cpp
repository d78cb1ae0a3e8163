// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArtCatalog.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QImage load(const char* path)
{
    return QImage(QString::fromLatin1(path)).convertToFormat(QImage::Format_ARGB32);
}

QImage piece(int n)
{
    return QImage(QStringLiteral(":/art/frame/Image%1.png").arg(n)).convertToFormat(QImage::Format_ARGB32);
}

std::vector<QRgb> column(const QImage& img, int x, int y0 = 0)
{
    std::vector<QRgb> out;
    for (int y = y0; y < img.height(); ++y)
        out.push_back(img.pixel(x, y));
    return out;
}

std::vector<QRgb> row(const QImage& img, int y)
{
    std::vector<QRgb> out;
    for (int x = 0; x < img.width(); ++x)
        out.push_back(img.pixel(x, y));
    return out;
}

// Relative luminance, as used for text contrast.
double luminance(QRgb c)
{
    auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

} // namespace

TEST(Art, EveryPictureIsCarriedAtItsDesignedSize)
{
    ASSERT_FALSE(gv::ArtCatalog().empty());
    for (const gv::ArtPiece& p : gv::ArtCatalog()) {
        SCOPED_TRACE(p.path);
        const QImage img(QString::fromLatin1(p.path));
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.width(), p.width);
        EXPECT_EQ(img.height(), p.height);
    }
}

// Stretched pieces must be uniform along the stretch, or stretching smears
// them: the title strip's columns are all alike, the side strips' rows, the
// bottom strip's columns.
TEST(Art, StretchedPiecesAreUniformAlongTheirStretch)
{
    struct Case {
        int n;
        bool alongX;
    } cases[] = {{1, true}, {3, false}, {6, false}, {7, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const QImage img = piece(c.n);
        ASSERT_FALSE(img.isNull());
        if (c.alongX) {
            for (int x = 1; x < img.width(); ++x)
                EXPECT_EQ(column(img, x), column(img, 0));
        } else {
            for (int y = 1; y < img.height(); ++y)
                EXPECT_EQ(row(img, y), row(img, 0));
        }
    }
}

// Where two pieces meet, their touching pixels continue each other.
TEST(Art, FramePiecesMeetWithoutSeams)
{
    const QImage title = piece(1);
    // Title bar: the end pieces and the divider start and end on the strip's
    // own colours, row by row.
    for (int n : {8, 10}) {
        SCOPED_TRACE(n);
        const QImage img = piece(n);
        EXPECT_EQ(column(img, 0), column(title, 0));
        EXPECT_EQ(column(img, img.width() - 1), column(title, 0));
    }
    EXPECT_EQ(column(piece(9), 0), column(title, 0));

    // Left edge: the upper piece continues into the filler below it, and its
    // first row carries on the title bar's bottom line.
    const QImage upper = piece(2), left = piece(3), right = piece(6);
    EXPECT_EQ(row(upper, upper.height() - 1), row(left, 0));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(upper.pixel(x, 0), title.pixel(0, title.height() - 1));
    // Right edge mirrors the left.
    std::vector<QRgb> mirrored = row(left, 0);
    std::reverse(mirrored.begin(), mirrored.end());
    EXPECT_EQ(row(right, 0), mirrored);

    // Bottom: the corners hand over to the filler strip.
    const QImage bottom = piece(7), bl = piece(4), br = piece(5);
    EXPECT_EQ(column(bl, bl.width() - 1), column(bottom, 0));
    EXPECT_EQ(column(br, 0), column(bottom, 0));
    // The corners start with the side border's columns above the bottom bar.
    EXPECT_EQ(bl.pixel(0, 0), left.pixel(0, 0));
    EXPECT_EQ(br.pixel(br.width() - 1, 0), right.pixel(right.width() - 1, 0));
}

// The word "GUI" is drawn in white over the logo's lower left and centre: the
// logo must be dark there for the word to read.
TEST(Art, LogoIsDarkWhereTheWhiteWordLies)
{
    const QImage logo = load(":/art/logo.jpg");
    ASSERT_FALSE(logo.isNull());
    std::vector<double> lum;
    for (int y = 20; y < 45; ++y)
        for (int x = 9; x < 55; ++x)
            lum.push_back(luminance(logo.pixel(x, y)));
    std::sort(lum.begin(), lum.end());
    const double p95 = lum[lum.size() * 95 / 100];
    // White on the brightest ordinary background pixel keeps a contrast of at
    // least 7:1.
    EXPECT_GE(1.05 / (p95 + 0.05), 7.0) << "95th percentile luminance " << p95;
}

TEST(Art, FeedBadgeIsOrange)
{
    const QImage badge = load(":/art/feed.png");
    ASSERT_FALSE(badge.isNull());
    int orange = 0, opaque = 0;
    for (int y = 0; y < badge.height(); ++y)
        for (int x = 0; x < badge.width(); ++x) {
            const QColor c = QColor::fromRgba(badge.pixel(x, y));
            if (c.alpha() < 200)
                continue;
            ++opaque;
            if (c.hsvHue() >= 15 && c.hsvHue() <= 45 && c.hsvSaturation() > 150)
                ++orange;
        }
    EXPECT_GT(opaque, badge.width() * badge.height() * 3 / 4);
    EXPECT_GT(orange, opaque / 2);
}
