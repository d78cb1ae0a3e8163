// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace gv {

// One picture carried as a Qt resource, with the pixel size its place in a
// window is designed for.
struct ArtPiece {
    const char* path; // e.g. ":/art/frame/Image1.png"
    int width;
    int height;
};

// Every picture of the two windows and the application icon.
std::span<const ArtPiece> ArtCatalog();

} // namespace gv
