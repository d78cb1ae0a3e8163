// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QString>

namespace gv {

// The windows were drawn with Windows faces (MS Sans Serif, Tahoma, Arial,
// Lucida Console). The face itself is used when installed; otherwise the
// nearest installed face of the same kind (proportional sans or fixed
// pitch), at the same point size and weight.
QFont designFont(const QString& family, qreal points, bool bold = false, bool underline = false);

// The installed family chosen for a design family name. Chosen once per
// name for the program's life: the windows ask for the same few faces
// many times while they are built.
QString resolveFontFamily(const QString& family);

// True for the design faces that have a fixed pitch.
bool isFixedPitchDesignFace(const QString& family);

} // namespace gv
