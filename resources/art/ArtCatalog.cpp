// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArtCatalog.h"

namespace gv {

namespace {
constexpr ArtPiece kPieces[] = {
    {":/art/frame/Image1.png", 4, 20},   // title bar, stretched across
    {":/art/frame/Image2.png", 4, 43},   // left edge, upper part
    {":/art/frame/Image3.png", 4, 7},    // left edge, stretched down
    {":/art/frame/Image4.png", 23, 8},   // bottom left corner
    {":/art/frame/Image5.png", 22, 8},   // bottom right corner
    {":/art/frame/Image6.png", 4, 3},    // right edge, stretched down
    {":/art/frame/Image7.png", 7, 8},    // bottom edge, stretched across
    {":/art/frame/Image8.png", 12, 20},  // title bar divider
    {":/art/frame/Image9.png", 53, 20},  // title bar right end with the close button
    {":/art/frame/Image10.png", 12, 20}, // title bar left end
    {":/art/frame/Minimise.png", 17, 17}, // drawn by the minimise hot spot
    {":/art/logo.jpg", 66, 52},
    {":/art/logo2.jpg", 66, 52},
    {":/art/feed.png", 36, 14},
    {":/art/icon16.png", 16, 16},
    {":/art/icon32.png", 32, 32},
    {":/art/icon48.png", 48, 48},
    {":/art/icon64.png", 64, 64},
    {":/art/icon128.png", 128, 128},
    {":/art/icon256.png", 256, 256},
};
} // namespace

std::span<const ArtPiece> ArtCatalog()
{
    return kPieces;
}

} // namespace gv
